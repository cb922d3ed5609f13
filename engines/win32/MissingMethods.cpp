// Methods whose libraries the Windows build has none of (bzip2, LZMA, xz,
// Zstandard): their members are refused as an unsupported method, as any
// method the engine does not know.
#include "engines/unzdll/MemberDecoder.h"

namespace unzdll {

DecodeResult MemberDecoder::StreamBzip2(ChunkReader&, const MemberData&, OutputSink&, ProgressMeter&) {
  return {DecodeStatus::Unsupported};
}

DecodeResult MemberDecoder::StreamLzma(ChunkReader&, const MemberData&, OutputSink&, ProgressMeter&) {
  return {DecodeStatus::Unsupported};
}

DecodeResult MemberDecoder::StreamXz(ChunkReader&, const MemberData&, OutputSink&, ProgressMeter&) {
  return {DecodeStatus::Unsupported};
}

DecodeResult MemberDecoder::StreamZstd(ChunkReader&, const MemberData&, OutputSink&, ProgressMeter&) {
  return {DecodeStatus::Unsupported};
}

}  // namespace unzdll
