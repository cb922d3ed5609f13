// The one way into <windows.h> for our code. The header maps many names to
// their A or W forms with macros (DeleteFile -> DeleteFileW); our interfaces use
// the same names, which would be renamed silently. They are removed here: call
// the W functions by their full names.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef CopyFile
#undef CreateHardLink
#undef CreateDirectory
#undef CreateFile
#undef DeleteFile
#undef GetCurrentDirectory
#undef GetDiskFreeSpace
#undef GetDriveType
#undef GetFileAttributes
#undef GetFileVersionInfo
#undef GetFileVersionInfoSize
#undef GetLogicalDrives
#undef GetTempFileName
#undef GetTempPath
#undef GetVolumeInformation
#undef LoadLibrary
#undef MessageBox
#undef MoveFile
#undef OemToChar
#undef CharToOem
#undef RemoveDirectory
#undef SetCurrentDirectory
#undef SetFileAttributes
#undef SetVolumeLabel
#undef VerQueryValue
#undef GetProcAddress

// The predefined registry roots are constants of platform/Registry.h, with the
// same numbers; platform::RootKey() gives the system's handle for one.
#undef HKEY_CLASSES_ROOT
#undef HKEY_CURRENT_USER
#undef HKEY_LOCAL_MACHINE
#undef HKEY_USERS
#undef HKEY_PERFORMANCE_DATA
#undef HKEY_CURRENT_CONFIG

#include "platform/Registry.h"

namespace platform {
inline HKEY RootKey(RegistryRoot root) { return reinterpret_cast<HKEY>(static_cast<uintptr_t>(root)); }
}  // namespace platform
