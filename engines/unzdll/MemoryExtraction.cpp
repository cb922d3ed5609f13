// Extraction to memory: one member into the component's buffer, and a stream
// decoded memory to memory.
#include "engines/unzdll/Extractor.h"
#include <cstring>
#include <new>
#include "engines/unzdll/AesCipher.h"
#include "engines/unzdll/SafeName.h"
#include "engines/unzdll/Sinks.h"
#include "engines/ZipEngineApi.h"
#include "engines/common/EngineError.h"
#include "platform/Paths.h"
#include "platform/Umask.h"
#include "zipformat/StreamHeader.h"
#include "zipformat/Wildcard.h"
#include "engines/unzdll/MemberChecks.h"

namespace unzdll {

Extractor::Outcome Extractor::ExtractToMemory(ArchiveFile& file, const Member& m, uint64_t dataLimit) {
  if (std::optional<Outcome> refused = BeginMember(m)) return *refused;
  // The size asked of the component must be believable from the data present.
  if (!PlausibleExpandedSize(m) || m.uncompressedSize > UINT32_MAX)
    return Skip(m, kEngineSizeError, kSkipFormatWrong, "Declared size impossible for ");

  MemberData data = DataOf(m);
  if (std::optional<Outcome> skipped = Locate(file, m, dataLimit, data)) return *skipped;
  std::unique_ptr<MemberCipher> cipher;
  PasswordState passwords{passwordRequestsCancelled_ ? 0 : options_.passwordRequests};
  if (std::optional<Outcome> ended = Decrypt(file, m, data, cipher, passwords)) return *ended;
  return DecodeIntoMemory(file, m, data);
}

Extractor::Outcome Extractor::DecodeIntoMemory(ByteSource& source, const Member& m, const MemberData& data) {
  uint8_t* block = options_.outBlock;
  size_t capacity = options_.outSize;
  if (options_.test) {
    NullSink sink;
    DecodeResult result = decoder_.Decode(source, data, sink, Progress());
    if (result.status != DecodeStatus::Ok) return ReportDecodeFailure(m, result);
    if (!CrcMatches(m, result)) return Skip(m, kEngineCrcError, kSkipFormatWrong, "CRC error in ");
    return Outcome::Done;
  }
  if (data.declaredSize > 0 && (!block || capacity < data.declaredSize)) {
    if (!callback_.Call(kActionOutputMemory, 0, static_cast<intptr_t>(data.declaredSize), m.name))
      return Outcome::Stopped;
    const ZCallBackStruct& answer = callback_.Answer();
    if (!callback_.HasFunction() || answer.ErrorCode == 1 || answer.FileSize == 0)
      return Skip(m, kEngineNoMemory, kSkipGeneralError, "No memory for the output of ");
    block = reinterpret_cast<uint8_t*>(answer.FileSize);
    capacity = static_cast<size_t>(data.declaredSize);
  }
  MemorySink sink(block, capacity);
  DecodeResult result = decoder_.Decode(source, data, sink, Progress());
  if (result.status != DecodeStatus::Ok) return ReportDecodeFailure(m, result);
  if (!CrcMatches(m, result) && !KeepDespiteCrc(m, result.crc))
    return callback_.Stopped() ? Outcome::Stopped : Outcome::Skipped;
  return Outcome::Done;
}

static_assert(kStreamHeaderSize == zip::kStreamHeaderBytes,
              "one stream header for the record and the format");

int32_t Extractor::RunStream() {
  if (!options_.inBlock || options_.inSize < kStreamHeaderSize)
    throw engine::EngineError(kEngineBadParameters, "Input stream too short");
  Member m;  // the stream has no name
  const zip::StreamHeader header = zip::DecodeStreamHeader(options_.inBlock);
  m.crc = header.crc;
  m.method = header.method;
  m.compressedSize = options_.inSize - kStreamHeaderSize;
  m.uncompressedSize = options_.outSize;
  if (!callback_.Progress(kActionMemberCount, 1) || !callback_.Progress(kActionTotalBytes, m.uncompressedSize))
    return 0;
  if (!callback_.Call(kActionMemberBegin, 0, static_cast<intptr_t>(m.uncompressedSize), m.name)) return 0;
  if (!SupportedMethod(m.method)) {
    Skip(m, kEngineUnsupported, kSkipCompressionUnknown,
         "Compression method " + std::to_string(m.method) + " not supported in the input stream");
    return 0;
  }
  MemorySource source(options_.inBlock + kStreamHeaderSize, static_cast<size_t>(m.compressedSize));
  MemberData data;
  data.size = m.compressedSize;
  data.method = m.method;
  data.declaredSize = m.uncompressedSize;
  return DecodeIntoMemory(source, m, data) == Outcome::Done ? 1 : 0;
}

}  // namespace unzdll
