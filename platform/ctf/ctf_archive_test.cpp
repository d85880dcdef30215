// Component archives on disk: written and read back (also when appended to other bytes), and
// unpacked, with hostile archives refused before anything lands outside the target folder.

#include "ctf/ctf_archive.hpp"
#include "ctf/ctf_runtime.hpp"

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ctf/ctf_package.hpp"
#include "ctf/opc_exception.hpp"
#include "util/test_files.hpp"

namespace {

namespace stdfs = std::filesystem;
using Ostrand::ctfdata::CTFFileReaderFactory;
using Ostrand::ctfpack::CTFOpenRead;
using Ostrand::ctfpack::CTFPackage;
using Ostrand::ctfpack::CTFSettings;

using rtkutil::testing::contentsOf;
using rtkutil::testing::writeFile;

CTFSettings sampleSettings() {
  CTFSettings settings;
  settings.componentName = L"adder";
  settings.componentId = L"adder_0123456789abcdef0123456789ABCDEF";
  settings.mainFunction = L"adder";
  settings.searchPath = {L"$ctfroot/adder_0123456789abcdef0123456789ABCDEF/lib"};
  settings.publicFunctions = {{L"adder"}};
  return settings;
}

// One entry of a hand-made archive.
struct RawEntry {
  std::string name;
  mode_t type = AE_IFREG;
  std::string data;       // file contents
  std::string link = {};  // symbolic link target
};

// A ZIP archive made entry by entry, as a hostile packer could make it.
void writeRawZip(const stdfs::path& file, const std::vector<RawEntry>& entries,
                 const char* options = nullptr) {
  archive* writer = archive_write_new();
  ASSERT_EQ(archive_write_set_format_zip(writer), ARCHIVE_OK);
  if (options) {
    ASSERT_EQ(archive_write_set_options(writer, options), ARCHIVE_OK);
  }
  ASSERT_EQ(archive_write_open_filename(writer, file.c_str()), ARCHIVE_OK);
  for (const RawEntry& raw : entries) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, raw.name.c_str());
    archive_entry_set_filetype(entry, raw.type);
    archive_entry_set_perm(entry, 0644);
    if (!raw.link.empty()) archive_entry_set_symlink(entry, raw.link.c_str());
    if (raw.type == AE_IFREG)
      archive_entry_set_size(entry, static_cast<la_int64_t>(raw.data.size()));
    ASSERT_EQ(archive_write_header(writer, entry), ARCHIVE_OK) << archive_error_string(writer);
    if (!raw.data.empty()) archive_write_data(writer, raw.data.data(), raw.data.size());
    archive_entry_free(entry);
  }
  ASSERT_EQ(archive_write_close(writer), ARCHIVE_OK);
  archive_write_free(writer);
}

class CtfArchive : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = stdfs::temp_directory_path() /
            ("ctf_archive_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    stdfs::remove_all(root_);
    stdfs::create_directories(root_);
  }
  void TearDown() override { stdfs::remove_all(root_); }

  // A component folder with nested files, a link and an executable.
  stdfs::path makeComponentFolder() {
    const stdfs::path folder = root_ / "source";
    writeFile(folder / "adder.q", "function s = adder(a, b)\ns = a + b;\n");
    writeFile(folder / "lib" / "helper.q", "function h = helper()\nh = 1;\n");
    writeFile(folder / "bin" / "tool", std::string("\0\1\2binary", 9));
    stdfs::permissions(folder / "bin" / "tool", stdfs::perms::owner_all);
    stdfs::create_symlink("lib/helper.q", folder / "alias.q");
    stdfs::create_directories(folder / "empty");
    return folder;
  }

  // Expects that unpacking archive fails naming what, and that nothing appeared beside the
  // target folder.
  void expectRefused(const stdfs::path& archive, const std::string& what) {
    const stdfs::path target = root_ / "jail" / "target";
    try {
      Ostrand::ctfpack::extractArchive(archive.string(), target.string());
      ADD_FAILURE() << "unpacked although " << what;
    } catch (const opc::Exception& error) {
      EXPECT_NE(std::string(error.what()).find(what), std::string::npos) << error.what();
    }
    for (const auto& entry : stdfs::directory_iterator(root_ / "jail")) {
      EXPECT_EQ(entry.path().filename(), "target") << "written outside: " << entry.path();
    }
  }

  stdfs::path root_;
};

