// What a program using the component can rely on: a failure it would not see
// otherwise is in ErrCode and Message, member names take either separator, and
// a component given no user interface shows and asks nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "tests/support/ArchiveBytes.h"
#include "tests/support/TempDir.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TestMember;

struct ApiCase {
  const char* what;
  std::function<void(TZipBuilder&, const std::string& dir)> run;
  int errCode;
  int successCount;
};

// Runs each case on a new component without a user interface, with the
// current directory set to an empty one, and checks that nothing was printed.
TEST(ApiTraps, EachOutcomeIsVisibleInTheComponentState) {
  testsupport::TempDir dir;
  const std::string archive = dir / "a.zip";
  testsupport::WriteTextFile(archive, testsupport::BuildArchive({TestMember("docs/whatsnew.txt", "new things"),
                                                                 TestMember("readme.txt", "read me")})
                                          .bytes);
  const ApiCase cases[] = {
      {"a missing archive", [](TZipBuilder& zip, const std::string& d) { zip.SetFileName(d + "/missing.zip"); },
       11001, 0},
      {"an existing archive after a missing one clears the error",
       [&](TZipBuilder& zip, const std::string& d) {
         zip.SetFileName(d + "/missing.zip");
         zip.SetFileName(archive);
       },
       0, 0},
      {"a member named with / to memory",
       [&](TZipBuilder& zip, const std::string&) {
         zip.SetFileName(archive);
         TZipStream* out = zip.ExtractFileToStream("docs/whatsnew.txt");
         ASSERT_NE(out, nullptr) << zip.Message();
         EXPECT_EQ(std::string(reinterpret_cast<const char*>(out->Memory()), static_cast<size_t>(out->Size())), "new things");
       },
       0, 1},
      {"a member named with / to a file",
       [&](TZipBuilder& zip, const std::string& d) {
         zip.SetFileName(archive);
         zip.ExtrBaseDir = d;
         zip.ExtrOptions = ExtrOpts{ExtrDirNames};
         zip.SetFSpecArgs({"docs/whatsnew.txt"});
         zip.Extract();
         EXPECT_EQ(testsupport::ReadTextFile(d + "/docs/whatsnew.txt"), "new things");
       },
       0, 1},
      {"a missing extraction directory that must exist",
       [&](TZipBuilder& zip, const std::string& d) {
         zip.SetFileName(archive);
         zip.ExtrBaseDir = d + "/not/there";
         zip.ExtrBaseDirMustExist = true;
         zip.SetFSpecArgs({"*.*"});
         zip.Extract();
         EXPECT_EQ(zip.Message(), "The extraction directory does not exist; nothing was extracted: " + d + "/not/there");
       },
       11062, 0},
      {"a box the operation shows goes nowhere",
       [](TZipBuilder& zip, const std::string& d) {
         zip.SetFileName(d + "/missing.zip");
         zip.Extract();  // "no zip file specified", shown in a box when not unattended
       },
       10102, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::TempDir work;
    const fs::path cwd = fs::current_path();
    fs::current_path(work.path());
    std::ostringstream printed;
    auto* saved = std::cerr.rdbuf(printed.rdbuf());
    {
      TZipBuilder zip;
      zip.SetDLLDirectory(ZB_BINARY_DIR);
      c.run(zip, work.path());
      EXPECT_EQ(zip.ErrCode(), c.errCode) << zip.Message();
      EXPECT_EQ(zip.SuccessCount(), c.successCount);
    }
    std::cerr.rdbuf(saved);
    fs::current_path(cwd);
    EXPECT_EQ(printed.str(), "");
    EXPECT_FALSE(fs::exists(work / "readme.txt")) << "extracted into the current directory";
  }
}

}  // namespace
