// Component archives on disk: written and read back (also when appended to other bytes), and
// unpacked, with hostile archives refused before anything lands outside the target folder.

#include "ctf/ctf_archive.hpp"

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "ctf/ctf_package.hpp"
#include "ctf/ctf_runtime.hpp"
#include "ctf/file_helpers.hpp"
#include "ctf/opc_exception.hpp"
#include "ctf/settings_manifest.hpp"
#include "ctf/zip_directory.hpp"
#include "fs/test_support.hpp"
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
  std::string data = {};  // file contents
  std::string link = {};  // symbolic link target
  mode_t perm = 0644;
};

// A ZIP archive made entry by entry, as a hostile packer could make it.
void writeRawZip(const stdfs::path& file, const std::vector<RawEntry>& entries,
                 const char* options = nullptr) {
  archive* writer = archive_write_new();
  ASSERT_EQ(archive_write_set_format_zip(writer), ARCHIVE_OK);
  if (options) {
    ASSERT_EQ(archive_write_set_options(writer, options), ARCHIVE_OK);
  }
  ASSERT_EQ(archive_write_set_passphrase(writer, "passphrase"), ARCHIVE_OK);  // for encryption
  ASSERT_EQ(archive_write_open_filename(writer, file.c_str()), ARCHIVE_OK);
  for (const RawEntry& raw : entries) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, raw.name.c_str());
    archive_entry_set_filetype(entry, raw.type);
    archive_entry_set_perm(entry, raw.perm);
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

// A ZIP archive written byte by byte (stored entries, Unix modes), for what libarchive's writer
// will not make: records that share a local header, local headers that contradict the central
// directory, sizes that lie.
struct HandEntry {
  std::string name;
  std::string data;
  unsigned mode = S_IFREG | 0644;
  std::string localName = {};      // the local header's name, when not the record's
  std::int64_t declaredSize = -1;  // the unpacked size in both headers, when not data's
  std::int64_t localSize = -1;     // the local header's unpacked size, when not declaredSize
  int localOf = -1;                // >= 0: the record points into that entry's local header
  std::uint32_t localShift = 0;    // ... this many bytes after its start
  std::string centralExtra = {};   // the central record's extra field
};

std::uint32_t crc32Of(const std::string& bytes) {
  std::uint32_t crc = 0xffffffff;
  for (const unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320 & (0u - (crc & 1)));
  }
  return ~crc;
}

void put16(std::string& out, unsigned value) {
  out += static_cast<char>(value & 0xff);
  out += static_cast<char>((value >> 8) & 0xff);
}
void put32(std::string& out, std::uint32_t value) {
  put16(out, value & 0xffff);
  put16(out, value >> 16);
}

// A local header and the data after it.
std::string localHeader(const std::string& name, const std::string& data, std::uint32_t size) {
  std::string out;
  put32(out, 0x04034b50);
  put16(out, 20);    // version needed
  put16(out, 0);     // flags
  put16(out, 0);     // stored
  put16(out, 0);     // time
  put16(out, 0x21);  // date: 1980-01-01
  put32(out, crc32Of(data));
  put32(out, static_cast<std::uint32_t>(data.size()));
  put32(out, size);
  put16(out, static_cast<unsigned>(name.size()));
  put16(out, 0);
  return out + name + data;
}

std::string handZip(const std::vector<HandEntry>& entries) {
  std::string out;
  std::vector<std::uint32_t> offsets;
  const auto sizeOf = [](const HandEntry& entry) {
    return static_cast<std::uint32_t>(entry.declaredSize >= 0 ? entry.declaredSize
                                                              : entry.data.size());
  };
  for (const HandEntry& entry : entries) {
    offsets.push_back(static_cast<std::uint32_t>(out.size()));
    if (entry.localOf >= 0) continue;
    out += localHeader(
        entry.localName.empty() ? entry.name : entry.localName, entry.data,
        entry.localSize >= 0 ? static_cast<std::uint32_t>(entry.localSize) : sizeOf(entry));
  }
  const std::uint32_t directory = static_cast<std::uint32_t>(out.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const HandEntry& entry = entries[i];
    put32(out, 0x02014b50);
    put16(out, 0x031e);  // made on Unix
    put16(out, 20);
    put16(out, 0);
    put16(out, 0);
    put16(out, 0);
    put16(out, 0x21);
    put32(out, crc32Of(entry.data));
    put32(out, static_cast<std::uint32_t>(entry.data.size()));
    put32(out, sizeOf(entry));
    put16(out, static_cast<unsigned>(entry.name.size()));
    put16(out, static_cast<unsigned>(entry.centralExtra.size()));
    put16(out, 0);  // comment
    put16(out, 0);  // disk
    put16(out, 0);  // internal attributes
    put32(out, static_cast<std::uint32_t>(entry.mode) << 16);
    put32(out, entry.localOf >= 0 ? offsets[entry.localOf] + entry.localShift : offsets[i]);
    out += entry.name + entry.centralExtra;
  }
  const std::uint32_t directorySize = static_cast<std::uint32_t>(out.size()) - directory;
  put32(out, 0x06054b50);
  put32(out, 0);
  put16(out, static_cast<unsigned>(entries.size()));
  put16(out, static_cast<unsigned>(entries.size()));
  put32(out, directorySize);
  put32(out, directory);
  put16(out, 0);
  return out;
}