TEST_F(CtfArchive, WrittenArchiveReadsBackAndUnpacksCompletely) {
  const stdfs::path folder = makeComponentFolder();
  const stdfs::path archive = root_ / "adder.ctf";
  const CTFSettings settings = sampleSettings();
  Ostrand::ctfpack::writeArchive(archive.string(), settings, folder.string(), "");

  CTFPackage package(archive.wstring(), CTFFileReaderFactory());
  EXPECT_THROW(package.getCTFSettings(), opc::Exception);  // not open yet
  package.open(CTFOpenRead);
  EXPECT_EQ(package.getCTFSettings(), settings);
  package.close();
  EXPECT_THROW(package.getCTFSettings(), opc::Exception);
  package.open(CTFOpenRead);  // a closed package opens again
  EXPECT_EQ(package.getCTFSettings().componentId, settings.componentId);
  EXPECT_EQ(CTFFileReaderFactory().locate(archive.string()).offset, 0u);

  const stdfs::path target = root_ / "unpacked" / "deep";
  // manifest, .sorvel/, the component folder and the 7 entries below it
  EXPECT_EQ(Ostrand::ctfpack::extractArchive(archive.string(), target.string()), 10u);
  const stdfs::path files = target / "adder_0123456789abcdef0123456789ABCDEF";
  EXPECT_EQ(contentsOf(files / "adder.q"), contentsOf(folder / "adder.q"));
  EXPECT_EQ(contentsOf(files / "lib" / "helper.q"), contentsOf(folder / "lib" / "helper.q"));
  EXPECT_EQ(contentsOf(files / "bin" / "tool"), std::string("\0\1\2binary", 9));
  EXPECT_NE(stdfs::status(files / "bin" / "tool").permissions() & stdfs::perms::owner_exec,
            stdfs::perms::none);
  EXPECT_TRUE(stdfs::is_symlink(files / "alias.q"));
  EXPECT_EQ(stdfs::read_symlink(files / "alias.q"), "lib/helper.q");
  EXPECT_TRUE(stdfs::is_directory(files / "empty"));
  EXPECT_TRUE(stdfs::is_directory(target / ".sorvel"));
  EXPECT_EQ(CTFPackage::getCTFSettingsFromExtractedCTFLocation(target.wstring()), settings);
  // The runtime's unpack call reports why it failed through the error sink and keeps the reason
  // for the caller; a success forgets it.
  std::string reported;
  set_ctfrt_error_handler([&](const char* text) {
    reported += text;
    return 0;
  });
  EXPECT_FALSE(ctfruntimeExtractCtf((root_ / "missing.ctf").wstring(), (root_ / "x").wstring()));
  EXPECT_NE(ctfruntimeLastError().find("missing.ctf"), std::string::npos);
  EXPECT_EQ(reported, ctfruntimeLastError() + "\n");
  EXPECT_TRUE(ctfruntimeExtractCtf(archive.wstring(), (root_ / "again").wstring()));
  EXPECT_EQ(ctfruntimeLastError(), "");
  set_ctfrt_error_handler(CtfrtHandler());
}

TEST_F(CtfArchive, ArchiveAppendedToOtherBytesIsFound) {
  const stdfs::path archive = root_ / "adder.ctf";
  const stdfs::path preferences = root_ / "prefs";
  writeFile(preferences / "startup.q", "% shipped preferences\n");
  Ostrand::ctfpack::writeArchive(archive.string(), sampleSettings(), makeComponentFolder().string(),
                                 preferences.string());
  // An executable with the archive appended, as the packer makes standalone applications; the
  // prefix holds a decoy end record to show that the last one counts.
  const std::string prefix =
      "\x7f"
      "ELF launcher bytes PK\x05\x06 decoy" +
      std::string(5000, 'x');
  const stdfs::path program = root_ / "adder";
  writeFile(program, prefix + contentsOf(archive));

  const auto span = CTFFileReaderFactory().locate(program.string());
  EXPECT_EQ(span.offset, prefix.size());
  EXPECT_EQ(span.size, stdfs::file_size(archive));
  CTFPackage package(program.wstring(), CTFFileReaderFactory());
  package.open(CTFOpenRead);
  EXPECT_EQ(package.getCTFSettings(), sampleSettings());
  const stdfs::path target = root_ / "unpacked";
  Ostrand::ctfpack::extractArchive(program.string(), target.string());
  EXPECT_EQ(contentsOf(target / ".sorvel" / "startup.q"), "% shipped preferences\n");

  // Forced ZIP64 records are followed the same way.
  writeRawZip(archive, {{"ctfsettings.json", AE_IFREG, "{}"}}, "zip:zip64");
  writeFile(program, prefix + contentsOf(archive));
  EXPECT_EQ(CTFFileReaderFactory().locate(program.string()).offset, prefix.size());
  EXPECT_EQ(Ostrand::ctfpack::readArchiveManifest(program.string(), CTFFileReaderFactory()), "{}");
}

