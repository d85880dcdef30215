#include "fs/module_path.hpp"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "fs/file_name_encoding.hpp"

namespace {

std::string fileNameOf(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

TEST(FsModulePath, FindsALoadedLibraryByNameAndExports) {
  char out[dsMaxModulePath];
  const char* getpidName[] = {"getpid"};
  for (const char* name : {"libc.so.6", "libc.so", "c"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(dsGetLoadedModuleFullPath(out, name, getpidName, 1), out);
    EXPECT_EQ(out[0], '/');
    EXPECT_EQ(fileNameOf(out), "libc.so.6");
    EXPECT_TRUE(std::filesystem::exists(out));
  }

  // The C++ runtime is loaded and depends on the C library: getpid is reachable through it but
  // is not its own, so it does not count.
  EXPECT_EQ(dsGetLoadedModuleFullPath(out, "libstdc++.so", getpidName, 1), nullptr);
  const char* terminateName[] = {"_ZSt9terminatev", "getpid"};
  EXPECT_EQ(dsGetLoadedModuleFullPath(out, "libstdc++.so", terminateName, 2), nullptr);
  EXPECT_EQ(dsGetLoadedModuleFullPath(out, "libstdc++.so", terminateName, 1), out);
  EXPECT_EQ(fileNameOf(out).rfind("libstdc++.so.", 0), 0u);

  const char* missingName[] = {"no_such_function_anywhere"};
  EXPECT_EQ(dsGetLoadedModuleFullPath(out, "libc.so.6", missingName, 1), nullptr);
  EXPECT_EQ(dsGetLoadedModuleFullPath(out, "libnotloaded.so", nullptr, 0), nullptr);
  EXPECT_EQ(dsGetLoadedModuleFullPath(out, "libc.so.6", nullptr, 1), nullptr);
}

TEST(FsModulePath, CurrentModuleIsTheExecutableOrTheObjectHoldingTheAddress) {
  std::wstring executable;
  ASSERT_TRUE(dsGetCurrentModulePath(nullptr, executable));
  EXPECT_EQ(std::filesystem::path(executable).filename(), "fs_test");
  EXPECT_TRUE(std::filesystem::exists(executable));

  std::wstring fromAddress;
  ASSERT_TRUE(dsGetCurrentModulePath(reinterpret_cast<void*>(&fileNameOf), fromAddress));
  EXPECT_EQ(fromAddress, executable);

  void* libc = ::dlopen("libc.so.6", RTLD_LAZY | RTLD_NOLOAD);
  ASSERT_NE(libc, nullptr);
  void* getpidAddress = ::dlsym(libc, "getpid");
  ::dlclose(libc);
  std::wstring libraryPath;
  ASSERT_TRUE(dsGetCurrentModulePath(getpidAddress, libraryPath));
  EXPECT_EQ(std::filesystem::path(libraryPath).filename(), "libc.so.6");

  std::wstring untouched = L"unchanged";
  int onTheStack = 0;
  EXPECT_FALSE(dsGetCurrentModulePath(&onTheStack, untouched));
  EXPECT_EQ(untouched, L"unchanged");
}

TEST(FsModulePath, FileNamesWidenFromUtf8AndKeepStrayBytes) {
  EXPECT_EQ(fsdetail::widenFileName("/opt/caf\xC3\xA9/\xE2\x82\xAC/\xF0\x9F\x98\x80"),
            L"/opt/caf\u00E9/\u20AC/\U0001F600");
  // Latin-1 "\xE9" alone, a cut sequence and an overlong "/" are not UTF-8.
  EXPECT_EQ(fsdetail::widenFileName("a\xE9z"), std::wstring(L"a") + wchar_t(0xDCE9) + L"z");
  EXPECT_EQ(fsdetail::widenFileName("\xE2\x82"), (std::wstring{wchar_t(0xDCE2), wchar_t(0xDC82)}));
  EXPECT_EQ(fsdetail::widenFileName("\xC0\xAF"), (std::wstring{wchar_t(0xDCC0), wchar_t(0xDCAF)}));
}

}  // namespace
