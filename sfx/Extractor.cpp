#include "sfx/Extractor.h"

#include <zlib.h>

#include <cstring>
#include <vector>

#include "sfx/SafeNames.h"
#include "sfx/Text.h"
#include "sfx/ZipSFXIds.h"
#include "zipformat/Methods.h"

namespace sfx {

Extractor::Extractor(InputFile& file, const Ui& ui, Overwrite overwrite, std::wstring base,
                     const Options& options)
    : file_(file), ui_(ui), overwrite_(overwrite), base_(std::move(base)) {
  if (options.havePassword) {
    password_ = options.password;
    havePassword_ = true;
  }
  silentPassword_ = options.silent;
}

Outcome Extractor::Extract(const Member& m) {
  std::wstring target = SafeTarget(base_, m.name);
  if (target.empty()) return Fail(m, L"unsafe name, not extracted");
  if (m.IsDirectory())
    return MakeDirectories(target) ? Outcome::Extracted : Fail(m, L"cannot create the directory");
  size_t cut = target.find_last_of(L'\\');
  std::wstring dir = target.substr(0, cut);
  if (!MakeDirectories(dir)) return Fail(m, L"cannot create the directory");
  bool exists = GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
  if (exists) {
    Overwrite mode = overwrite_;
    if (mode == Overwrite::Confirm) {
      if (ui_.silent) {
        mode = Overwrite::Never;
      } else {
        int answer =
            ui_.Ask(L"Replace the existing file\n" + target + L" ?\n\n(Cancel stops extracting.)",
                    MB_YESNOCANCEL);
        if (answer == IDCANCEL) return Outcome::Cancelled;
        mode = answer == IDYES ? Overwrite::Always : Overwrite::Never;
      }
    }
    if (mode == Overwrite::Never) return Outcome::Skipped;
  }
  if (m.method != zip::kMethodStored && m.method != zip::kMethodDeflate)
    return Fail(m, L"compression method not supported");
  uint64_t dataAt = 0;
  if (!DataPosition(file_, m, dataAt)) return Fail(m, L"damaged local header");

  wchar_t temp[MAX_PATH * 4];
  if (!GetTempFileNameW(dir.c_str(), L"sfx", 0, temp)) return Fail(m, L"cannot create a file");
  Outcome result = WriteMember(m, dataAt, temp);
  if (result == Outcome::Extracted) {
    if (exists) SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExW(temp, target.c_str(), MOVEFILE_REPLACE_EXISTING))
      result = Fail(m, L"cannot replace the file");
    else
      ApplyAttributes(m, target);
  }
  if (result != Outcome::Extracted) DeleteFileW(temp);
  return result;
}

Outcome Extractor::Fail(const Member& m, const std::wstring& why) {
  ++errorCount_;
  if (errorCount_ <= 10) errors_ += m.name + L": " + why + L"\n";
  return Outcome::Failed;
}

bool Extractor::StartDecrypting(const Member& m, const uint8_t* header,
                                std::optional<zip::TraditionalCrypto>& keys) {
  const uint8_t check = zip::TraditionalCheckByte(m.flags, m.crc, m.dosTime);
  for (int attempt = 0; attempt < 4; ++attempt) {
    if (havePassword_) {
      zip::TraditionalCrypto candidate(password_);
      uint8_t plain[zip::kTraditionalHeaderSize];
      std::memcpy(plain, header, sizeof plain);
      if (zip::TraditionalHeaderMatches(candidate, plain, check)) {
        keys = candidate;
        return true;
      }
    }
    if (silentPassword_ || declined_) return false;
    PasswordState state{
        ui_.caption,
        (havePassword_ ? L"Wrong password. Password for\n" : L"Password for\n") + m.name, L""};
    if (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PASSWORD), ui_.progress,
                        PasswordDialogProc, reinterpret_cast<LPARAM>(&state)) != IDOK) {
      declined_ = true;
      return false;
    }
    password_ = Narrow(state.password);
    havePassword_ = true;
  }
  return false;
}

