// Components end to end, through the shared library's C entry points: archives packed by wzd are
// started by every entry point and called; the failures a user meets return false with a last
// error that names the fault, leave nothing that passes for an unpacked component, hold no lock,
// and the next good start succeeds; and what an instance's set-up does to the process and the
// instance (warning states, PATH, search path, start-up script).

#include <archive.h>
#include <archive_entry.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/mutex.hpp"
#include "ctf/ctf_package.hpp"
#include "rtkbase.h"
#include "rtkkvn.h"
#include "util/test_files.hpp"
#include "util/warnings.hpp"

namespace {

namespace stdfs = std::filesystem;
using rtkutil::testing::contentsOf;
using rtkutil::testing::writeFile;
using ::testing::HasSubstr;

// One folder for the whole process: the component cache is chosen when first used.
const stdfs::path& scratch() {
  static const stdfs::path folder = [] {
    char pattern[] = "/tmp/rtkkvn-components-XXXXXX";
    return stdfs::path(::mkdtemp(pattern));
  }();
  return folder;
}

stdfs::path cacheRoot() { return scratch() / "cache"; }

// Runs wzd with arguments; its exit status.
int runWzd(const std::vector<std::string>& arguments) {
  std::string command = WZD_PROGRAM;
  for (const std::string& argument : arguments) command += " '" + argument + "'";
  command += " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Packs sources (file name -> text) as component name; the archive's path.
stdfs::path pack(const std::string& name,
                 const std::vector<std::pair<std::string, std::string>>& sources,
                 const std::vector<std::string>& options = {}) {
  const stdfs::path source = scratch() / "sources" / name;
  stdfs::remove_all(source);
  for (const auto& [file, text] : sources) writeFile(source / file, text);
  const stdfs::path archive = scratch() / "archives" / (name + ".ctf");
  stdfs::create_directories(archive.parent_path());
  std::vector<std::string> arguments = {"pack",           source.string(), "-o",
                                        archive.string(), "--name",        name};
  arguments.insert(arguments.end(), options.begin(), options.end());
  EXPECT_EQ(runWzd(arguments), 0) << "wzd could not pack " << name;
  return archive;
}

const std::vector<std::pair<std::string, std::string>> kTwiceSources = {
    {"twice.q", "function y = twice(x)\ny = 2 * x;\nend\n"}};

stdfs::path twiceArchive() {
  static const stdfs::path archive = pack("twice", kTwiceSources);
  return archive;
}

// The component identifier recorded in an archive's manifest.
std::string identifierOf(const stdfs::path& archive) {
  Ostrand::ctfpack::CTFPackage package(archive.wstring(), Ostrand::ctfdata::CTFFileReaderFactory());
  package.open(Ostrand::ctfpack::CTFOpenRead);
  std::string id;
  for (const wchar_t c : package.getCTFSettings().componentId) id += static_cast<char>(c);
  return id;
}

double callTwice(HKVNINSTANCE instance, double value) {
  zyArray* input = zyCreateDoubleScalar(value);
  zyArray* output = nullptr;
  const bool called = rtkFeval(instance, "twice", 1, &output, 1, &input);
  zyDestroyArray(input);
  if (!called) {
    ADD_FAILURE() << "twice failed: " << rtkGetLastErrorMessage();
    return -1;
  }
  const double result = *zyGetPr(output);
  zyDestroyArray(output);
  return result;
}

std::string lastErrorIdentifier() {
  const char* identifier = rtkGetLastErrorIdentifier();
  return identifier ? identifier : "";
}
std::string lastErrorMessage() {
  const char* message = rtkGetLastErrorMessage();
  return message ? message : "";
}

// Component folders in the cache (those holding a finished unpack's marker).
std::vector<std::string> cachedComponents() {
  std::vector<std::string> names;
  const stdfs::path folder = cacheRoot() / "kvnCache8.1";
  if (!stdfs::is_directory(folder)) return names;
  for (const auto& entry : stdfs::directory_iterator(folder)) {
    if (entry.is_directory() && stdfs::exists(entry.path() / ".created.ts")) {
      names.push_back(entry.path().filename().string());
    }
  }
  return names;
}

// The archive bytes for the callback entry point.
std::string callbackBytes;
std::size_t callbackPosition = 0;
std::size_t callbackLimit = 0;  // bytes the callback delivers before it reports the end
int readArchive(char* buffer, int count) {
  const std::size_t left = std::min(callbackBytes.size(), callbackLimit) - callbackPosition;
  const std::size_t now = std::min<std::size_t>(left, static_cast<std::size_t>(count));
  std::memcpy(buffer, callbackBytes.data() + callbackPosition, now);
  callbackPosition += now;
  return static_cast<int>(now);
}

class ComponentsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ::setenv("KVN_CACHE_ROOT", cacheRoot().c_str(), 1);
    ASSERT_TRUE(rtkkvnInitialize());
    ASSERT_TRUE(rtkInitializeApplication(nullptr, 0));
  }
  void TearDown() override {
    // Whatever a test did, the library-wide mutex is free again.
    EXPECT_EQ(rtkMutexHoldCount(), 0u);
  }
};

