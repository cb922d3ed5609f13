// The platform queries: registry roots, version strings of PE files, the
// administrator rule.
#include <gtest/gtest.h>

#include "tests/support/PeFixture.h"
#include "tests/support/TempDir.h"
#include "installer/InstallerQueries.h"
#include "platform/Env.h"
#include "platform/PeResources.h"
#include "platform/Security.h"

namespace {

using installer::GetVersionString;

TEST(RootKeyFromText, ExactNamesOnly) {
  struct Case {
    const char* text;
    platform::RegistryRoot root;
  } cases[] = {{":HKEY_LOCAL_MACHINE", platform::HKEY_LOCAL_MACHINE},
               {":HKEY_CURRENT_USER", platform::HKEY_CURRENT_USER},
               {":HKEY_USERS", platform::HKEY_USERS},
               {":HKEY_CURRENT_CONFIG", platform::HKEY_CURRENT_CONFIG},
               {":HKEY_CLASSES_ROOT", platform::HKEY_CURRENT_USER},
               {":HKEY_LOCAL_MACHINE ", platform::HKEY_CURRENT_USER},
               {":hkey_local_machine", platform::HKEY_CURRENT_USER},
               {"HKEY_LOCAL_MACHINE", platform::HKEY_CURRENT_USER}};
  for (const auto& c : cases) EXPECT_EQ(installer::RootKeyFromText(c.text), c.root) << c.text;
}

class VersionString : public ::testing::Test {
 protected:
  std::string Write(const fixtures::PeVersionSpec& spec) {
    std::string path = dir_ / ("p" + std::to_string(count_++) + ".exe");
    EXPECT_TRUE(fixtures::WritePeWithVersion(path, spec));
    return path;
  }
  std::string Get(const std::string& path, const std::string& name = "ProductVersion") {
    return GetVersionString(platform::PosixFileSystem(), path, name);
  }
  testsupport::TempDir dir_;
  int count_ = 0;
};

TEST_F(VersionString, ReadsTheStringOfTheFirstTranslation) {
  fixtures::PeVersionSpec spec;
  spec.strings = {{"CompanyName", "Bravik-Solen"}, {"ProductVersion", "6.05"}, {"Comments", "Grüße"}};
  std::string path = Write(spec);
  EXPECT_EQ(Get(path), "6.05");
  EXPECT_EQ(Get(path, "productversion"), "6.05");  // keys compare as on Windows
  EXPECT_EQ(Get(path, "Comments"), "Grüße");
  EXPECT_EQ(Get(path, "FileVersion"), "");
}

TEST_F(VersionString, QueriesThePathBuiltFromLanguageAndCodePage) {
  fixtures::PeVersionSpec spec;
  spec.strings = {{"ProductVersion", "6.05"}};
  spec.stringTableKey = "040904E4";
  std::string path = Write(spec);
  auto block = platform::GetFileVersionInfoA(platform::PosixFileSystem(), path,
                                             platform::GetFileVersionInfoSizeA(platform::PosixFileSystem(), path));
  ASSERT_TRUE(block);
  auto value = platform::VerQueryValueA(*block, "\\StringFileInfo\\040904E4\\ProductVersion");
  ASSERT_TRUE(value);
  EXPECT_TRUE(value->isText);
  EXPECT_EQ(value->text, "6.05");
  auto translation = platform::VerQueryValueA(*block, "\\VarFileInfo\\Translation");
  ASSERT_TRUE(translation);
  EXPECT_EQ(translation->bytes, (std::vector<uint8_t>{0x09, 0x04, 0xE4, 0x04}));
  auto fixed = platform::VerQueryValueA(*block, "\\");
  ASSERT_TRUE(fixed);
  EXPECT_EQ(fixed->bytes.size(), 52u);

  // A string table under another language than the first translation is not found.
  spec.translations = {{0x0407, 0x04B0}, {0x0409, 0x04E4}};
  EXPECT_EQ(Get(Write(spec)), "");
  spec.stringTableKey = "040704B0";
  EXPECT_EQ(Get(Write(spec)), "6.05");
}

TEST_F(VersionString, StringsMarkedBinaryAreReadAsText) {
  // Some resource compilers mark the strings binary (type 0), counting their
  // length in characters or in bytes; they are text all the same.
  for (bool inBytes : {false, true}) {
    fixtures::PeVersionSpec spec;
    spec.stringType = 0;
    spec.stringLengthInBytes = inBytes;
    spec.strings = {{"CompanyName", "Bravik-Solen"}, {"ProductVersion", "6.05"}, {"Empty", ""}};
    std::string path = Write(spec);
    EXPECT_EQ(Get(path), "6.05") << inBytes;
    EXPECT_EQ(Get(path, "CompanyName"), "Bravik-Solen") << inBytes;
    EXPECT_EQ(Get(path, "Empty"), "") << inBytes;
  }
}

TEST_F(VersionString, EmptyWhenThereIsNothingToRead) {
  EXPECT_EQ(Get(dir_ / "missing.exe"), "");
  testsupport::WriteTextFile(dir_ / "text.exe", "MZ but not a program");
  EXPECT_EQ(Get(dir_ / "text.exe"), "");

  fixtures::PeVersionSpec none;
  none.withVersionResource = false;
  std::string noResource = Write(none);
  EXPECT_EQ(platform::GetFileVersionInfoSizeA(platform::PosixFileSystem(), noResource), 0u);
  EXPECT_EQ(Get(noResource), "");

  fixtures::PeVersionSpec noTranslation;
  noTranslation.translations.clear();
  noTranslation.stringTableKey = "040904E4";
  noTranslation.strings = {{"ProductVersion", "6.05"}};
  EXPECT_EQ(Get(Write(noTranslation)), "");

  fixtures::PeVersionSpec emptyValue;
  emptyValue.strings = {{"ProductVersion", ""}};
  EXPECT_EQ(Get(Write(emptyValue)), "");
}

TEST_F(VersionString, DamagedImagesReadAsNoVersion) {
  fixtures::PeVersionSpec spec;
  spec.strings = {{"ProductVersion", "6.05"}};
  std::vector<uint8_t> image = fixtures::BuildPeWithVersion(spec);
  // Cut the file anywhere, or scribble over single bytes: never a crash, and either
  // the right value or none.
  for (size_t cut = 0; cut < image.size(); cut += 7) {
    std::vector<uint8_t> part(image.begin(), image.begin() + cut);
    zip::ByteSource source = [&](uint64_t offset, void* buffer, size_t count) {
      if (offset > part.size() || count > part.size() - offset) return false;
      std::copy_n(part.begin() + offset, count, static_cast<uint8_t*>(buffer));
      return true;
    };
    auto resource = platform::ReadFirstResource(source, zip::kResourceTypeVersion);
    if (resource) platform::VerQueryValueA(*resource, "\\StringFileInfo\\040904E4\\ProductVersion");
  }
  for (size_t at = 0x200; at < image.size(); ++at) {
    std::vector<uint8_t> bad = image;
    bad[at] ^= 0xFF;
    auto block = std::vector<uint8_t>(bad.begin() + 0x200 + 88, bad.end());
    platform::VerQueryValueA(block, "\\StringFileInfo\\040904E4\\ProductVersion");
  }
}

TEST(AdministratorRule, RootOrPrefixOwnerOrUnknown) {
  EXPECT_TRUE(platform::AdministratorRule(0u, 1000u));
  EXPECT_TRUE(platform::AdministratorRule(1000u, 1000u));
  EXPECT_FALSE(platform::AdministratorRule(1001u, 1000u));
  EXPECT_TRUE(platform::AdministratorRule(1001u, std::nullopt));
  EXPECT_TRUE(platform::AdministratorRule(std::nullopt, 1000u));
  EXPECT_TRUE(installer::IsAdministrator(nullptr));
}

TEST(AdministratorRule, PosixAnswerFollowsThePrefixOwner) {
  testsupport::TempDir dir;
  testsupport::ScopedEnv prefix("WINEPREFIX", dir.path());
  // This process owns the directory it made: an administrator in any case.
  EXPECT_TRUE(platform::PosixSecurity().IsAdministrator());
  testsupport::ScopedEnv missing("WINEPREFIX", dir / "none");
  EXPECT_TRUE(platform::PosixSecurity().IsAdministrator());
}

}  // namespace
