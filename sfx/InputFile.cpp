#include "sfx/InputFile.h"

#include "zipformat/PeImage.h"

namespace sfx {

bool InputFile::Open(const std::wstring& path) {
  handle_ = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                        nullptr);
  LARGE_INTEGER size;
  if (handle_ == INVALID_HANDLE_VALUE || !GetFileSizeEx(handle_, &size)) return false;
  size_ = static_cast<uint64_t>(size.QuadPart);
  return true;
}

InputFile::~InputFile() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

bool InputFile::ReadAt(uint64_t offset, void* buffer, size_t count) {
  if (offset > size_ || count > size_ - offset) return false;
  return Seek(offset) && ReadSome(buffer, count) == count;
}

bool InputFile::Seek(uint64_t offset) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  return offset <= size_ && SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN);
}

size_t InputFile::ReadSome(void* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    DWORD got = 0;
    DWORD want = static_cast<DWORD>(count - done > (1u << 20) ? (1u << 20) : count - done);
    if (!ReadFile(handle_, static_cast<uint8_t*>(buffer) + done, want, &got, nullptr) || got == 0)
      break;
    done += got;
  }
  return done;
}

uint64_t ImageEnd(InputFile& file) {
  const zip::ByteSource source = [&file](uint64_t offset, void* buffer, size_t count) {
    return file.ReadAt(offset, buffer, count);
  };
  zip::PeImage image(source);
  return image.Load() ? image.ImageEnd() : 0;
}

}  // namespace sfx