// Sets an environment variable for the life of the object.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() { ::unsetenv(name_); }

 private:
  const char* name_;
};

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

  // Expects that unpacking archive fails with a message holding every fragment of expected
  // (what was wrong and where), and that nothing beside the target folder changed: the canary
  // folder holds its one file, as it was.
  // prepare, when given, puts things into the target folder first.
  void expectRefused(const stdfs::path& archive, const std::vector<std::string>& expected,
                     const std::function<void(const stdfs::path&)>& prepare = {}) {
    const stdfs::path jail = root_ / "jail";
    stdfs::remove_all(jail);
    writeFile(jail / "canary" / "bashrc", "canary");
    const stdfs::path target = jail / "target";
    if (prepare) prepare(target);
    try {
      Ostrand::ctfpack::extractArchive(archive.string(), target.string());
      ADD_FAILURE() << "unpacked although " << expected.front();
    } catch (const opc::Exception& error) {
      EXPECT_NE(std::string(error.what()).find(archive.string()), std::string::npos)
          << error.what();
      for (const std::string& fragment : expected) {
        EXPECT_NE(std::string(error.what()).find(fragment), std::string::npos) << error.what();
      }
    }
    for (const auto& entry : stdfs::directory_iterator(jail)) {
      EXPECT_TRUE(entry.path().filename() == "target" || entry.path().filename() == "canary")
          << "written outside: " << entry.path();
    }
    EXPECT_EQ(std::distance(stdfs::directory_iterator(jail / "canary"), {}), 1);
    EXPECT_EQ(contentsOf(jail / "canary" / "bashrc"), "canary");
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
  const auto secondOf = [](const stdfs::path& file) {
    struct stat status {};
    ::lstat(file.c_str(), &status);
    return status.st_mtime;  // what the archive keeps
  };
  EXPECT_EQ(secondOf(files / "lib" / "helper.q"), secondOf(folder / "lib" / "helper.q"));
  EXPECT_EQ(secondOf(files / "lib"), secondOf(folder / "lib"));
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
  EXPECT_EQ(ctfruntimeLastUnpack((root_ / "x").wstring()), nullptr);
  const stdfs::path again = root_ / "again";
  EXPECT_TRUE(ctfruntimeExtractCtf(archive.wstring(), again.wstring()));
  EXPECT_EQ(ctfruntimeLastError(), "");
  set_ctfrt_error_handler(CtfrtHandler());

  // What the unpack says it made is what the folder holds, each entry as it stands on disk.
  EXPECT_EQ(ctfruntimeLastUnpack(target.wstring()), nullptr) << "only the last unpack is kept";
  const auto* made = ctfruntimeLastUnpack(again.wstring());
  ASSERT_NE(made, nullptr);
  std::set<std::string> onDisk, listed;
  for (const auto& item : stdfs::recursive_directory_iterator(again)) {
    onDisk.insert(item.path().lexically_relative(again).string());
  }
  using Kind = Ostrand::ctfpack::UnpackedEntry::Kind;
  for (const Ostrand::ctfpack::UnpackedEntry& entry : *made) {
    listed.insert(entry.name);
    const stdfs::path path = again / entry.name;
    struct stat status {};
    ASSERT_EQ(::lstat(path.c_str(), &status), 0) << entry.name;
    EXPECT_EQ(entry.kind == Kind::folder, S_ISDIR(status.st_mode)) << entry.name;
    EXPECT_EQ(entry.kind == Kind::link, S_ISLNK(status.st_mode)) << entry.name;
    if (entry.kind == Kind::folder) continue;
    EXPECT_EQ(entry.size, static_cast<std::uint64_t>(status.st_size)) << entry.name;
    EXPECT_EQ(entry.changeSeconds, status.st_ctim.tv_sec) << entry.name;
    EXPECT_EQ(entry.changeNanoseconds, status.st_ctim.tv_nsec) << entry.name;
    const std::string bytes =
        entry.kind == Kind::link ? stdfs::read_symlink(path).string() : contentsOf(path);
    EXPECT_EQ(entry.contentHash, XXH3_64bits(bytes.data(), bytes.size())) << entry.name;
  }
  EXPECT_EQ(listed, onDisk);
  EXPECT_EQ(listed.size(), made->size()) << "each entry once";
  EXPECT_TRUE(ctfruntimeTakeLastUnpack(again.wstring()));
  EXPECT_FALSE(ctfruntimeTakeLastUnpack(again.wstring())) << "taken, nothing is kept";
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
  writeRawZip(root_ / "huge.ctf",
              {{"ctfsettings.json", AE_IFREG,
                std::string(Ostrand::ctfpack::kSettingsManifestMaxBytes + 1, ' ')}});
  EXPECT_NE(messageFor(root_ / "huge.ctf").find("larger than"), std::string::npos);
  // Bytes after the end record: that record no longer ends the file, so no archive is found.
  writeFile(root_ / "trailing.ctf", contentsOf(root_ / "bare.ctf") + "garbage");
  EXPECT_NE(messageFor(root_ / "trailing.ctf").find("no ZIP archive"), std::string::npos);
  writeRawZip(root_ / "bad.ctf", {{"ctfsettings.json", AE_IFREG, "not json"}});
  EXPECT_NE(messageFor(root_ / "bad.ctf"), "opened");
  // The end record says the central directory starts before the file does.
  std::string broken = contentsOf(root_ / "bare.ctf");
  broken[broken.size() - 22 + 16] = '\xff';
  broken[broken.size() - 22 + 17] = '\xff';
  writeFile(root_ / "broken.ctf", broken);
  EXPECT_NE(messageFor(root_ / "broken.ctf").find("outside the file"), std::string::npos);
}

