#include "engines/zipdll/StreamedMember.h"

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "engines/common/Crc32.h"
#include "engines/zipdll/AesMember.h"
#include "zipformat/TraditionalCrypto.h"

namespace zipdll {
namespace {

constexpr size_t kChunk = 1 << 20;

class InputFile {
 public:
  InputFile(platform::FileSystem& fs, const std::string& path) : fs_(fs) {
    h_ = fs.Open(path, platform::Access::Read, platform::Share::Read,
                 platform::Disposition::OpenExisting);
    if (h_ == platform::kInvalidHandle)
      throw EngineError(kEngineOpenError, platform::WithReason("Cannot open " + path, fs.LastError()));
  }
  ~InputFile() { fs_.Close(h_); }
  size_t Read(uint8_t* buffer, size_t size) {
    int64_t n = fs_.Read(h_, buffer, size);
    if (n < 0)
      throw EngineError(kEngineReadError,
                        platform::WithReason("Cannot read input file", fs_.LastError()));
    return static_cast<size_t>(n);
  }
  void Rewind() { fs_.Seek(h_, 0, platform::SeekFrom::Begin); }

 private:
  platform::FileSystem& fs_;
  platform::FileHandle h_;
};

}  // namespace

void WriteStreamedMember(platform::FileSystem& fs, const MemberJob& job, Member& header,
                         OutputFile& out, EngineSession& session) {
  InputFile in(fs, job.diskPath);
  std::vector<uint8_t> buffer(kChunk), packed(kChunk + 1024);

  // The encryption header needs the CRC before the data: only then is the file
  // read twice, and a file that changed in between is refused below.
  const bool aes = job.password && job.aesStrength;
  std::optional<uint32_t> crcBefore;
  if (job.password && !aes) {
    uint32_t crc = 0;
    for (size_t n; (n = in.Read(buffer.data(), buffer.size())) > 0;)
      crc = engine::Crc32Update(crc, buffer.data(), n);
    crcBefore = crc;
    in.Rewind();
  }

  header.crc = crcBefore.value_or(0);
  header.uncompressedSize = 0;
  header.method = job.store ? zip::kMethodStored : zip::kMethodDeflate;
  const uint16_t dataMethod = header.method;
  if (aes) SetAesHeader(header, job.aesStrength);
  const bool zip64 = ReservesZip64(job.size);
  if (zip64) header.versionNeeded = std::max(header.versionNeeded, zip::kZip64VersionNeeded);
  // Without the block, data that reaches 0xFFFFFFFF has no true header.
  auto refuseAtLimit = [&](uint64_t bytes) {
    if (!zip64 && bytes >= kZip32Limit)
      throw EngineError(kEngineUnsupported,
                        "File grew to 4 GiB or more while being added, beyond the size its header "
                        "was written for: " + job.diskPath);
  };
  uint64_t headerOffset = out.Position();
  out.Write(LocalHeaderBytes(header, zip64));
  uint64_t dataStart = out.Position();

  std::optional<zip::TraditionalCrypto> cipher;
  std::unique_ptr<engine::AesStream> aesStream;
  if (aes) {
    std::vector<uint8_t> lead;
    aesStream = StartAes(*job.password, job.aesStrength, lead);
    out.Write(lead.data(), lead.size());
  } else if (job.password) {
    std::vector<uint8_t> encryptionHeader = EncryptMember(*job.password, *crcBefore, {});
    out.Write(encryptionHeader.data(), encryptionHeader.size());
    // Restart the cipher state behind the header just written.
    cipher.emplace(*job.password);
    std::vector<uint8_t> replay = encryptionHeader;
    cipher->Decrypt(replay.data(), replay.size());
  }
  auto emit = [&](uint8_t* data, size_t n) {
    if (cipher) cipher->Encrypt(data, n);
    if (aesStream) aesStream->Encrypt(data, n);
    out.Write(data, n);
  };

  z_stream z{};
  if (!job.store &&
      deflateInit2(&z, std::min(job.level, Z_BEST_COMPRESSION), Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw EngineError(kEngineNoMemory, "Cannot start compression");
  }
  // CRC and size are taken from exactly the bytes compressed, in the same pass.
  uint32_t crc = 0;
  uint64_t size = 0;
  try {
    for (;;) {
      size_t n = in.Read(buffer.data(), buffer.size());
      crc = engine::Crc32Update(crc, buffer.data(), n);
      size += n;
      refuseAtLimit(size);
      if (job.store) {
        if (n == 0) break;
        emit(buffer.data(), n);
      } else {
        z.next_in = buffer.data();
        z.avail_in = static_cast<uInt>(n);
        int flush = n == 0 ? Z_FINISH : Z_NO_FLUSH;
        int rc;
        do {
          z.next_out = packed.data();
          z.avail_out = static_cast<uInt>(packed.size());
          rc = deflate(&z, flush);
          emit(packed.data(), packed.size() - z.avail_out);
        } while (z.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
        if (n == 0) break;
      }
      session.Progress(kActionBytesDone, static_cast<int64_t>(n));
      session.ThrowIfStopped();
    }
  } catch (...) {
    if (!job.store) deflateEnd(&z);
    throw;
  }
  if (!job.store) deflateEnd(&z);
  if (crcBefore && *crcBefore != crc)
    throw EngineError(kEngineReadError, "Input file changed while being added: " + job.diskPath);
  if (aesStream) {
    uint8_t code[engine::kAesCodeSize];
    aesStream->Code(code);
    out.Write(code, sizeof code);
  }
  header.method = dataMethod;
  header.crc = crc;
  header.uncompressedSize = size;
  if (aes) SetAesHeader(header, job.aesStrength);
  header.compressedSize = out.Position() - dataStart;
  refuseAtLimit(header.compressedSize);
  out.Patch(headerOffset, LocalHeaderBytes(header, zip64));
}

}  // namespace zipdll
