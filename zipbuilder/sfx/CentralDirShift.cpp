// Copying the input archive's central directory and end record with every
// offset shifted: a self-extractor's stub moves the archive behind it.
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipformat/Headers.h"

using platform::FileHandle;
using platform::SeekFrom;

int TZipBuilder::RWCentralDir(FileHandle& outFile, zip::ZipEndOfCentral endOfCentral,
                              int32_t shift) {
  auto& files = *env_->files;
  try {
    uint8_t bytes[zip::kCentralHeaderSize];
    for (int i = 0; i < endOfCentral.TotalEntries; ++i) {
      if (files.Read(inFileHandle_, bytes, sizeof bytes) != sizeof bytes)
        throw EZipBuilder(kMsgCentralHeaderReadError);
      zip::CentralFileHeader header;
      if (zip::DecodeCentralHeader(bytes, header) != zip::Status::kOk)
        throw EZipBuilder(kMsgCentralSignatureWrong);
      header.RelOffLocal += static_cast<uint32_t>(shift);
      zip::Encode(header, bytes);
      if (files.Write(outFile, bytes, sizeof bytes) != sizeof bytes)
        throw EZipBuilder(kMsgCentralHeaderWriteError);
      int64_t variable = int64_t{header.FileNameLen} + header.ExtraLen + header.FileComLen;
      if (variable > 0 && CopyBuffer(inFileHandle_, outFile, variable) != 0)
        throw EZipBuilder(kMsgCentralNameCopyError);
    }
    if (files.Seek(inFileHandle_, zip::kEndRecordSize, SeekFrom::Current) < 0)
      throw EZipBuilder(kMsgEndRecordSkipError);
    endOfCentral.CentralOffSet += static_cast<uint32_t>(shift);
    uint8_t record[zip::kEndRecordSize];
    zip::Encode(endOfCentral, record);
    if (files.Write(outFile, record, sizeof record) != sizeof record)
      throw EZipBuilder(kMsgEndRecordWriteError);
    if (endOfCentral.ZipCommentLen > 0 &&
        CopyBuffer(inFileHandle_, outFile, endOfCentral.ZipCommentLen) != 0)
      throw EZipBuilder(kMsgCommentCopyError);
  } catch (...) {
    return kCopyFailed;
  }
  return kResultOk;
}
