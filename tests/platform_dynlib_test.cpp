// LoadLibraryA's name mapping, GetProcAddress and FreeLibrary on shared objects.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/DynamicLibrary.h"
#include "platform/Env.h"
#include "platform/ProgramPath.h"
#include "platform/FileSystem.h"
#include "tests/support/TempDir.h"

namespace {

using namespace platform;
namespace fs = std::filesystem;

using AnswerFn = int (*)();

struct DynLibTest : ::testing::Test {
  DynamicLibraries& libs = *DefaultEnv().libraries;
  const std::string bin = ZB_BINARY_DIR;

  int CallAnswer(LibraryHandle lib) {
    auto fn = reinterpret_cast<AnswerFn>(libs.GetProcAddress(lib, "TestDllAnswer"));
    return fn ? fn() : -1;
  }
};

TEST_F(DynLibTest, TheProgramKnowsWhereItIs) {
  EXPECT_EQ(ProgramDirectory().back(), '/');
  EXPECT_EQ(fs::canonical(ProgramDirectory()), fs::canonical(bin));
  EXPECT_EQ(fs::path(ProgramPath()).filename(), "platform_dynlib_test");
}

TEST_F(DynLibTest, ABareDllNameFindsTheLowerCaseSharedObjectNextToTheProgram) {
  ASSERT_TRUE(fs::exists(bin + "/libtestdll.so"));
  LibraryHandle lib = libs.Load("TESTDLL.DLL");
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(CallAnswer(lib), 42);
  EXPECT_EQ(libs.GetProcAddress(lib, "NoSuchSymbol"), nullptr);
  libs.Free(lib);
}

// A DLL path finds the shared object beside it under its lower-case name, an
// installed one by its interface version, or the file exactly as named.
TEST_F(DynLibTest, DllPathsFindTheSharedObject) {
  testsupport::TempDir dir;
  fs::copy_file(bin + "/libtestdll.so", dir / "libversioned.so.1");
  fs::copy_file(bin + "/libtestdll.so", dir / "PLAIN.DLL");
  for (const std::string& path : {bin + "/TestDll.dll", dir / "VERSIONED.DLL", dir / "PLAIN.DLL"}) {
    SCOPED_TRACE(path);
    LibraryHandle lib = libs.Load(path);
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(CallAnswer(lib), 42);
    libs.Free(lib);
  }
}

TEST_F(DynLibTest, ABareNameFindsAFileOfThatNameInTheCurrentDirectory) {
  testsupport::TempDir dir;
  fs::copy_file(bin + "/libtestdll.so", dir / "HERE.DLL");
  std::string cwd = PosixFileSystem().GetCurrentDirectory();
  ASSERT_TRUE(PosixFileSystem().SetCurrentDirectory(dir.path()));
  LibraryHandle lib = libs.Load("HERE.DLL");
  PosixFileSystem().SetCurrentDirectory(cwd);
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(CallAnswer(lib), 42);
  libs.Free(lib);
}

TEST_F(DynLibTest, MissingLibrariesAndNullHandlesGiveNull) {
  EXPECT_EQ(libs.Load("NOSUCHLIB.DLL"), nullptr);
  EXPECT_EQ(libs.Load(bin + "/NOSUCHLIB.DLL"), nullptr);
  testsupport::TempDir dir;
  testsupport::WriteTextFile(dir / "BROKEN.DLL", "not a shared object");
  EXPECT_EQ(libs.Load(dir / "BROKEN.DLL"), nullptr);
  EXPECT_EQ(libs.GetProcAddress(nullptr, "TestDllAnswer"), nullptr);
  libs.Free(nullptr);
}

}  // namespace
