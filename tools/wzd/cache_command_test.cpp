// wzd cache run as a program on a real cache: components packed by wzd and started into a
// temporary cache by the runtime's cache object are listed, verified and cleared, and a component
// another process holds survives a clear.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <boost/make_shared.hpp>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "rtkkvn/components/ctf_extractor.hpp"
#include "rtkkvn/kvn_cache/component_cache.hpp"
#include "util/test_files.hpp"

namespace {

namespace stdfs = std::filesystem;
using rtkutil::testing::contentsOf;
using rtkutil::testing::writeFile;
using ::testing::HasSubstr;
using ::testing::Not;

typedef boost::shared_ptr<rtkExtractedComponent> Record;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

int waitForExit(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::size_t lineCount(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class WzdCache : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* temporary = std::getenv("TMPDIR");
    std::string pattern =
        std::string(temporary && *temporary ? temporary : "/tmp") + "/wzd_cache.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    base_ = pattern;
    root_ = base_ / "root";
    cacheDirectory_ = root_ / "kvnCache8.1";
  }
  void TearDown() override {
    std::error_code ignored;
    stdfs::remove_all(base_, ignored);
  }

  // Runs the wzd program with KVN_CACHE_ROOT set to cacheRoot (the test's root by default).
  Outcome wzd(const std::vector<std::string>& arguments, const std::string& cacheRoot = "") {
    std::string command = "KVN_CACHE_VERBOSE= KVN_CACHE_ROOT='" +
                          (cacheRoot.empty() ? root_.string() : cacheRoot) + "' " + WZD_PROGRAM;
    for (const std::string& argument : arguments) command += " '" + argument + "'";
    command += " >" + (base_ / "out").string() + " 2>" + (base_ / "err").string();
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, contentsOf(base_ / "out"),
            contentsOf(base_ / "err")};
  }

  // Packs a component of one function, called name, that returns value; its archive.
  stdfs::path pack(const std::string& name, int value) {
    const stdfs::path source = base_ / "sources" / name;
    writeFile(source / (name + ".q"),
              "function y = " + name + "()\ny = " + std::to_string(value) + ";\n");
    const stdfs::path archive = base_ / (name + ".ctf");
    const Outcome packed = wzd({"pack", source.string(), "-o", archive.string()});
    EXPECT_EQ(packed.status, 0) << packed.err;
    return archive;
  }

  // Starts the archive's component into the test's cache as a program does; the record holds
  // the component's read lock until it goes.
  Record start(const stdfs::path& archive) {
    const auto cache =
        boost::make_shared<rtkComponentCache>(cacheDirectory_.c_str(), std::uint64_t(1) << 30);
    rtkkvn::CtfExtractor extractor = rtkMakeCtfFileExtractor(archive.c_str());
    return cache->getComponent(extractor.get_component_id(), extractor);
  }

  stdfs::path base_;
  stdfs::path root_;
  stdfs::path cacheDirectory_;
};

