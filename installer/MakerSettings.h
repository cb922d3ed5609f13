// What a maker sets to ship the installer with their own program: the caption of
// the window and its boxes, the package password, and the oldest installed
// version an update may be laid over, with the message shown below it, and the
// public key that signs the packages. Change
// the defaults here, or give them to CMake when building (installer/CMakeLists.txt
// turns -DZB_INSTALLER_CAPTION=... and the others into these macros).
#pragma once

#include <cstdint>

#ifndef ZB_INSTALLER_CAPTION
#define ZB_INSTALLER_CAPTION "Bravik-Solen"
#endif
#ifndef ZB_PACKAGE_PASSWORD
#define ZB_PACKAGE_PASSWORD "KmqTelvora"
#endif
// The installed version as a number: its dotted text without the dots (6.00 is 600).
#ifndef ZB_BASE_VERSION_FLOOR
#define ZB_BASE_VERSION_FLOOR 600
#endif
#ifndef ZB_BASE_TOO_OLD_MESSAGE
#define ZB_BASE_TOO_OLD_MESSAGE "Base installation is too old!\n\nversion 4.x cannot be upgraded!"
#endif

// The maker's public key in hex (a .pub file of `zipbuilder keygen`); empty: packages
// need no signature. Only the program's main.cpp reads it, so that the tests of the
// installer's logic build the same with and without a key.
#ifndef ZB_PACKAGE_PUBLIC_KEY_HEX
#define ZB_PACKAGE_PUBLIC_KEY_HEX ""
#endif

namespace installer {

inline constexpr const char* kCompanyCaption = ZB_INSTALLER_CAPTION;
inline constexpr const char* kMakerPackagePassword = ZB_PACKAGE_PASSWORD;
inline constexpr int32_t kOldestUpgradable = ZB_BASE_VERSION_FLOOR;
inline constexpr const char* kBaseTooOldMessage = ZB_BASE_TOO_OLD_MESSAGE;

}  // namespace installer
