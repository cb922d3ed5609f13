#include "platform/win32/UnnamedFiles.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/Paths.h"
#include "platform/win32/WideText.h"

namespace platform::win32 {
namespace {
constexpr char kPrefix[] = "\\\\?\\handle\\";
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
}  // namespace

std::string UnnamedPath(HANDLE file) {
  return kPrefix + std::to_string(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(file)));
}

std::optional<HANDLE> HandleOfUnnamedPath(const std::string& path) {
  const size_t prefix = sizeof kPrefix - 1;
  if (path.size() <= prefix || path.compare(0, prefix, kPrefix) != 0) return std::nullopt;
  const char* digits = path.c_str() + prefix;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(digits, &end, 10);
  if (*end != '\0' || end == digits) return std::nullopt;
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
}

bool MarkDeletePending(HANDLE file, bool pending) {
  // Its one member is named by the DeleteFile macro, which WindowsApi.h removes.
  FILE_DISPOSITION_INFO disposition{static_cast<BOOLEAN>(pending)};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

bool RenameByHandle(HANDLE file, const std::string& target) {
  const std::wstring name = WidePath(ExpandFileName(target));
  const size_t bytes = name.size() * sizeof(wchar_t);
  std::vector<char> buffer(offsetof(FILE_RENAME_INFO, FileName) + bytes + sizeof(wchar_t), 0);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(bytes);
  std::memcpy(rename->FileName, name.data(), bytes);
  return SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size()));
}

HANDLE ReopenUnnamed(HANDLE file, DWORD access) {
  HANDLE second = ReOpenFile(file, access, kShareAll, 0);
  if (second != INVALID_HANDLE_VALUE || GetLastError() != ERROR_ACCESS_DENIED) return second;
  if (!MarkDeletePending(file, false)) return INVALID_HANDLE_VALUE;
  second = ReOpenFile(file, access, kShareAll, 0);
  const DWORD error = GetLastError();
  MarkDeletePending(file, true);
  SetLastError(error);
  return second;
}

}  // namespace platform::win32
