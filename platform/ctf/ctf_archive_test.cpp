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
#include <filesystem>
#include <functional>
#include <initializer_list>
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
#include "util/test_environment.hpp"
#include "util/test_files.hpp"

namespace {

namespace stdfs = std::filesystem;
using Ostrand::ctfdata::CTFFileReaderFactory;
using Ostrand::ctfpack::CTFOpenRead;
using Ostrand::ctfpack::CTFPackage;
using Ostrand::ctfpack::CTFSettings;
using Ostrand::ctfpack::extractArchive;

using rtkutil::testing::contentsOf;
using rtkutil::testing::ScopedEnvironment;
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

// The bytes of a ZIP archive made entry by entry, as a hostile packer could make it.
std::string rawZip(const std::vector<RawEntry>& entries, const char* options = nullptr) {
  std::string bytes;
  const auto append = [](archive*, void* out, const void* data, size_t size) -> la_ssize_t {
    static_cast<std::string*>(out)->append(static_cast<const char*>(data), size);
    return static_cast<la_ssize_t>(size);
  };
  archive* writer = archive_write_new();
  EXPECT_EQ(archive_write_set_format_zip(writer), ARCHIVE_OK);
  EXPECT_EQ(archive_write_set_bytes_in_last_block(writer, 1), ARCHIVE_OK);  // no padding after
  if (options) {
    EXPECT_EQ(archive_write_set_options(writer, options), ARCHIVE_OK);
  }
  EXPECT_EQ(archive_write_set_passphrase(writer, "passphrase"), ARCHIVE_OK);  // for encryption
  EXPECT_EQ(archive_write_open(writer, &bytes, nullptr, append, nullptr), ARCHIVE_OK);
  for (const RawEntry& raw : entries) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, raw.name.c_str());
    archive_entry_set_filetype(entry, raw.type);
    archive_entry_set_perm(entry, raw.perm);
    if (!raw.link.empty()) archive_entry_set_symlink(entry, raw.link.c_str());
    if (raw.type == AE_IFREG) {
      archive_entry_set_size(entry, static_cast<la_int64_t>(raw.data.size()));
    }
    EXPECT_EQ(archive_write_header(writer, entry), ARCHIVE_OK) << archive_error_string(writer);
    if (!raw.data.empty()) archive_write_data(writer, raw.data.data(), raw.data.size());
    archive_entry_free(entry);
  }
  EXPECT_EQ(archive_write_close(writer), ARCHIVE_OK);
  archive_write_free(writer);
  return bytes;
}

// A ZIP archive written byte by byte (stored entries, Unix modes), for what libarchive's writer
// will not make: records that share a local header, local headers that contradict the central
// directory, sizes that lie, pipes and devices.
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

// Little-endian fields, one after the other.
void put16(std::string& out, std::initializer_list<unsigned> values) {
  for (const unsigned value : values) {
    out += static_cast<char>(value & 0xff);
    out += static_cast<char>((value >> 8) & 0xff);
  }
}
void put32(std::string& out, std::initializer_list<std::uint32_t> values) {
  for (const std::uint32_t value : values) put16(out, {value & 0xffff, value >> 16});
}

