// Deflate64 members (method 9): our own decoder fed by the member's chunk reader.
#include "engines/unzdll/DecodeSteps.h"
#include "engines/unzdll/Deflate64.h"
#include "engines/unzdll/MemberDecoder.h"

namespace unzdll {

DecodeResult MemberDecoder::StreamDeflate64(ChunkReader& reader, const MemberData& data,
                                            OutputSink& sink, ProgressMeter& meter) {
  Deflate64Decoder inflater;
  DecodeResult result;
  DecodeStatus stopped = DecodeStatus::Ok;  // why the output side ended decoding
  auto input = [&](const uint8_t*& next, size_t& n) {
    n = 0;
    if (reader.AtEnd()) return true;
    next = reader.Buffer();
    return reader.Next(n);
  };
  auto output = [&](const uint8_t* bytes, size_t n) {
    stopped = Accept(bytes, n, data, result, sink, meter);
    return stopped == DecodeStatus::Ok;
  };
  switch (inflater.Decode(input, output)) {
    case Deflate64Decoder::Status::Done:
      break;
    case Deflate64Decoder::Status::BadData:
      return {DecodeStatus::BadData};
    case Deflate64Decoder::Status::Truncated:
      return {DecodeStatus::TooShort};
    case Deflate64Decoder::Status::InputFailed:
      return {DecodeStatus::ReadError};
    case Deflate64Decoder::Status::Stopped:
      return {stopped};
  }
  if (result.size < data.declaredSize) return {DecodeStatus::TooShort};
  return result;
}

}  // namespace unzdll