struct EntryPoint {
  const char* name;
  std::function<bool(HKVNINSTANCE*)> start;
};

TEST_F(ComponentsTest, EveryEntryPointStartsAPackedComponent) {
  const stdfs::path archive = twiceArchive();
  const std::string id = identifierOf(archive);
  ASSERT_FALSE(id.empty());
  const std::string bytes = contentsOf(archive);
  // An executable with the archive appended, as a standalone program carries it.
  const stdfs::path program = scratch() / "program-with-archive";
  writeFile(program, contentsOf("/bin/true") + bytes);
  // A component root beside a program: twice.ctf, unpacked into twice_kvn.
  const stdfs::path root = scratch() / "root";
  stdfs::create_directories(root);
  stdfs::copy_file(archive, root / "twice.ctf", stdfs::copy_options::overwrite_existing);

  const std::vector<EntryPoint> entryPoints = {
      {"CtfFileToCache",
       [&](HKVNINSTANCE* h) {
         return rtkInitializeComponentInstanceCtfFileToCache(h, nullptr, nullptr, archive.c_str());
       }},
      {"Embedded (memory)",
       [&](HKVNINSTANCE* h) {
         void* stream = rtkGetStreamFromArraySrc(bytes.data(), static_cast<int>(bytes.size()));
         const bool started = rtkInitializeComponentInstanceEmbedded(h, nullptr, nullptr, stream);
         rtkDestroyStream(stream);
         return started;
       }},
      {"Embedded (module file)",
       [&](HKVNINSTANCE* h) {
         void* stream = rtkGetEmbeddedCtfStream(program.c_str());
         const bool started = rtkInitializeComponentInstanceEmbedded(h, nullptr, nullptr, stream);
         rtkDestroyStream(stream);
         return started;
       }},
      {"WithCallbk",
       [&](HKVNINSTANCE* h) {
         callbackBytes = bytes;
         callbackPosition = 0;
         callbackLimit = bytes.size();
         return rtkInitializeComponentInstanceWithCallbk(h, nullptr, nullptr, &readArchive,
                                                         bytes.size());
       }},
      {"FromExtractedComponent",
       [&](HKVNINSTANCE* h) {
         return rtkInitializeComponentInstanceFromExtractedComponent(h, nullptr, nullptr,
                                                                     id.c_str());
       }},
      {"NonEmbeddedStandalone",
       [&](HKVNINSTANCE* h) {
         return rtkInitializeComponentInstanceNonEmbeddedStandalone(
             h, root.c_str(), "twice", rtkGetWZDTargetType(false), nullptr, nullptr);
       }},
      {"FromExtractedLocation",
       [&](HKVNINSTANCE* h) {
         const std::string folder = (root / "twice_kvn").string();
         return rtkInitializeComponentInstanceFromExtractedLocation(h, nullptr, nullptr,
                                                                    folder.c_str());
       }},
  };
  for (const EntryPoint& entryPoint : entryPoints) {
    SCOPED_TRACE(entryPoint.name);
    HKVNINSTANCE instance = nullptr;
    ASSERT_TRUE(entryPoint.start(&instance)) << lastErrorMessage();
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(callTwice(instance, 21), 42);
    // A function the component does not have is an error of the call, not of the instance.
    EXPECT_FALSE(rtkFeval(instance, "thrice", 0, nullptr, 0, nullptr));
    EXPECT_TRUE(rtkTerminateInstance(&instance));
    EXPECT_EQ(instance, nullptr);
  }
  // Unpacked once into the cache, whatever the entry point; once beside the program.
  EXPECT_EQ(cachedComponents().size(), 1u);
  EXPECT_TRUE(stdfs::is_directory(root / "twice_kvn" / id));

  // Without a component: the options reach the instance.
  const char* options[] = {"-deployedkvn"};
  HKVNINSTANCE plain = nullptr;
  ASSERT_TRUE(rtkInitializeInstanceWithoutComponent(&plain, options, 1, nullptr, nullptr));
  zyArray* deployed = nullptr;
  ASSERT_TRUE(rtkFeval(plain, "isdeployed", 1, &deployed, 0, nullptr));
  EXPECT_TRUE(zyGetLogicals(deployed)[0]);
  zyDestroyArray(deployed);
  EXPECT_TRUE(rtkTerminateInstance(&plain));
}