TEST_F(CtfArchive, FilesThatAreNoUsableArchiveAreReportedByName) {
  const auto messageFor = [&](const stdfs::path& file) -> std::string {
    try {
      CTFPackage package(file.wstring(), CTFFileReaderFactory());
      package.open(CTFOpenRead);
    } catch (const opc::Exception& error) {
      EXPECT_NE(std::string(error.what()).find(file.string()), std::string::npos);
      return error.what();
    }
    return "opened";
  };
  writeFile(root_ / "empty.ctf", "");
  EXPECT_NE(messageFor(root_ / "empty.ctf").find("too short"), std::string::npos);
  writeFile(root_ / "text.ctf", std::string(100000, 'a'));
  EXPECT_NE(messageFor(root_ / "text.ctf").find("no ZIP archive"), std::string::npos);
  EXPECT_NE(messageFor(root_).find("not a regular file"), std::string::npos);
  EXPECT_NE(messageFor(root_ / "missing.ctf").find("cannot open"), std::string::npos);
  writeRawZip(root_ / "bare.ctf", {{"readme.txt", AE_IFREG, "no manifest here"}});
  EXPECT_NE(messageFor(root_ / "bare.ctf").find("no settings manifest"), std::string::npos);
  writeRawZip(root_ / "bad.ctf", {{"ctfsettings.json", AE_IFREG, "not json"}});
  EXPECT_NE(messageFor(root_ / "bad.ctf"), "opened");
  // The end record says the central directory starts before the file does.
  std::string broken = contentsOf(root_ / "bare.ctf");
  broken[broken.size() - 22 + 16] = '\xff';
  broken[broken.size() - 22 + 17] = '\xff';
  writeFile(root_ / "broken.ctf", broken);
  EXPECT_NE(messageFor(root_ / "broken.ctf").find("outside the file"), std::string::npos);
}

TEST_F(CtfArchive, HostileEntriesAreRefusedBeforeLeavingTheFolder) {
  stdfs::create_directories(root_ / "jail");
  const stdfs::path archive = root_ / "hostile.ctf";
  const std::vector<std::pair<RawEntry, std::string>> cases = {
      {{"../escaped.txt", AE_IFREG, "x"}, "outside the folder"},
      {{"inner/../../escaped.txt", AE_IFREG, "x"}, "outside the folder"},
      {{"/tmp/absolute.txt", AE_IFREG, "x"}, "outside the folder"},
      {{"up", AE_IFLNK, "", "../.."}, "points outside"},
      {{"a/b/up", AE_IFLNK, "", "../../../escaped"}, "points outside"},
      {{"abs", AE_IFLNK, "", "/etc"}, "points outside"},
  };
  for (const auto& [entry, what] : cases) {
    SCOPED_TRACE(entry.name);
    writeRawZip(archive, {{"fine.txt", AE_IFREG, "fine"}, entry});
    expectRefused(archive, what);
  }
  // A link that stays inside is kept, also through "..".
  writeRawZip(archive, {{"a/file", AE_IFREG, "data"}, {"b/link", AE_IFLNK, "", "../a/file"}});
  const stdfs::path target = root_ / "jail" / "inside";
  Ostrand::ctfpack::extractArchive(archive.string(), target.string());
  EXPECT_EQ(contentsOf(target / "b" / "link"), "data");
  // Entries are never written through a link the archive planted earlier, even one that
  // points inside: such a link could be made to point anywhere by a later entry.
  writeRawZip(archive, {{"sub", AE_IFLNK, "", "."}, {"sub/x", AE_IFREG, "x"}});
  EXPECT_THROW(
      Ostrand::ctfpack::extractArchive(archive.string(), (root_ / "jail" / "planted").string()),
      opc::Exception);
}

}  // namespace
