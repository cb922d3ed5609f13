#include "tests/support/StoredZipView.h"

#include <span>

#include "zipformat/EndRecord.h"
#include "zipformat/Headers.h"

namespace testsupport {

StoredZipView ViewStoredZip(const std::string& text) {
  StoredZipView view;
  std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  auto end = zip::FindEndRecord(bytes);
  if (!end || end->commentPastEnd) return view;
  zip::Zip64EndOfCentral zip64{};
  bool haveZip64 =
      end->at >= 76 && zip::DecodeZip64End(bytes.subspan(end->at - 76), zip64) == zip::Status::kOk;
  const zip::DirectoryExtent extent = zip::ResolveExtent(end->record, haveZip64 ? &zip64 : nullptr);
  view.directoryOffset = static_cast<uint32_t>(extent.offset);
  view.directorySize = static_cast<uint32_t>(extent.size);
  view.entries = extent.entries;
  view.comment = text.substr(end->at + zip::kEndRecordSize, end->record.ZipCommentLen);
  if (extent.offset + extent.size > bytes.size()) return view;
  auto rest = bytes.subspan(extent.offset, extent.size);
  for (uint64_t i = 0; i < extent.entries; ++i) {
    zip::CentralEntry c;
    if (zip::DecodeCentralEntry(rest, c) != zip::Status::kOk) return view;
    rest = rest.subspan(c.recordSize);
    StoredZipMember m;
    m.name.assign(c.name.begin(), c.name.end());
    m.extra.assign(c.extra.begin(), c.extra.end());
    m.comment.assign(c.comment.begin(), c.comment.end());
    m.dosDateTime = uint32_t{c.header.ModifDate} << 16 | c.header.ModifTime;
    m.flags = c.header.Flag;
    m.localOffset = c.header.RelOffLocal;
    zip::LocalEntry l;
    if (c.localHeaderOffset >= bytes.size() ||
        zip::DecodeLocalEntry(bytes.subspan(c.localHeaderOffset), l) != zip::Status::kOk)
      return view;
    m.localName.assign(l.name.begin(), l.name.end());
    m.localExtra.assign(l.extra.begin(), l.extra.end());
    m.localDosDateTime = uint32_t{l.header.ModifDate} << 16 | l.header.ModifTime;
    const uint64_t dataAt = c.localHeaderOffset + l.headerSize;
    if (dataAt + c.compressedSize > bytes.size()) return view;
    m.data = text.substr(dataAt, c.compressedSize);
    if (l.header.Flag & zip::kFlagDataDescriptor)
      m.descriptor = text.substr(dataAt + c.compressedSize, 28);
    view.members.push_back(std::move(m));
  }
  view.ok = true;
  return view;
}

}  // namespace testsupport