// A ZIP archive holding the given files (name -> bytes), made without wzd, so that it can be
// wrong in ways wzd never is.
void writeZip(const stdfs::path& path,
              const std::vector<std::pair<std::string, std::string>>& files) {
  archive* writer = archive_write_new();
  archive_write_set_format_zip(writer);
  ASSERT_EQ(archive_write_open_filename(writer, path.c_str()), ARCHIVE_OK);
  for (const auto& [name, bytes] : files) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, name.c_str());
    archive_entry_set_filetype(entry, name.back() == '/' ? AE_IFDIR : AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_entry_set_size(entry, static_cast<la_int64_t>(bytes.size()));
    archive_write_header(writer, entry);
    archive_write_data(writer, bytes.data(), bytes.size());
    archive_entry_free(entry);
  }
  archive_write_close(writer);
  archive_write_free(writer);
}

struct Failure {
  const char* name;
  std::function<bool(HKVNINSTANCE*)> start;
  std::string errorIdentifier;  // empty: no last error is recorded
  std::string messagePart;      // what the message must name
};

TEST_F(ComponentsTest, FailedStartsSayWhyAndLeaveNothingBehind) {
  const stdfs::path notArchive = scratch() / "notes.ctf";
  writeFile(notArchive, "just some text, not a component archive\n");
  const stdfs::path damaged = scratch() / "damaged.ctf";
  writeZip(damaged, {{"ctfsettings.json", "{\"manifestVersion\": 1}"}, {".sorvel/", ""}});
  const stdfs::path notUnpacked = scratch() / "plain-folder";
  writeFile(notUnpacked / "readme.txt", "not a component");
  const std::string bytes = contentsOf(twiceArchive());
  const std::string absent = "absent_1234567890abcdef1234567890abcdef";

  const std::vector<Failure> failures = {
      {"missing archive",
       [](HKVNINSTANCE* h) {
         return rtkInitializeComponentInstanceCtfFileToCache(h, nullptr, nullptr,
                                                             "/nonexistent/x.ctf");
       },
       "RTK:ComponentInit", "/nonexistent/x.ctf"},
      {"not an archive",
       [&](HKVNINSTANCE* h) {
         return rtkInitializeComponentInstanceCtfFileToCache(h, nullptr, nullptr,
                                                             notArchive.c_str());
       },
       "RTK:ComponentInit", notArchive.string()},
      {"damaged manifest",
       [&](HKVNINSTANCE* h) {
         return rtkInitializeComponentInstanceCtfFileToCache(h, nullptr, nullptr, damaged.c_str());
       },
       "RTK:ComponentInit", "componentId"},
      {"identifier not in the cache",
       [&](HKVNINSTANCE* h) {
         return rtkInitializeComponentInstanceFromExtractedComponent(h, nullptr, nullptr,
                                                                     absent.c_str());
       },
       "RTK:ComponentCache", "is not in the component cache"},
      {"callback short of bytes",
       [&](HKVNINSTANCE* h) {
         callbackBytes = bytes;
         callbackPosition = 0;
         callbackLimit = bytes.size() / 2;
         return rtkInitializeComponentInstanceWithCallbk(h, nullptr, nullptr, &readArchive,
                                                         bytes.size());
       },
       "", ""},
      {"folder that is not an unpacked component",
       [&](HKVNINSTANCE* h) {
         return rtkInitializeComponentInstanceFromExtractedLocation(h, nullptr, nullptr,
                                                                    notUnpacked.c_str());
       },
       "RTK:ComponentInit", "ctfsettings.json"},
      {"no place for the handle",
       [&](HKVNINSTANCE*) {
         return rtkInitializeComponentInstanceCtfFileToCache(nullptr, nullptr, nullptr,
                                                             twiceArchive().c_str());
       },
       "RTK:ComponentInstance", "handle"},
  };
  for (const Failure& failure : failures) {
    SCOPED_TRACE(failure.name);
    const std::vector<std::string> cachedBefore = cachedComponents();
    rtkClearLastError();
    HKVNINSTANCE instance = reinterpret_cast<HKVNINSTANCE>(0x1);
    EXPECT_FALSE(failure.start(&instance));
    EXPECT_EQ(instance, reinterpret_cast<HKVNINSTANCE>(0x1)) << "the handle variable changed";
    EXPECT_EQ(lastErrorIdentifier(), failure.errorIdentifier);
    EXPECT_THAT(lastErrorMessage(), HasSubstr(failure.messagePart));
    EXPECT_EQ(cachedComponents(), cachedBefore);
    EXPECT_EQ(rtkMutexHoldCount(), 0u);
    // Nothing is held: a good start, here and in another process, goes through.
    HKVNINSTANCE good = nullptr;
    ASSERT_TRUE(rtkInitializeComponentInstanceCtfFileToCache(&good, nullptr, nullptr,
                                                             twiceArchive().c_str()))
        << lastErrorMessage();
    EXPECT_EQ(callTwice(good, 4), 8);
    EXPECT_TRUE(rtkTerminateInstance(&good));
  }
  const pid_t child = ::fork();
  if (child == 0) {
    HKVNINSTANCE good = nullptr;
    const bool started = rtkInitializeComponentInstanceCtfFileToCache(&good, nullptr, nullptr,
                                                                      twiceArchive().c_str());
    ::_exit(started && rtkTerminateInstance(&good) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // A folder that fails to unpack beside a program leaves no folder behind.
  const stdfs::path root = scratch() / "bad-root";
  stdfs::create_directories(root);
  stdfs::copy_file(notArchive, root / "notes.ctf");
  HKVNINSTANCE instance = nullptr;
  EXPECT_FALSE(rtkInitializeComponentInstanceNonEmbeddedStandalone(&instance, root.c_str(), "notes",
                                                                   0, nullptr, nullptr));
  EXPECT_FALSE(stdfs::exists(root / "notes_kvn"));
}

// The setup a component's settings ask for: warning states, PATH, search path entries, the
// start-up script.
TEST_F(ComponentsTest, SetUpAppliesTheComponentsSettings) {
  const stdfs::path archive =
      pack("settings",
           {{"probe.q",
             "function [found, started] = probe()\nfound = helper();\nglobal STARTED\n"
             "started = STARTED;\nend\n"},
            {"lib/helper.q", "function y = helper()\ny = 'from lib';\nend\n"},
            {"bin/tool", "#!/bin/sh\n"},
            {"startup.q", "global STARTED\nSTARTED = 'yes';\n"}},
           {"--public", "probe", "--warning", "off:demo:quiet", "--warning", "on:demo:loud:x",
            "--path-entry", "bin", "--search-path", "lib/."});
  ut_set_warning_status_id(nullptr, "demo:quiet", 1);
  ut_set_warning_status_id(nullptr, "demo:loud:x", 0);
  ::setenv("PATH", "/usr/bin:/bin", 1);

  HKVNINSTANCE first = nullptr;
  ASSERT_TRUE(
      rtkInitializeComponentInstanceCtfFileToCache(&first, nullptr, nullptr, archive.c_str()))
      << lastErrorMessage();

  EXPECT_EQ(ut_get_warning_status_id(nullptr, "demo:quiet"), 0);
  EXPECT_EQ(ut_get_warning_status_id(nullptr, "demo:loud:x"), 1);

  const std::string path = std::getenv("PATH");
  const std::string id = identifierOf(archive);
  EXPECT_THAT(path, ::testing::StartsWith("/usr/bin:/bin:/"));
  EXPECT_THAT(path, ::testing::EndsWith("/" + id + "/bin"));

  zyArray* outputs[2] = {nullptr, nullptr};
  ASSERT_TRUE(rtkFeval(first, "probe", 2, outputs, 0, nullptr)) << lastErrorMessage();
  char* found = zyArrayToString(outputs[0]);
  char* started = zyArrayToString(outputs[1]);
  EXPECT_STREQ(found, "from lib");
  EXPECT_STREQ(started, "yes");
  zyFree(found);
  zyFree(started);
  zyDestroyArray(outputs[0]);
  zyDestroyArray(outputs[1]);

  // A second instance of the component adds nothing to PATH.
  HKVNINSTANCE second = nullptr;
  ASSERT_TRUE(
      rtkInitializeComponentInstanceCtfFileToCache(&second, nullptr, nullptr, archive.c_str()));
  EXPECT_EQ(std::getenv("PATH"), path);
  EXPECT_TRUE(rtkTerminateInstance(&second));
  EXPECT_TRUE(rtkTerminateInstance(&first));
}

}  // namespace
