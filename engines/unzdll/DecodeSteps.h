// The steps every streamed method shares: reading the member's data in chunks
// (decrypted, authenticated), and taking decoded bytes (size limit, CRC, sink,
// progress). One pair per Decode call.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "engines/unzdll/MemberDecoder.h"

namespace unzdll {

constexpr size_t kStreamChunk = 256u << 10;
constexpr uint64_t kProgressStep = 1u << 20;

uint32_t Crc(uint32_t crc, const uint8_t* data, size_t size);

// Reports progress in steps rather than per chunk.
class ProgressMeter {
 public:
  explicit ProgressMeter(const ProgressFunction& progress) : progress_(progress) {}
  bool Add(uint64_t bytes) {
    pending_ += bytes;
    if (pending_ < kProgressStep) return true;
    return Flush();
  }
  bool Flush() {
    uint64_t bytes = pending_;
    pending_ = 0;
    return !progress_ || bytes == 0 || progress_(bytes);
  }

 private:
  const ProgressFunction& progress_;
  uint64_t pending_ = 0;
};

// Reads a member's compressed data in chunks into `buffer`, decrypting each.
class ChunkReader {
 public:
  ChunkReader(ByteSource& source, const MemberData& data, uint8_t* buffer)
      : source_(source), data_(data), buffer_(buffer) {}
  bool AtEnd() const { return consumed_ == data_.size; }
  uint8_t* Buffer() const { return buffer_; }
  // Reads the next chunk (none at the end) and gives its size; false on a read error.
  bool Next(size_t& n) {
    n = static_cast<size_t>(std::min<uint64_t>(kStreamChunk, data_.size - consumed_));
    if (n && !source_.ReadAt(data_.start + consumed_, buffer_, n)) return false;
    if (data_.cipher) data_.cipher->Decrypt(buffer_, n);
    consumed_ += n;
    return true;
  }
  // Reads what the decoder left, for the cipher's authentication code, and checks
  // the code. Ok, ReadError or NotAuthentic.
  DecodeStatus Authenticate() {
    if (!data_.cipher) return DecodeStatus::Ok;
    for (size_t n = 0; !AtEnd();)
      if (!Next(n)) return DecodeStatus::ReadError;
    return data_.cipher->Authentic() ? DecodeStatus::Ok : DecodeStatus::NotAuthentic;
  }

 private:
  ByteSource& source_;
  const MemberData& data_;
  uint8_t* buffer_;
  uint64_t consumed_ = 0;
};

// Takes `n` decoded bytes: held to the declared size, counted into the CRC,
// written and reported. Ok means decoding goes on.
inline DecodeStatus Accept(const uint8_t* out, size_t n, const MemberData& data,
                           DecodeResult& result, OutputSink& sink, ProgressMeter& meter) {
  if (n > data.declaredSize - result.size) return DecodeStatus::TooLong;
  if (n == 0) return DecodeStatus::Ok;
  result.crc = Crc(result.crc, out, n);
  if (!sink.Write(out, n)) return DecodeStatus::WriteError;
  result.size += n;
  return meter.Add(n) ? DecodeStatus::Ok : DecodeStatus::Stopped;
}

}  // namespace unzdll