TEST_F(WzdCache, ListsVerifiesAndClearsWhatProgramsUnpacked) {
  // Before any program ran: the folder is named, and nothing creates it.
  Outcome path = wzd({"cache", "path"});
  EXPECT_EQ(path.status, 0);
  EXPECT_EQ(path.out, cacheDirectory_.string() + "\n");
  EXPECT_THAT(path.err, HasSubstr("does not exist yet"));
  EXPECT_EQ(wzd({"cache", "list"}).out, "");
  EXPECT_FALSE(stdfs::exists(cacheDirectory_));

  Record older = start(pack("ledger", 1));
  Record newer = start(pack("tally", 2));
  const std::string olderId = older->getComponentUUID();
  const std::string newerId = newer->getComponentUUID();
  const stdfs::path olderFolder = older->getExtractDir().str();
  older.reset();
  newer.reset();

  // --root wins over KVN_CACHE_ROOT; the most recently used component comes first.
  const Outcome list = wzd({"cache", "list", "--root", root_.string()}, "/nonexistent/root");
  ASSERT_EQ(list.status, 0) << list.err;
  std::vector<std::string> lines;
  std::istringstream listed(list.out);
  for (std::string line; std::getline(listed, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3u) << list.out;
  EXPECT_THAT(lines[0], HasSubstr("IDENTIFIER"));
  EXPECT_THAT(lines[1], HasSubstr(newerId));
  EXPECT_THAT(lines[2], HasSubstr(olderId));
  EXPECT_THAT(lines[2], HasSubstr(olderFolder.filename().string()));
  for (const std::size_t line : {1, 2}) EXPECT_THAT(lines[line], testing::EndsWith("ok"));

  // One byte changed in place: same size, so only the content tells.
  const stdfs::path damaged = olderFolder / olderId / "ledger.q";
  std::string text = contentsOf(damaged);
  text[text.size() - 3] = '7';
  writeFile(damaged, text);
  Outcome verify = wzd({"cache", "verify"});
  EXPECT_EQ(verify.status, 1);
  EXPECT_THAT(verify.out, HasSubstr(olderId + ": " + damaged.string() +
                                    ": content changed since it was unpacked"));
  EXPECT_THAT(verify.out, Not(HasSubstr(newerId)));
  EXPECT_THAT(verify.err, HasSubstr("1 of 2 components"));
  EXPECT_EQ(wzd({"cache", "verify", newerId}).status, 0);
  EXPECT_THAT(wzd({"cache", "list"}).out, HasSubstr("damaged"));

  // An unknown identifier stops the clear before anything is removed.
  const Outcome unknown = wzd({"cache", "clear", olderId, "Nowhere_123"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_THAT(unknown.err, HasSubstr("no component Nowhere_123 in the cache"));
  EXPECT_TRUE(stdfs::exists(olderFolder));

  const Outcome clearOne = wzd({"cache", "clear", olderId});
  EXPECT_EQ(clearOne.status, 0) << clearOne.err;
  EXPECT_THAT(clearOne.out, HasSubstr("removed " + olderId));
  EXPECT_FALSE(stdfs::exists(olderFolder));
  EXPECT_EQ(lineCount(wzd({"cache", "list"}).out), 2u);

  EXPECT_EQ(wzd({"cache", "clear"}).status, 0);
  EXPECT_EQ(wzd({"cache", "list"}).out, "");
  EXPECT_EQ(wzd({"cache", "verify"}).status, 0);
}

TEST_F(WzdCache, ClearLeavesAComponentAnotherProcessHolds) {
  const stdfs::path archive = pack("ledger", 1);
  Record record = start(archive);
  const std::string id = record->getComponentUUID();
  const stdfs::path folder = record->getExtractDir().str();
  record.reset();

  // A running program: it holds the component (its read lock) until the pipe closes.
  int ready[2];
  int hold[2];
  ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
  ASSERT_EQ(::pipe2(hold, O_CLOEXEC), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ready[0]);
    ::close(hold[1]);
    try {
      Record held = start(archive);
      if (::write(ready[1], "r", 1) != 1) ::_exit(2);
      char byte;
      while (::read(hold[0], &byte, 1) > 0) {
      }
    } catch (...) {
      ::_exit(3);
    }
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(hold[0]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1) << "the holding process did not start the component";

  EXPECT_THAT(wzd({"cache", "list"}).out, HasSubstr("in use"));
  const Outcome refused = wzd({"cache", "clear"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_THAT(refused.err, HasSubstr(id + ": in use by another process"));
  EXPECT_TRUE(stdfs::exists(folder / ".created.ts"));
  EXPECT_THAT(wzd({"cache", "list"}).out, HasSubstr(id));

  ::close(hold[1]);
  EXPECT_EQ(waitForExit(child), 0);
  ::close(ready[0]);
  const Outcome cleared = wzd({"cache", "clear", id});
  EXPECT_EQ(cleared.status, 0) << cleared.err;
  EXPECT_FALSE(stdfs::exists(folder));
  EXPECT_EQ(wzd({"cache", "list"}).out, "");
}

}  // namespace