// The manifest of a usual archive is read without libarchive (a start from the cache then loads
// none of it); wherever libarchive might see something else, it reads the manifest as before.
TEST_F(CtfArchive, ManifestIsReadWithoutLibarchiveOnlyWhereBothReadTheSame) {
  namespace detail = Ostrand::ctfpack::detail;
  const stdfs::path archive = root_ / "manifest.ctf";
  // What zip_directory's own reader makes of the manifest; nothing when it leaves it alone.
  const auto readSimply = [&]() -> std::optional<std::string> {
    std::uint64_t size = 0;
    const detail::Descriptor file(detail::openRegularFile(archive.string(), size));
    const detail::ZipLayout layout = detail::locateZip(file.get(), size, archive.string());
    for (const detail::ZipRecord& record :
         detail::readZipDirectory(file.get(), layout, archive.string(), 100)) {
      if (record.storedName != Ostrand::ctfpack::kSettingsManifestName) continue;
      return detail::readSimpleEntry(file.get(), layout, record,
                                     Ostrand::ctfpack::kSettingsManifestMaxBytes);
    }
    return std::nullopt;
  };
  const auto manifest = [&] {
    return Ostrand::ctfpack::readArchiveManifest(archive.string(), CTFFileReaderFactory());
  };
  const std::string text =
      "{\"manifestVersion\": 1, \"padding\": \"" + std::string(3000, 'x') + "\"}";
  const std::string name = Ostrand::ctfpack::kSettingsManifestName;
  // Deflated, as libarchive writes it by default, and stored.
  for (const char* options : {"", "zip:compression=store"}) {
    SCOPED_TRACE(options);
    writeRawZip(archive, {{name, AE_IFREG, text}, {"a/b.q", AE_IFREG, "1"}}, options);
    EXPECT_EQ(readSimply(), text);
    EXPECT_EQ(manifest(), text);
  }
  // No Unix mode, or a second name that libarchive may report instead: left to libarchive.
  writeFile(archive, handZip({{name, text, 0}}));
  EXPECT_EQ(readSimply(), std::nullopt);
  EXPECT_EQ(manifest(), text);
  std::string unicodePath("\x75\x70\x05\x00\x01\x00\x00\x00\x00", 9);
  writeFile(archive, handZip({{name, text, S_IFREG | 0644, "", -1, -1, -1, 0, unicodePath}}));
  EXPECT_EQ(readSimply(), std::nullopt);
  // Damaged data (the CRC no longer matches): left to libarchive, which reports it.
  std::string damaged = handZip({{name, text}});
  writeFile(archive, damaged);
  EXPECT_EQ(readSimply(), text);
  damaged[damaged.find("xxxx")] = 'y';
  writeFile(archive, damaged);
  EXPECT_EQ(readSimply(), std::nullopt);
  EXPECT_THROW(manifest(), opc::Exception);
}