Outcome Extractor::WriteMember(const Member& m, uint64_t dataAt, const wchar_t* temp) {
  HANDLE out =
      CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return Fail(m, L"cannot create a file");
  Outcome result = Copy(m, dataAt, out);
  if (result == Outcome::Extracted) {
    FILETIME local, utc;
    if (DosDateTimeToFileTime(HIWORD(m.dosTime), LOWORD(m.dosTime), &local) &&
        LocalFileTimeToFileTime(&local, &utc))
      SetFileTime(out, nullptr, nullptr, &utc);
  }
  CloseHandle(out);
  return result;
}

Outcome Extractor::Copy(const Member& m, uint64_t dataAt, HANDLE out) {
  uint64_t remaining = m.compressedSize;
  std::optional<zip::TraditionalCrypto> keys;
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(dataAt);
  if (m.Encrypted()) {
    uint8_t header[zip::kTraditionalHeaderSize];
    if (remaining < sizeof header || !file_.ReadAt(dataAt, header, sizeof header))
      return Fail(m, L"damaged data");
    if (!StartDecrypting(m, header, keys)) return Fail(m, L"no or wrong password");
    remaining -= sizeof header;
    at.QuadPart += sizeof header;
  }
  if (!file_.Seek(static_cast<uint64_t>(at.QuadPart))) return Fail(m, L"damaged data");
  z_stream z{};
  if (m.method == zip::kMethodDeflate && inflateInit2(&z, -MAX_WBITS) != Z_OK) return Fail(m, L"out of memory");
  std::vector<uint8_t> in(1 << 16), inflated(1 << 16);
  uint32_t crc = crc32(0, nullptr, 0);
  uint64_t written = 0;
  bool ok = true, finished = m.method == zip::kMethodStored;
  std::wstring why = L"damaged data";
  while (ok && remaining > 0) {
    size_t want = remaining < in.size() ? static_cast<size_t>(remaining) : in.size();
    size_t got = file_.ReadSome(in.data(), want);
    if (got != want) {
      ok = false;
      break;
    }
    remaining -= got;
    if (keys) keys->Decrypt(in.data(), got);
    auto emit = [&](const uint8_t* data, size_t length) {
      DWORD done = 0;
      if (length &&
          (!WriteFile(out, data, static_cast<DWORD>(length), &done, nullptr) || done != length)) {
        why = L"write error (disk full?)";
        return false;
      }
      crc = crc32(crc, data, static_cast<uInt>(length));
      written += length;
      return written <= m.size;
    };
    if (m.method == zip::kMethodStored) {
      ok = emit(in.data(), got);
    } else {
      z.next_in = in.data();
      z.avail_in = static_cast<uInt>(got);
      while (ok && z.avail_in > 0 && !finished) {
        z.next_out = inflated.data();
        z.avail_out = static_cast<uInt>(inflated.size());
        int rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
          ok = false;
        else
          ok = emit(inflated.data(), inflated.size() - z.avail_out);
        if (rc == Z_STREAM_END) finished = true;
      }
    }
    ui_.Progress(m.name, m.compressedSize
                             ? static_cast<int>(100 - remaining * 100 / m.compressedSize)
                             : 100);
  }
  if (m.method == zip::kMethodDeflate) {
    // Output still held back by the inflater.
    while (ok && !finished) {
      z.next_out = inflated.data();
      z.avail_out = static_cast<uInt>(inflated.size());
      int rc = inflate(&z, Z_FINISH);
      if (rc != Z_STREAM_END && rc != Z_OK && rc != Z_BUF_ERROR) ok = false;
      size_t produced = inflated.size() - z.avail_out;
      if (ok && produced) {
        DWORD done = 0;
        ok = WriteFile(out, inflated.data(), static_cast<DWORD>(produced), &done, nullptr) &&
             done == produced;
        crc = crc32(crc, inflated.data(), static_cast<uInt>(produced));
        written += produced;
      }
      if (rc == Z_STREAM_END)
        finished = true;
      else if (produced == 0)
        break;
    }
    inflateEnd(&z);
  }
  if (!ok) return Fail(m, why);
  if (!finished || written != m.size || crc != m.crc) return Fail(m, L"CRC or size check failed");
  return Outcome::Extracted;
}

void Extractor::ApplyAttributes(const Member& m, const std::wstring& target) {
  DWORD keep = m.externalAttributes &
               (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  if (keep) SetFileAttributesW(target.c_str(), keep);
}

}  // namespace sfx
