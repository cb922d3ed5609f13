#include "zipformat/Records.h"

#include <tuple>
#include <type_traits>

namespace zip {
namespace {

// Each record's fields in their on-disk order. The records are packed and their
// field types have the on-disk widths, so one list serves reading and writing.
// (Member pointers, because a packed field cannot be bound to a reference.)
template <typename R>
struct FieldList;
template <>
struct FieldList<LocalFileHeader> {
  using R = LocalFileHeader;
  static constexpr auto kAll = std::make_tuple(
      &R::HeaderSig, &R::VersionNeed, &R::Flag, &R::ComprMethod, &R::ModifTime, &R::ModifDate,
      &R::CRC32, &R::ComprSize, &R::UnComprSize, &R::FileNameLen, &R::ExtraLen);
};
template <>
struct FieldList<CentralFileHeader> {
  using R = CentralFileHeader;
  static constexpr auto kAll = std::make_tuple(
      &R::HeaderSig, &R::VersionMadeBy0, &R::VersionMadeBy1, &R::VersionNeed, &R::Flag,
      &R::ComprMethod, &R::ModifTime, &R::ModifDate, &R::CRC32, &R::ComprSize, &R::UnComprSize,
      &R::FileNameLen, &R::ExtraLen, &R::FileComLen, &R::DiskStart, &R::IntFileAtt,
      &R::ExtFileAtt, &R::RelOffLocal);
};
template <>
struct FieldList<ZipEndOfCentral> {
  using R = ZipEndOfCentral;
  static constexpr auto kAll =
      std::make_tuple(&R::HeaderSig, &R::ThisDiskNo, &R::CentralDiskNo, &R::CentralEntries,
                      &R::TotalEntries, &R::CentralSize, &R::CentralOffSet, &R::ZipCommentLen);
};
template <>
struct FieldList<DataDescriptor> {
  using R = DataDescriptor;
  static constexpr auto kAll =
      std::make_tuple(&R::DataDescSig, &R::CRC32, &R::ComprSize, &R::UnComprSize);
};
template <>
struct FieldList<Zip64EndOfCentral> {
  using R = Zip64EndOfCentral;
  static constexpr auto kAll = std::make_tuple(
      &R::HeaderSig, &R::RecordSize, &R::VersionMadeBy, &R::VersionNeed, &R::ThisDiskNo,
      &R::CentralDiskNo, &R::CentralEntries, &R::TotalEntries, &R::CentralSize, &R::CentralOffSet);
};
template <>
struct FieldList<Zip64Locator> {
  using R = Zip64Locator;
  static constexpr auto kAll =
      std::make_tuple(&R::HeaderSig, &R::EndRecordDiskNo, &R::EndRecordOffSet, &R::TotalDisks);
};

template <typename T>
T LoadField(const uint8_t* p) {
  if constexpr (sizeof(T) == 1) return *p;
  else if constexpr (sizeof(T) == 2) return Load16(p);
  else if constexpr (sizeof(T) == 4) return Load32(p);
  else return Load64(p);
}

template <typename T>
void StoreField(uint8_t* p, T v) {
  if constexpr (sizeof(T) == 1) *p = v;
  else if constexpr (sizeof(T) == 2) Store16(p, v);
  else if constexpr (sizeof(T) == 4) Store32(p, v);
  else Store64(p, v);
}

template <typename Record>
void DecodeFields(const uint8_t* p, Record& r) {
  std::apply([p, &r](auto... field) mutable {
    ((r.*field = LoadField<std::remove_reference_t<decltype(r.*field)>>(p), p += sizeof(r.*field)), ...);
  }, FieldList<Record>::kAll);
}

template <typename Record>
void EncodeFields(const Record& r, uint8_t* p) {
  std::apply([p, &r](auto... field) mutable {
    ((StoreField(p, r.*field), p += sizeof(r.*field)), ...);
  }, FieldList<Record>::kAll);
}

}  // namespace

void Decode(const uint8_t* in, LocalFileHeader& out) { DecodeFields(in, out); }
void Decode(const uint8_t* in, CentralFileHeader& out) { DecodeFields(in, out); }
void Decode(const uint8_t* in, ZipEndOfCentral& out) { DecodeFields(in, out); }
void Decode(const uint8_t* in, DataDescriptor& out) { DecodeFields(in, out); }
void Decode(const uint8_t* in, Zip64EndOfCentral& out) { DecodeFields(in, out); }
void Decode(const uint8_t* in, Zip64Locator& out) { DecodeFields(in, out); }
void Encode(const LocalFileHeader& in, uint8_t* out) { EncodeFields(in, out); }
void Encode(const CentralFileHeader& in, uint8_t* out) { EncodeFields(in, out); }
void Encode(const ZipEndOfCentral& in, uint8_t* out) { EncodeFields(in, out); }
void Encode(const DataDescriptor& in, uint8_t* out) { EncodeFields(in, out); }
void Encode(const Zip64EndOfCentral& in, uint8_t* out) { EncodeFields(in, out); }
void Encode(const Zip64Locator& in, uint8_t* out) { EncodeFields(in, out); }

}  // namespace zip