TEST_F(CtfArchive, HostileEntriesAreRefusedBeforeLeavingTheFolder) {
  const stdfs::path archive = root_ / "hostile.ctf";
  const std::vector<std::pair<RawEntry, std::vector<std::string>>> cases = {
      {{"../escaped.txt", AE_IFREG, "x"}, {"\"../escaped.txt\"", "outside the folder"}},
      {{"inner/../../escaped.txt", AE_IFREG, "x"}, {"inner/../../escaped.txt", "outside"}},
      {{"/tmp/absolute.txt", AE_IFREG, "x"}, {"\"/tmp/absolute.txt\"", "outside the folder"}},
      {{"..\\escaped.txt", AE_IFREG, "x"}, {"escaped.txt\"", "backslash"}},
      {{"up", AE_IFLNK, "", "../.."}, {"link \"up\"", "points outside"}},
      {{"a/b/up", AE_IFLNK, "", "../../../escaped"}, {"link \"a/b/up\"", "points outside"}},
      {{"abs", AE_IFLNK, "", "/etc"}, {"link \"abs\"", "points outside"}},
  };
  for (const auto& [entry, expected] : cases) {
    SCOPED_TRACE(entry.name);
    writeRawZip(archive, {{"fine.txt", AE_IFREG, "fine"}, entry});
    expectRefused(archive, expected);
  }
  // libarchive will not write pipes and devices; a hand-made archive can hold them.
  for (const unsigned type : {S_IFIFO, S_IFCHR, S_IFBLK, S_IFSOCK}) {
    writeFile(archive, handZip({{"fine.txt", "fine"}, {"special", "", type | 0644}}));
    expectRefused(archive, {"\"special\"", "not a file, folder or link"});
  }
  // Encrypted entries are refused by name before anything is unpacked.
  writeRawZip(archive, {{"fine.txt", AE_IFREG, "fine"}, {"secret.txt", AE_IFREG, "secret"}},
              "zip:encryption=zipcrypt");
  expectRefused(archive, {"\"fine.txt\" is encrypted"});
  // A truncated archive.
  writeRawZip(archive, {{"fine.txt", AE_IFREG, std::string(5000, 'f')}});
  const std::string whole = contentsOf(archive);
  writeFile(archive, whole.substr(0, whole.size() / 2));
  expectRefused(archive, {"no ZIP archive"});
  // A link that stays inside is kept, also through "..".
  writeRawZip(archive, {{"a/file", AE_IFREG, "data"}, {"b/link", AE_IFLNK, "", "../a/file"}});
  const stdfs::path target = root_ / "jail" / "inside";
  Ostrand::ctfpack::extractArchive(archive.string(), target.string());
  EXPECT_EQ(contentsOf(target / "b" / "link"), "data");
}

