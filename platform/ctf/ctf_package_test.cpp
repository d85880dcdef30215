#include "ctf/ctf_package.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "ctf/opc_exception.hpp"
#include "ctf/settings_manifest.hpp"
#include "fs/errors.hpp"
#include "util/text_conversion.hpp"

namespace {

namespace stdfs = std::filesystem;
using Ostrand::ctfpack::CTFPackage;
using Ostrand::ctfpack::CTFSettings;
using Ostrand::ctfpack::kSettingsManifestName;
using ::testing::HasSubstr;

class CtfPackageLocation : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/ctf_package.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = pattern;
    // A folder name outside ASCII, to see the wide location reach the right folder.
    folder = root / "Komponente_äöü";
    stdfs::create_directory(folder);
    settings.componentName = L"Komponente";
    settings.componentId = L"Komponente_fedcba9876543210fedcba9876543210";
    settings.componentBlobA = Ostrand::ctfdata::CTFByteArray(std::string("\0\1\2", 3));
    settings.publicFunctions = {{L"run"}};
    settings.outputNames = {L"y"};
  }
  void TearDown() override { stdfs::remove_all(root); }

  std::wstring location() const { return fl::i18n::to_ustring(folder.string()); }
  std::string manifestPath() const { return (folder / kSettingsManifestName).string(); }

  std::string expectOpcError(const std::wstring& where) {
    try {
      CTFPackage::getCTFSettingsFromExtractedCTFLocation(where);
    } catch (const opc::Exception& error) {
      return error.what();
    }
    ADD_FAILURE() << "no opc::Exception";
    return "";
  }

  stdfs::path root;
  stdfs::path folder;
  CTFSettings settings;
};

TEST_F(CtfPackageLocation, WrittenSettingsAreReadBackFromTheFolder) {
  CTFPackage::writeCTFSettingsToExtractedCTFLocation(location(), settings);
  EXPECT_TRUE(stdfs::is_regular_file(manifestPath()));
  EXPECT_TRUE(CTFPackage::getCTFSettingsFromExtractedCTFLocation(location()) == settings);
  // A trailing separator names the same folder.
  EXPECT_TRUE(CTFPackage::getCTFSettingsFromExtractedCTFLocation(location() + L"/") == settings);

  settings.startText = L"zweite Fassung";
  CTFPackage::writeCTFSettingsToExtractedCTFLocation(location(), settings);
  EXPECT_EQ(CTFPackage::getCTFSettingsFromExtractedCTFLocation(location()).startText,
            L"zweite Fassung");
  int entries = 0;
  for (const auto& entry : stdfs::directory_iterator(folder)) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 1) << "no temporary file is left beside the manifest";

  CTFSettings invalid = settings;
  invalid.componentId = L"../escape";
  EXPECT_THROW(CTFPackage::writeCTFSettingsToExtractedCTFLocation(location(), invalid),
               opc::Exception);
  EXPECT_EQ(CTFPackage::getCTFSettingsFromExtractedCTFLocation(location()).startText,
            L"zweite Fassung")
      << "a refused write leaves the manifest as it was";
}

TEST_F(CtfPackageLocation, AMissingFolderIsAFileServicesError) {
  EXPECT_THROW(CTFPackage::getCTFSettingsFromExtractedCTFLocation(location() + L"/missing"),
               dsNoSuchDirectory);
  EXPECT_THROW(CTFPackage::getCTFSettingsFromExtractedCTFLocation(L""), dsNoSuchDirectory);
  std::ofstream(root / "plain") << "not a folder";
  EXPECT_THROW(CTFPackage::getCTFSettingsFromExtractedCTFLocation(
                   fl::i18n::to_ustring((root / "plain").string())),
               dsNoSuchDirectory);
  EXPECT_THROW(
      CTFPackage::writeCTFSettingsToExtractedCTFLocation(location() + L"/missing", settings),
      dsNoSuchDirectory);
}

TEST_F(CtfPackageLocation, AnUnusableManifestIsAnArchiveError) {
  EXPECT_THAT(expectOpcError(location()), HasSubstr("no component settings manifest"));

  stdfs::create_directory(manifestPath());
  EXPECT_THAT(expectOpcError(location()), HasSubstr("not a regular file"));
  stdfs::remove(manifestPath());

  ASSERT_EQ(::mkfifo(manifestPath().c_str(), 0600), 0);
  EXPECT_THAT(expectOpcError(location()), HasSubstr("not a regular file"))
      << "a FIFO must neither block the reader nor be read";
  stdfs::remove(manifestPath());

  std::ofstream(manifestPath()) << "{\"manifestVersion\": 1";
  const std::string truncated = expectOpcError(location());
  EXPECT_THAT(truncated, HasSubstr("not valid JSON"));
  EXPECT_THAT(truncated, HasSubstr(manifestPath())) << "the message names the file";

  stdfs::resize_file(manifestPath(), Ostrand::ctfpack::kSettingsManifestMaxBytes + 1);
  EXPECT_THAT(expectOpcError(location()), HasSubstr("larger than"));

  if (::geteuid() != 0) {  // root reads whatever the mode says
    std::ofstream(manifestPath(), std::ios::trunc) << "{}";
    stdfs::permissions(manifestPath(), stdfs::perms::none);
    EXPECT_THAT(expectOpcError(location()), HasSubstr("cannot open"));
  }
}

}  // namespace