// A local header and the data after it.
std::string localHeader(const std::string& name, const std::string& data, std::uint32_t size) {
  std::string out;
  put32(out, {0x04034b50});
  put16(out, {20, 0, 0, 0, 0x21});  // version needed, flags, stored, time, date 1980-01-01
  put32(out, {crc32Of(data), static_cast<std::uint32_t>(data.size()), size});
  put16(out, {static_cast<unsigned>(name.size()), 0});
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
    put32(out, {0x02014b50});
    put16(out, {0x031e, 20, 0, 0, 0, 0x21});  // made on Unix, then as in the local header
    put32(out, {crc32Of(entry.data), static_cast<std::uint32_t>(entry.data.size()), sizeOf(entry)});
    // name, extra field, comment, disk, internal attributes
    put16(out, {static_cast<unsigned>(entry.name.size()),
                static_cast<unsigned>(entry.centralExtra.size()), 0, 0, 0});
    put32(out, {static_cast<std::uint32_t>(entry.mode) << 16,
                entry.localOf >= 0 ? offsets[entry.localOf] + entry.localShift : offsets[i]});
    out += entry.name + entry.centralExtra;
  }
  const std::uint32_t directorySize = static_cast<std::uint32_t>(out.size()) - directory;
  const unsigned count = static_cast<unsigned>(entries.size());
  put32(out, {0x06054b50, 0});  // the end record: no other disks
  put16(out, {count, count});
  put32(out, {directorySize, directory});
  put16(out, {0});  // no comment
  return out;
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

  // A hostile archive and what its refusal must say.
  struct Refusal {
    std::string archive;                // its bytes
    std::vector<std::string> expected;  // fragments of the message: what was wrong, and where
    std::string limit = {};             // "<variable>=<value>", set for the unpack
    bool planted = false;  // the target folder holds links to outside before the unpack
  };

  // Sets limit ("<variable>=<value>", or nothing when empty) for the life of scope.
  static void setLimit(std::optional<ScopedEnvironment>& scope, const std::string& limit) {
    const std::size_t equals = limit.find('=');
    if (equals != std::string::npos) scope.emplace(limit.substr(0, equals), &limit[equals + 1]);
  }
  static Refusal limited(std::string limit, std::string archive,
                         std::vector<std::string> expected) {
    return {std::move(archive), std::move(expected), std::move(limit)};
  }
  static Refusal planted(std::string archive, std::vector<std::string> expected) {
    return {std::move(archive), std::move(expected), "", true};
  }

  // Expects that unpacking the archive fails with a message naming the archive and holding every
  // expected fragment, and that nothing beside the target folder changed: the canary folder
  // holds its one file, as it was.
  void expectRefused(const Refusal& refusal) {
    const stdfs::path archive = root_ / "hostile.ctf";
    writeFile(archive, refusal.archive);
    std::optional<ScopedEnvironment> limit;
    setLimit(limit, refusal.limit);
    const std::string variable = refusal.limit.substr(0, refusal.limit.find('='));
    const stdfs::path jail = root_ / "jail";
    stdfs::remove_all(jail);
    writeFile(jail / "canary" / "bashrc", "canary");
    const stdfs::path target = jail / "target";
    if (refusal.planted) {
      stdfs::create_directories(target);
      stdfs::create_directory_symlink("../canary", target / "folder");
      stdfs::create_symlink("../canary/bashrc", target / "file");
    }
    try {
      extractArchive(archive.string(), target.string());
      ADD_FAILURE() << "unpacked although " << refusal.expected.front();
    } catch (const opc::Exception& error) {
      const std::string text = error.what();
      EXPECT_NE(text.find(archive.string()), std::string::npos) << text;
      for (const std::string& fragment : refusal.expected) {
        EXPECT_NE(text.find(fragment), std::string::npos) << text;
      }
      EXPECT_NE(text.find(variable), std::string::npos) << text;
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
  EXPECT_EQ(extractArchive(archive.string(), target.string()), 10u);
  const stdfs::path files = target / "adder_0123456789abcdef0123456789ABCDEF";
  for (const char* name : {"adder.q", "lib/helper.q", "bin/tool"}) {
    EXPECT_EQ(contentsOf(files / name), contentsOf(folder / name)) << name;
  }
  EXPECT_NE(stdfs::status(files / "bin" / "tool").permissions() & stdfs::perms::owner_exec,
            stdfs::perms::none);
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
    SCOPED_TRACE(entry.name);
    listed.insert(entry.name);
    const stdfs::path path = again / entry.name;
    struct stat status {};
    ASSERT_EQ(::lstat(path.c_str(), &status), 0);
    EXPECT_EQ(entry.kind == Kind::folder, S_ISDIR(status.st_mode));
    EXPECT_EQ(entry.kind == Kind::link, S_ISLNK(status.st_mode));
    if (entry.kind == Kind::folder) continue;
    EXPECT_EQ(entry.size, static_cast<std::uint64_t>(status.st_size));
    EXPECT_EQ(entry.changeSeconds, status.st_ctim.tv_sec);
    EXPECT_EQ(entry.changeNanoseconds, status.st_ctim.tv_nsec);
    const std::string bytes =
        entry.kind == Kind::link ? stdfs::read_symlink(path).string() : contentsOf(path);
    EXPECT_EQ(entry.contentHash, XXH3_64bits(bytes.data(), bytes.size()));
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
  extractArchive(program.string(), target.string());
  EXPECT_EQ(contentsOf(target / ".sorvel" / "startup.q"), "% shipped preferences\n");

  // Forced ZIP64 records are followed the same way.
  writeFile(program, prefix + rawZip({{"ctfsettings.json", AE_IFREG, "{}"}}, "zip:zip64"));
  EXPECT_EQ(CTFFileReaderFactory().locate(program.string()).offset, prefix.size());
  EXPECT_EQ(Ostrand::ctfpack::readArchiveManifest(program.string(), CTFFileReaderFactory()), "{}");
}

TEST_F(CtfArchive, FilesThatAreNoUsableArchiveAreReportedByName) {
  const std::string bare = rawZip({{"readme.txt", AE_IFREG, "no manifest here"}});
  std::string broken = bare;  // the end record puts the central directory before the file
  broken[broken.size() - 22 + 16] = broken[broken.size() - 22 + 17] = '\xff';
  stdfs::create_directory(root_ / "folder.ctf");
  const struct {
    const char* name;
    std::optional<std::string> bytes;  // none: left as it is
    const char* fragment;
  } cases[] = {
      {"empty.ctf", "", "too short"},
      {"text.ctf", std::string(100000, 'a'), "no ZIP archive"},
      {"folder.ctf", std::nullopt, "not a regular file"},
      {"missing.ctf", std::nullopt, "cannot open"},
      {"bare.ctf", bare, "no settings manifest"},
      // Bytes after the end record: that record no longer ends the file.
      {"trailing.ctf", bare + "garbage", "no ZIP archive"},
      {"broken.ctf", broken, "outside the file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const stdfs::path file = root_ / c.name;
    if (c.bytes) writeFile(file, *c.bytes);
    try {
      CTFPackage package(file.wstring(), CTFFileReaderFactory());
      package.open(CTFOpenRead);
      ADD_FAILURE() << "opened";
    } catch (const opc::Exception& error) {
      EXPECT_NE(std::string(error.what()).find(file.string()), std::string::npos) << error.what();
      EXPECT_NE(std::string(error.what()).find(c.fragment), std::string::npos) << error.what();
    }
  }
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
    writeFile(archive, rawZip({{name, AE_IFREG, text}, {"a/b.q", AE_IFREG, "1"}}, options));
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

// Every kind of hostile archive is refused, with the entry and the fault named, before anything
// is written outside the target folder.
TEST_F(CtfArchive, HostileArchivesAreRefusedNamingTheEntry) {
  const RawEntry fine{"fine.txt", AE_IFREG, "fine"};
  const RawEntry small{"small", AE_IFREG, "s"};
  const RawEntry folderU{"u/", AE_IFDIR};
  const RawEntry up{"u/up", AE_IFLNK, "", ".."};
  const std::string zeros(1 << 20, '\0');  // deflates more than 200:1
  std::vector<RawEntry> manyZeros;
  for (int i = 0; i < 16; ++i) manyZeros.push_back({"z" + std::to_string(i), AE_IFREG, zeros});
  const std::string payload(1000, 'p');
  // Entry "outer" carries a whole local header of "inner" inside its data.
  const std::string hidden = "xx" + localHeader("inner", payload, 1000);
  const std::uint32_t hiddenAt = 30 + 5 + 2;
  const std::string truncated = rawZip({{"fine.txt", AE_IFREG, std::string(5000, 'f')}});
  // The shape of a real bomb: 1 MiB of zeros deflated, declared as 1000 bytes in both headers.
  std::string lying = rawZip({{"deflated", AE_IFREG, zeros}});
  const std::size_t record = lying.find("PK\x01\x02");
  ASSERT_NE(record, std::string::npos);
  lying.replace(record + 24, 4, std::string("\xe8\x03\0\0", 4));
  lying.replace(22, 4, std::string("\xe8\x03\0\0", 4));  // the local header's copy
  std::vector<Refusal> cases = {
      // Names and links that lead outside.
      {rawZip({fine, {"../escaped.txt", AE_IFREG, "x"}}),
       {"\"../escaped.txt\"", "outside the folder"}},
      {rawZip({fine, {"/tmp/absolute.txt", AE_IFREG, "x"}}),
       {"\"/tmp/absolute.txt\"", "outside the folder"}},
      {rawZip({fine, {"..\\escaped.txt", AE_IFREG, "x"}}), {"escaped.txt\"", "backslash"}},
      {rawZip({fine, {"up", AE_IFLNK, "", "../.."}}), {"link \"up\"", "points outside"}},
      {rawZip({fine, {"abs", AE_IFLNK, "", "/etc"}}), {"link \"abs\"", "points outside"}},
      // Chained links: judged by its own text, each link stays inside.
      {rawZip({folderU, up, {"x", AE_IFLNK, "", "u/up/u/up/../../../home/user/.bashrc"}}),
       {"link \"x\"", "points outside the folder once link \"u/up\" is followed"}},
      // Sideways: r/t leads to p, one level up, so r/t/../.. climbs out.
      {rawZip({{"p/", AE_IFDIR}, {"r/t", AE_IFLNK, "", "../p"}, {"x", AE_IFLNK, "", "r/t/../.."}}),
       {"link \"x\"", "once link \"r/t\" is followed"}},
      {rawZip({{"a", AE_IFLNK, "", "b"}, {"b", AE_IFLNK, "", "a"}}),
       {"link \"a\"", "loop of links"}},
      {rawZip({{"x", AE_IFLNK, "", "missing"}}),
       {"link \"x\"", "\"missing\", which the archive does not"}},
      {rawZip({{"f", AE_IFREG, "data"}, {"x", AE_IFLNK, "", "f/../.."}}),
       {"link \"x\"", "leads through file \"f\""}},
      // Nothing is unpacked through a link, even one pointing inside, whichever comes first.
      {rawZip({{"sub", AE_IFLNK, "", "."}, {"sub/x", AE_IFREG, "x"}}),
       {"entry \"sub/x\" lies below link \"sub\""}},
      {rawZip({{"sub/x", AE_IFREG, "x"}, {"sub", AE_IFLNK, "", "."}}),
       {"entry \"sub/x\" lies below link \"sub\""}},
      // Names the runtime keeps for its own files, at any depth.
      {rawZip({{".created.ts", AE_IFREG, ""}}), {"entry \".created.ts\"", "keeps for its own"}},
      {rawZip({{"sub/.bytes_used", AE_IFREG, "1"}}), {"entry \"sub/.bytes_used\"", "keeps"}},
      {rawZip({{".kvnfuture/", AE_IFDIR}}), {"\".kvnfuture/\"", "keeps"}},
      {rawZip({{".max_size.new.12.3", AE_IFREG, "1"}}), {"\".max_size.new.12.3\"", "keeps"}},
      {rawZip({{".target.rwlock", AE_IFREG, ""}}), {"\".target.rwlock\"", "keeps"}},
      {rawZip({{".target.unpacking/x", AE_IFREG, ""}}),
       {"entry \".target.unpacking/x\": \".target.unpacking\"", "keeps"}},
      // Duplicates and a second manifest.
      {rawZip({{"ctfsettings.json", AE_IFREG, "{}"}, {"./ctfsettings.json", AE_IFREG, "{}"}}),
       {"entry \"./ctfsettings.json\" is a second settings manifest"}},
      {rawZip({{"a/b", AE_IFREG, "1"}, {"a//b", AE_IFREG, "2"}}),
       {"entry \"a//b\" has the same name as entry \"a/b\""}},
      {rawZip({{"d/x", AE_IFREG, "x"}, {"d", AE_IFREG, "x"}}),
       {"entry \"d/x\" lies below file \"d\""}},
      // Entries that overlap, and local headers that contradict the central directory.
      {handZip({{"a.txt", payload}, {"b.txt", payload, S_IFREG | 0644, "", -1, -1, 0}}),
       {"entry \"b.txt\" overlaps entry \"a.txt\"", "same local header"}},
      {handZip({{"outer", hidden}, {"inner", payload, S_IFREG | 0644, "", -1, -1, 0, hiddenAt}}),
       {"entry \"inner\" overlaps entry \"outer\"", "inside the other's data"}},
      {handZip({{"ctfsettings.json", "{}", S_IFREG | 0644, "innocent.json"}}),
       {"entry \"ctfsettings.json\": its local header names \"innocent.json\""}},
      {handZip({{"sizes.txt", payload, S_IFREG | 0644, "", -1, 10}}),
       {"entry \"sizes.txt\": its local header gives other sizes"}},
      // Sizes that lie: the bytes are counted as they are written.
      {handZip({{"under", std::string(5000, 'd'), S_IFREG | 0644, "", 10}}),
       {"entry \"under\" holds more than the 10 bytes its header declares"}},
      {lying, {"entry \"deflated\" holds more than the 1000 bytes its header declares"}},
      {handZip({{"over", std::string(5000, 'd'), S_IFREG | 0644, "", 9000}}),
       {"entry \"over\": ", "wrong size"}},
      // Encrypted entries are refused by name before anything is unpacked; cut archives too.
      {rawZip({fine, {"secret.txt", AE_IFREG, "secret"}}, "zip:encryption=zipcrypt"),
       {"\"fine.txt\" is encrypted"}},
      {truncated.substr(0, truncated.size() / 2), {"no ZIP archive"}},
      // Limits, each naming the variable that sets it; the defaults bound archives without them.
      limited("KVN_UNPACK_MAX_ENTRIES=3", rawZip({small, small, small, small}),
              {"too many entries", "limit 3 entries from KVN_UNPACK_MAX_ENTRIES"}),
      limited("KVN_UNPACK_MAX_ENTRY_BYTES=1K", rawZip({{"big", AE_IFREG, std::string(2000, 'b')}}),
              {"entry \"big\" unpacks to 2000 bytes",
               "limit 1024 bytes from KVN_UNPACK_MAX_ENTRY_BYTES"}),
      limited("KVN_UNPACK_MAX_TOTAL_BYTES=3000",
              rawZip({{"one", AE_IFREG, std::string(2000, '1')},
                      {"two", AE_IFREG, std::string(2000, '2')}}),
              {"entries up to entry \"two\" unpack to 4000 bytes",
               "KVN_UNPACK_MAX_TOTAL_BYTES higher"}),
      limited("KVN_UNPACK_RATIO_FLOOR_BYTES=64K", rawZip({{"zeros", AE_IFREG, zeros}}),
              {"entry \"zeros\" unpacks to 1048576 bytes from", "KVN_UNPACK_MAX_RATIO",
               "65536 bytes are exempt, set by KVN_UNPACK_RATIO_FLOOR_BYTES"}),
      // Each entry below the floor, together far above it.
      limited("KVN_UNPACK_RATIO_FLOOR_BYTES=2M", rawZip(manyZeros),
              {"the entries unpack to 16777216 bytes", "KVN_UNPACK_MAX_RATIO"}),
      limited("KVN_UNPACK_MAX_PATH_BYTES=64",
              rawZip({{std::string(40, 'd') + "/" + std::string(40, 'f'), AE_IFREG, "x"}}),
              {"has a name of 81 bytes"}),
      limited("KVN_UNPACK_MAX_PATH_BYTES=64",
              rawZip({{"link", AE_IFLNK, "", std::string(100, 't')}}),
              {"entry \"link\" is a link with a target of 100 bytes"}),
      limited("KVN_UNPACK_MAX_NAME_BYTES=16",
              rawZip({{"short/" + std::string(20, 'n'), AE_IFREG, "x"}}),
              {"path element of 20 bytes"}),
      limited("KVN_UNPACK_MAX_DEPTH=3", rawZip({{"a/b/c/d", AE_IFREG, "x"}}),
              {"entry \"a/b/c/d\" lies 4 levels deep"}),
      {rawZip({{"bomb", AE_IFREG, std::string(32 << 20, '\0')}}),
       {"entry \"bomb\" unpacks to 33554432 bytes", "limit 200:1 from KVN_UNPACK_MAX_RATIO"}},
      limited("KVN_UNPACK_MAX_ENTRIES=lots", rawZip({small}),
              {"KVN_UNPACK_MAX_ENTRIES=\"lots\"", "positive whole number"}),
      // Nothing is written through what the target folder holds already.
      planted(rawZip({{"folder/bashrc", AE_IFREG, "overwritten"}}),
              {"entry \"folder/bashrc\"", "\"folder\" is in the way and is not a folder"}),
      planted(rawZip({{"file", AE_IFREG, "overwritten"}}), {"entry \"file\"", "exists already"}),
      planted(rawZip({{"file", AE_IFLNK, "", "."}}), {"entry \"file\"", "exists already"}),
  };
  // libarchive will not write pipes and devices; a hand-made archive can hold them.
  for (const unsigned type : {S_IFIFO, S_IFCHR, S_IFBLK, S_IFSOCK}) {
    const std::string name = "special" + std::to_string(type >> 12);
    cases.push_back({handZip({{"fine.txt", "fine"}, {name, "", type | 0644}}),
                     {"\"" + name + "\"", "not a file, folder or link"}});
  }
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE("case " + std::to_string(i) + ": " + cases[i].expected.front());
    expectRefused(cases[i]);
  }

  // Archives of several megabytes are written by a second thread: its failure reaches the caller
  // the same way, and stops the unpack.
  const std::string large(5u << 19, 'z');  // beyond the threaded size, within the ratio floor
  expectRefused(planted(rawZip({{"large.bin", AE_IFREG, large},
                                {"file", AE_IFREG, "overwritten"},
                                {"later.bin", AE_IFREG, large}}),
                        {"entry \"file\"", "exists already"}));
  EXPECT_FALSE(stdfs::exists(root_ / "jail" / "target" / "later.bin"));
  // Reading the settings alone refuses a second manifest too: it may not be the one unpacked.
  writeFile(root_ / "names.ctf",
            rawZip({{"ctfsettings.json", AE_IFREG, "{}"}, {"ctfsettings.json", AE_IFREG, "[]"}}));
  // A manifest whose local header names another entry is refused too. Other entries' local
  // headers are left to the unpack (a start from the cache reads no more of the archive): an
  // overlap beside the manifest is read past, and refused when the archive is unpacked.
  writeFile(root_ / "lying.ctf",
            handZip({{"ctfsettings.json", "{}", S_IFREG | 0644, "innocent.json"}}));
  for (const auto& [refused, reason] : {std::pair{"names.ctf", "second settings manifest"},
                                         std::pair{"lying.ctf", "local header names"}}) {
    try {
      Ostrand::ctfpack::readArchiveManifest((root_ / refused).string(), CTFFileReaderFactory());
      ADD_FAILURE() << "read the manifest of " << refused;
    } catch (const opc::Exception& error) {
      EXPECT_NE(std::string(error.what()).find(reason), std::string::npos) << error.what();
    }
  }
  const stdfs::path beside = root_ / "beside.ctf";
  writeFile(beside, handZip({{"ctfsettings.json", "{\"a\": 1}"},
                             {"a.txt", payload},
                             {"b.txt", payload, S_IFREG | 0644, "", -1, -1, 1}}));
  EXPECT_EQ(Ostrand::ctfpack::readArchiveManifest(beside.string(), CTFFileReaderFactory()),
            "{\"a\": 1}");
  EXPECT_THROW(Ostrand::ctfpack::extractArchive(beside.string(), (root_ / "beside").string()),
               opc::Exception);
}

// Archives that come close to the hostile ones, and unpack.
TEST_F(CtfArchive, ArchivesCloseToHostileOnesUnpack) {
  const std::string payload(1000, 'p');
  const struct {
    const char* what;
    std::string archive;
    std::uint64_t entries;
    std::map<std::string, std::string> contents;  // read through the unpacked folder
    std::string limit = {};
  } cases[] = {
      {"a link that stays inside through \"..\"",
       rawZip({{"a/file", AE_IFREG, "data"}, {"b/link", AE_IFLNK, "", "../a/file"}}),
       2,
       {{"b/link", "data"}}},
      {"chains of links that stay inside, a link before what it names",
       rawZip({{"l2", AE_IFLNK, "", "l1/h.q"},
               {"l1", AE_IFLNK, "", "lib"},
               {"lib/h.q", AE_IFREG, "h"},
               {"lib/top", AE_IFLNK, "", "../l1/.."}}),
       4,
       {{"l2", "h"}, {"lib/top/lib/h.q", "h"}}},
      {"entries side by side, told honestly",
       handZip({{"a.txt", payload}, {"b.txt", payload}}),
       2,
       {{"a.txt", payload}, {"b.txt", payload}}},
      {"as many entries as a raised limit allows",
       rawZip({{"small", AE_IFREG, "s"}, {"more", AE_IFREG, "m"}}),
       2,
       {{"more", "m"}},
       "KVN_UNPACK_MAX_ENTRIES=2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(root_ / "near.ctf", c.archive);
    std::optional<ScopedEnvironment> limit;
    setLimit(limit, c.limit);
    const stdfs::path target = root_ / "near";
    stdfs::remove_all(target);
    try {
      EXPECT_EQ(extractArchive((root_ / "near.ctf").string(), target.string()), c.entries);
    } catch (const opc::Exception& error) {
      ADD_FAILURE() << error.what();
    }
    for (const auto& [name, content] : c.contents) {
      EXPECT_TRUE(contentsOf(target / name) == content) << name << " differs";
    }
  }

  // A folder closed to its owner is still filled, and gets its own mode at the end.
  const std::string large(5u << 20, 'z');  // written by the second thread
  writeFile(root_ / "closed.ctf", rawZip({{"closed/", AE_IFDIR, "", "", 0500},
                                          {"closed/inner/", AE_IFDIR, "", "", 0500},
                                          {"closed/inner/f", AE_IFREG, "f"},
                                          {"closed/inner/large.bin", AE_IFREG, large}}));
  const stdfs::path target = root_ / "closed";
  extractArchive((root_ / "closed.ctf").string(), target.string());
  EXPECT_EQ(contentsOf(target / "closed" / "inner" / "f"), "f");
  EXPECT_TRUE(contentsOf(target / "closed" / "inner" / "large.bin") == large);
  for (const stdfs::path& closed : {target / "closed" / "inner", target / "closed"}) {
    EXPECT_EQ(stdfs::status(closed).permissions(),
              stdfs::perms::owner_read | stdfs::perms::owner_exec);
    stdfs::permissions(closed, stdfs::perms::owner_all);  // for the clean-up
  }
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
  writeFile(archive, rawZip({{"lib/", AE_IFDIR, "", "", 0755},
                             {"lib/helper.q", AE_IFREG, files.at("lib/helper.q")},
                             {"lib/deep/table.txt", AE_IFREG, large},
                             {"bin/tool", AE_IFREG, files.at("bin/tool"), "", 0755},
                             {"alias.q", AE_IFLNK, "", "lib/helper.q"},
                             {"empty/", AE_IFDIR, "", "", 0750}}));
  InjectingFileSystem fileSystem;
  // Made with its parent, as every unpack below.
  const stdfs::path parent = root_ / "unpacked";
  const stdfs::path target = parent / "target";
  const auto unpack = [&] {
    std::vector<Ostrand::ctfpack::UnpackedEntry> made;
    extractArchive(archive.string(), target.string(), made, fileSystem);
  };
  const auto expectWholeAndRemove = [&] {
    for (const auto& [name, content] : files) {
      EXPECT_TRUE(contentsOf(target / name) == content) << name << " differs";
    }
    EXPECT_EQ(stdfs::read_symlink(target / "alias.q"), "lib/helper.q");
    EXPECT_TRUE(stdfs::is_directory(target / "empty"));
    stdfs::remove_all(parent);
  };

  const int writesBefore = fileSystem.calls(InjectingFileSystem::kAnyWrite);
  const int callsBefore = fileSystem.calls(InjectingFileSystem::kAnyOperation);
  const int dataBefore = fileSystem.calls("write");
  unpack();
  expectWholeAndRemove();
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
      unpack();
      // A short write is written on from where it stopped; a failed openat2 is walked element by
      // element instead; a folder whose close fails was only read; a target that cannot be
      // examined is made.
      const std::string call = fileSystem.lastInjected();
      EXPECT_TRUE(fault.error == 0 || (std::string(fault.counted) == kAnyOperation &&
                                       (call == "openat2" || call == "close" || call == "stat")))
          << "a failed " << call << " was ignored";
      expectWholeAndRemove();
    } catch (const opc::Exception& error) {
      const std::string text = error.what();
      EXPECT_NE(fault.error, 0) << text;
      EXPECT_NE(text.find(archive.string()), std::string::npos) << text;
      EXPECT_NE(text.find(std::generic_category().message(fault.error)), std::string::npos) << text;
    }
    EXPECT_EQ(fileSystem.injected(), injected + 1) << "the unpack made fewer calls than counted";
    fileSystem.clear();
    stdfs::remove_all(parent);
    unpack();
    expectWholeAndRemove();
  }
}

}  // namespace