TEST_F(CtfArchive, ChainedLinksCannotLeadOutOfTheFolder) {
  const stdfs::path archive = root_ / "links.ctf";
  const RawEntry folderU{"u/", AE_IFDIR};
  const RawEntry up{"u/up", AE_IFLNK, "", ".."};
  const struct Case {
    std::vector<RawEntry> entries;
    std::vector<std::string> expected;
  } cases[] = {
      // The attack as found: judged by its own text, each link stays inside.
      {{folderU, up, {"x", AE_IFLNK, "", "u/up/u/up/../../../home/user/.bashrc"}},
       {"link \"x\"", "points outside the folder once link \"u/up\" is followed"}},
      {{folderU, up, {"x", AE_IFLNK, "", "u/up/u/up/../canary/bashrc"}},
       {"link \"x\"", "points outside"}},
      // Sideways: r/t leads to p, one level up, so r/t/../.. climbs out.
      {{{"p/", AE_IFDIR}, {"r/t", AE_IFLNK, "", "../p"}, {"x", AE_IFLNK, "", "r/t/../.."}},
       {"link \"x\"", "once link \"r/t\" is followed"}},
      {{{"a", AE_IFLNK, "", "b"}, {"b", AE_IFLNK, "", "a"}}, {"link \"a\"", "loop of links"}},
      {{{"x", AE_IFLNK, "", "missing"}}, {"link \"x\"", "\"missing\", which the archive does not"}},
      {{{"f", AE_IFREG, "data"}, {"x", AE_IFLNK, "", "f/../.."}},
       {"link \"x\"", "leads through file \"f\""}},
      // Nothing is unpacked through a link, even one pointing inside, whichever comes first.
      {{{"sub", AE_IFLNK, "", "."}, {"sub/x", AE_IFREG, "x"}},
       {"entry \"sub/x\" lies below link \"sub\""}},
      {{{"sub/x", AE_IFREG, "x"}, {"sub", AE_IFLNK, "", "."}},
       {"entry \"sub/x\" lies below link \"sub\""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected.front());
    writeRawZip(archive, c.entries);
    expectRefused(archive, c.expected);
  }
  // Chains that stay inside are kept, also when a link comes before what it names.
  writeRawZip(archive, {{"l2", AE_IFLNK, "", "l1/h.q"},
                        {"l1", AE_IFLNK, "", "lib"},
                        {"lib/h.q", AE_IFREG, "h"},
                        {"lib/top", AE_IFLNK, "", "../l1/.."}});
  const stdfs::path target = root_ / "kept";
  EXPECT_EQ(Ostrand::ctfpack::extractArchive(archive.string(), target.string()), 4u);
  EXPECT_EQ(contentsOf(target / "l2"), "h");
  EXPECT_EQ(stdfs::canonical(target / "lib" / "top"), stdfs::canonical(target));
}

TEST_F(CtfArchive, NamesTheRuntimeKeepsDuplicatesAndSecondManifestsAreRefused) {
  const stdfs::path archive = root_ / "names.ctf";
  const struct Case {
    std::vector<RawEntry> entries;
    std::vector<std::string> expected;
  } cases[] = {
      {{{".created.ts", AE_IFREG, ""}}, {"entry \".created.ts\"", "keeps for its own files"}},
      {{{"sub/.bytes_used", AE_IFREG, "1"}}, {"entry \"sub/.bytes_used\"", "keeps"}},
      {{{".kvn_cache_index", AE_IFREG, ""}}, {"\".kvn_cache_index\"", "keeps"}},
      {{{".kvnfuture/", AE_IFDIR}}, {"\".kvnfuture/\"", "keeps"}},
      {{{".max_size.new.12.3", AE_IFREG, "1"}}, {"\".max_size.new.12.3\"", "keeps"}},
      {{{"a/.dirlock", AE_IFREG, ""}}, {"\"a/.dirlock\"", "keeps"}},
      {{{".target.rwlock", AE_IFREG, ""}}, {"\".target.rwlock\"", "keeps"}},
      {{{".target.unpacking/x", AE_IFREG, ""}},
       {"entry \".target.unpacking/x\": \".target.unpacking\"", "keeps"}},
      {{{"ctfsettings.json", AE_IFREG, "{}"}, {"./ctfsettings.json", AE_IFREG, "{}"}},
       {"entry \"./ctfsettings.json\" is a second settings manifest"}},
      {{{"a/b", AE_IFREG, "1"}, {"a//b", AE_IFREG, "2"}},
       {"entry \"a//b\" has the same name as entry \"a/b\""}},
      {{{"d/", AE_IFDIR}, {"d", AE_IFREG, "x"}}, {"entry \"d\" has the same name as entry \"d/\""}},
      {{{"d/x", AE_IFREG, "x"}, {"d", AE_IFREG, "x"}}, {"entry \"d/x\" lies below file \"d\""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected.front());
    writeRawZip(archive, c.entries);
    expectRefused(archive, c.expected);
  }
  // Reading the settings alone refuses a second manifest too: it may not be the one unpacked.
  writeRawZip(archive,
              {{"ctfsettings.json", AE_IFREG, "{}"}, {"ctfsettings.json", AE_IFREG, "[]"}});
  try {
    Ostrand::ctfpack::readArchiveManifest(archive.string(), CTFFileReaderFactory());
    ADD_FAILURE() << "read a manifest of two";
  } catch (const opc::Exception& error) {
    EXPECT_NE(std::string(error.what()).find("second settings manifest"), std::string::npos);
  }
}

TEST_F(CtfArchive, OverlappingEntriesAndHeadersThatDisagreeAreRefused) {
  const stdfs::path archive = root_ / "overlap.ctf";
  const std::string payload(1000, 'p');
  // Entry "outer" carries a whole local header of "inner" inside its data.
  const std::string hidden = "xx" + localHeader("inner", payload, 1000);
  const std::uint32_t hiddenAt = 30 + 5 + 2;
  const struct Case {
    std::vector<HandEntry> entries;
    std::vector<std::string> expected;
  } cases[] = {
      {{{"a.txt", payload}, {"b.txt", payload, S_IFREG | 0644, "", -1, -1, 0}},
       {"entry \"b.txt\" overlaps entry \"a.txt\"", "same local header"}},
      {{{"outer", hidden}, {"inner", payload, S_IFREG | 0644, "", -1, -1, 0, hiddenAt}},
       {"entry \"inner\" overlaps entry \"outer\"", "inside the other's data"}},
      {{{"ctfsettings.json", "{}", S_IFREG | 0644, "innocent.json"}},
       {"entry \"ctfsettings.json\": its local header names \"innocent.json\""}},
      {{{"sizes.txt", payload, S_IFREG | 0644, "", -1, 10}},
       {"entry \"sizes.txt\": its local header gives other sizes"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected.front());
    writeFile(archive, handZip(c.entries));
    expectRefused(archive, c.expected);
  }
  // The same archive, told honestly, unpacks.
  writeFile(archive, handZip({{"a.txt", payload}, {"b.txt", payload}}));
  EXPECT_EQ(Ostrand::ctfpack::extractArchive(archive.string(), (root_ / "honest").string()), 2u);
  EXPECT_EQ(contentsOf(root_ / "honest" / "b.txt"), payload);
}

TEST_F(CtfArchive, UnpackLimitsStopZipBombsAndNameTheirVariable) {
  const stdfs::path archive = root_ / "bomb.ctf";
  const std::string zeros(1 << 20, '\0');  // deflates more than 200:1
  const RawEntry small{"small", AE_IFREG, "s"};
  std::vector<RawEntry> manyZeros;
  for (int i = 0; i < 16; ++i) manyZeros.push_back({"z" + std::to_string(i), AE_IFREG, zeros});
  const struct Case {
    const char* variable;  // null: the defaults
    const char* value;
    std::vector<RawEntry> entries;
    std::vector<std::string> expected;
  } cases[] = {
      {"KVN_UNPACK_MAX_ENTRIES",
       "3",
       {small, small, small, small},
       {"too many entries", "limit 3 entries from KVN_UNPACK_MAX_ENTRIES"}},
      {"KVN_UNPACK_MAX_ENTRY_BYTES",
       "1K",
       {{"big", AE_IFREG, std::string(2000, 'b')}},
       {"entry \"big\" unpacks to 2000 bytes", "limit 1024 bytes from KVN_UNPACK_MAX_ENTRY_BYTES"}},
      {"KVN_UNPACK_MAX_TOTAL_BYTES",
       "3000",
       {{"one", AE_IFREG, std::string(2000, '1')}, {"two", AE_IFREG, std::string(2000, '2')}},
       {"entries up to entry \"two\" unpack to 4000 bytes", "KVN_UNPACK_MAX_TOTAL_BYTES higher"}},
      {"KVN_UNPACK_RATIO_FLOOR_BYTES",
       "64K",
       {{"zeros", AE_IFREG, zeros}},
       {"entry \"zeros\" unpacks to 1048576 bytes from", "KVN_UNPACK_MAX_RATIO",
        "65536 bytes are exempt, set by KVN_UNPACK_RATIO_FLOOR_BYTES"}},
      // Each entry below the floor, together far above it.
      {"KVN_UNPACK_RATIO_FLOOR_BYTES",
       "2M",
       manyZeros,
       {"the entries unpack to 16777216 bytes", "KVN_UNPACK_MAX_RATIO"}},
      {"KVN_UNPACK_MAX_PATH_BYTES",
       "64",
       {{std::string(40, 'd') + "/" + std::string(40, 'f'), AE_IFREG, "x"}},
       {"has a name of 81 bytes", "KVN_UNPACK_MAX_PATH_BYTES"}},
      {"KVN_UNPACK_MAX_PATH_BYTES",
       "64",
       {{"link", AE_IFLNK, "", std::string(100, 't')}},
       {"entry \"link\" is a link with a target of 100 bytes", "KVN_UNPACK_MAX_PATH_BYTES"}},
      {"KVN_UNPACK_MAX_NAME_BYTES",
       "16",
       {{"short/" + std::string(20, 'n'), AE_IFREG, "x"}},
       {"path element of 20 bytes", "KVN_UNPACK_MAX_NAME_BYTES"}},
      {"KVN_UNPACK_MAX_DEPTH",
       "3",
       {{"a/b/c/d", AE_IFREG, "x"}},
       {"entry \"a/b/c/d\" lies 4 levels deep", "KVN_UNPACK_MAX_DEPTH"}},
      {nullptr,
       nullptr,
       {{std::string(256, 'n'), AE_IFREG, "x"}},
       {"path element of 256 bytes", "limit 255 bytes from KVN_UNPACK_MAX_NAME_BYTES"}},
      {nullptr,
       nullptr,
       {{"bomb", AE_IFREG, std::string(32 << 20, '\0')}},
       {"entry \"bomb\" unpacks to 33554432 bytes", "limit 200:1 from KVN_UNPACK_MAX_RATIO"}},
      {"KVN_UNPACK_MAX_ENTRIES",
       "lots",
       {small},
       {"KVN_UNPACK_MAX_ENTRIES=\"lots\"", "positive whole number"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected.front());
    writeRawZip(archive, c.entries);
    std::unique_ptr<ScopedVariable> variable;
    if (c.variable) variable = std::make_unique<ScopedVariable>(c.variable, c.value);
    expectRefused(archive, c.expected);
  }
  // A raised limit lets through what the lower one refused.
  writeRawZip(archive, {small, {"more", AE_IFREG, "m"}});
  {
    const ScopedVariable one("KVN_UNPACK_MAX_ENTRIES", "1");
    expectRefused(archive, {"too many entries"});
  }
  const ScopedVariable two("KVN_UNPACK_MAX_ENTRIES", "2");
  EXPECT_EQ(Ostrand::ctfpack::extractArchive(archive.string(), (root_ / "two").string()), 2u);

  // Headers lie: the bytes are counted as they are written and must be the declared size.
  const std::string data(5000, 'd');
  writeFile(archive, handZip({{"under", data, S_IFREG | 0644, "", 10}}));
  expectRefused(archive, {"entry \"under\" holds more than the 10 bytes its header declares"});
  // The same lie under deflate, the shape of a real bomb: 1 MiB of zeros declared as 1000 bytes.
  writeRawZip(archive, {{"deflated", AE_IFREG, zeros}});
  std::string lying = contentsOf(archive);
  const std::size_t record = lying.find("PK\x01\x02");
  ASSERT_NE(record, std::string::npos);
  lying.replace(record + 24, 4, std::string("\xe8\x03\0\0", 4));
  lying.replace(22, 4, std::string("\xe8\x03\0\0", 4));  // the local header's copy
  writeFile(archive, lying);
  expectRefused(archive, {"entry \"deflated\" holds more than the 1000 bytes its header declares"});
  writeFile(archive, handZip({{"over", data, S_IFREG | 0644, "", 9000}}));
  expectRefused(archive, {"entry \"over\": ", "wrong size"});
}

TEST_F(CtfArchive, NothingIsWrittenThroughWhatTheTargetFolderHoldsAlready) {
  const stdfs::path archive = root_ / "planted.ctf";
  const auto plant = [](const stdfs::path& target) {
    stdfs::create_directories(target);
    stdfs::create_directory_symlink("../canary", target / "folder");
    stdfs::create_symlink("../canary/bashrc", target / "file");
  };
  writeRawZip(archive, {{"folder/bashrc", AE_IFREG, "overwritten"}});
  expectRefused(archive,
                {"entry \"folder/bashrc\"", "\"folder\" is in the way and is not a folder"}, plant);
  writeRawZip(archive, {{"file", AE_IFREG, "overwritten"}});
  expectRefused(archive, {"entry \"file\"", "exists already"}, plant);
  writeRawZip(archive, {{"file", AE_IFLNK, "", "."}});
  expectRefused(archive, {"entry \"file\"", "exists already"}, plant);
  // Archives of several megabytes are written by a second thread: its failure reaches the
  // caller the same way, and stops the unpack.
  const std::string large(5u << 19,
                          'z');  // twice: beyond the threaded size, within the ratio floor
  writeRawZip(archive, {{"large.bin", AE_IFREG, large},
                        {"file", AE_IFREG, "overwritten"},
                        {"later.bin", AE_IFREG, large}});
  expectRefused(archive, {"entry \"file\"", "exists already"}, plant);
  EXPECT_FALSE(stdfs::exists(root_ / "jail" / "target" / "later.bin"));
  // A folder closed to its owner is still filled, and gets its own mode at the end.
  writeRawZip(archive, {{"closed/", AE_IFDIR, "", "", 0500},
                        {"closed/inner/", AE_IFDIR, "", "", 0500},
                        {"closed/inner/f", AE_IFREG, "f"},
                        {"closed/inner/large.bin", AE_IFREG, large + large}});
  const stdfs::path target = root_ / "closed";
  Ostrand::ctfpack::extractArchive(archive.string(), target.string());
  EXPECT_EQ(contentsOf(target / "closed" / "inner" / "f"), "f");
  EXPECT_EQ(contentsOf(target / "closed" / "inner" / "large.bin"), large + large);
  for (const stdfs::path& closed : {target / "closed" / "inner", target / "closed"}) {
    EXPECT_EQ(stdfs::status(closed).permissions(),
              stdfs::perms::owner_read | stdfs::perms::owner_exec);
  }
  stdfs::permissions(target / "closed", stdfs::perms::owner_all);  // for the clean-up
  stdfs::permissions(target / "closed" / "inner", stdfs::perms::owner_all);
}

// Every call an unpack makes in its folder goes through the file system it is given. A full disk
// or a failing device at any one of them, on whichever thread writes, stops the unpack with an
// error naming the archive and the system's reason; the next unpack of the same archive into a
// fresh folder is whole. The archive is large enough to be written by the second thread.
TEST_F(CtfArchive, AFailedFileOperationAnywhereStopsTheUnpackWithItsReason) {
  using fstest::InjectingFileSystem;
  const std::string kAnyOperation = InjectingFileSystem::kAnyOperation;
  std::string large;  // compressible, and more than the threaded writer's 4 MB
  for (int line = 0; large.size() < (17u << 18); ++line) {
    large += "row " + std::to_string(line) + " of the table\n";
  }
  const std::map<std::string, std::string> files = {
      {"lib/helper.q", "function h = helper()\nh = 1;\n"},
      {"lib/deep/table.txt", large},
      {"bin/tool", std::string("\0\1\2binary", 9)}};
  const stdfs::path archive = root_ / "faults.ctf";
  writeRawZip(archive, {{"lib/", AE_IFDIR, "", "", 0755},
                        {"lib/helper.q", AE_IFREG, files.at("lib/helper.q")},
                        {"lib/deep/table.txt", AE_IFREG, large},
                        {"bin/tool", AE_IFREG, files.at("bin/tool"), "", 0755},
                        {"alias.q", AE_IFLNK, "", "lib/helper.q"},
                        {"empty/", AE_IFDIR, "", "", 0750}});
  InjectingFileSystem fileSystem;
  const auto unpack = [&](const stdfs::path& target) {
    std::vector<Ostrand::ctfpack::UnpackedEntry> made;
    Ostrand::ctfpack::extractArchive(archive.string(), target.string(), made, fileSystem);
  };
  const auto expectWhole = [&](const stdfs::path& target) {
    for (const auto& [name, content] : files) {
      EXPECT_TRUE(contentsOf(target / name) == content) << name << " differs";
    }
    EXPECT_EQ(stdfs::read_symlink(target / "alias.q"), "lib/helper.q");
    EXPECT_TRUE(stdfs::is_directory(target / "empty"));
  };

  const int writesBefore = fileSystem.calls(InjectingFileSystem::kAnyWrite);
  const int callsBefore = fileSystem.calls(InjectingFileSystem::kAnyOperation);
  const int dataBefore = fileSystem.calls("write");
  // Made with its parent, as every unpack below.
  const stdfs::path parent = root_ / "unpacked";
  const stdfs::path target = parent / "target";
  unpack(target);
  expectWhole(target);
  stdfs::remove_all(parent);
  const int writes = fileSystem.calls(InjectingFileSystem::kAnyWrite) - writesBefore;
  const int calls = fileSystem.calls(InjectingFileSystem::kAnyOperation) - callsBefore;
  const int dataWrites = fileSystem.calls("write") - dataBefore;
  ASSERT_GT(dataWrites, 10) << "the large file is written in pieces";
  ASSERT_GT(writes, dataWrites + 15);

  struct Fault {
    const char* counted;  // kAnyWrite, kAnyOperation, or "write" for a short write
    int nth;
    int error;
  };
  std::vector<Fault> faults;
  for (int nth = 1; nth <= writes; ++nth) {
    faults.push_back({InjectingFileSystem::kAnyWrite, nth, ENOSPC});
  }
  for (int nth = 1; nth <= calls; nth += 4) {
    faults.push_back({InjectingFileSystem::kAnyOperation, nth, EIO});
  }
  for (int nth = 1; nth <= dataWrites; nth += 4) faults.push_back({"write", nth, 0});
  for (const Fault& fault : faults) {
    SCOPED_TRACE(std::string(fault.counted) + " #" + std::to_string(fault.nth) + " fails with " +
                 std::to_string(fault.error));
    const int injected = fileSystem.injected();
    if (fault.error == 0) {
      fileSystem.shortenNthWrite(fault.nth);
    } else {
      fileSystem.failNth(fault.counted, fault.nth, fault.error);
    }
    try {
      unpack(target);
      // A short write is written on from where it stopped; a failed openat2 is walked element by
      // element instead; a folder whose close fails was only read; a target that cannot be
      // examined is made.
      const std::string call = fileSystem.lastInjected();
      EXPECT_TRUE(fault.error == 0 || (std::string(fault.counted) == kAnyOperation &&
                                       (call == "openat2" || call == "close" || call == "stat")))
          << "a failed " << call << " was ignored";
      expectWhole(target);
    } catch (const opc::Exception& error) {
      const std::string text = error.what();
      EXPECT_NE(fault.error, 0) << text;
      EXPECT_NE(text.find(archive.string()), std::string::npos) << text;
      EXPECT_NE(text.find(std::generic_category().message(fault.error)), std::string::npos) << text;
    }
    EXPECT_EQ(fileSystem.injected(), injected + 1) << "the unpack made fewer calls than counted";
    fileSystem.clear();
    stdfs::remove_all(parent);
    unpack(target);
    expectWhole(target);
    stdfs::remove_all(parent);
  }
}

}  // namespace
