// Many processes starting one component at once, and processes killed while they unpack one:
// every start gets the whole component, unpacked once, and nothing half-unpacked is ever used.
//
// RTKKVN_FIRST_START_ROUNDS and RTKKVN_CRASH_POINTS change the lengths of the runs (defaults: 20
// rounds of 32 processes; 16 kill points, a shortened sweep: run it with 200 before a release).

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "rtkbase.h"
#include "rtkkvn.h"
#include "util/test_files.hpp"

namespace {

namespace stdfs = std::filesystem;
using rtkutil::testing::contentsOf;
using rtkutil::testing::writeFile;

int setting(const char* variable, int fallback) {
  const char* value = std::getenv(variable);
  return value && std::atoi(value) > 0 ? std::atoi(value) : fallback;
}

stdfs::path makeScratch() {
  char pattern[] = "/tmp/rtkkvn-first-start-XXXXXX";
  return stdfs::path(::mkdtemp(pattern));
}

// Packs a component named name whose files are files (name -> bytes); the archive's path.
stdfs::path pack(const stdfs::path& scratch, const std::string& name,
                 const std::vector<std::pair<std::string, std::string>>& files) {
  const stdfs::path source = scratch / "sources" / name;
  for (const auto& [file, bytes] : files) writeFile(source / file, bytes);
  const stdfs::path archive = scratch / (name + ".ctf");
  const std::string command = std::string(WZD_PROGRAM) + " pack '" + source.string() + "' -o '" +
                              archive.string() + "' --name " + name + " >/dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0);
  return archive;
}

// In a child: starts the component, calls check() (0 when it answers right) and exits with what
// went wrong: 0 all good, 1 start failed, 2 wrong answer.
[[noreturn]] void startAndExit(const stdfs::path& archive, int (*check)(HKVNINSTANCE)) {
  HKVNINSTANCE instance = nullptr;
  if (!rtkkvnInitialize() || !rtkInitializeApplication(nullptr, 0) ||
      !rtkInitializeComponentInstanceCtfFileToCache(&instance, nullptr, nullptr, archive.c_str())) {
    ::_exit(1);
  }
  const int answer = check(instance);
  rtkTerminateInstance(&instance);
  ::_exit(answer == 0 ? 0 : 2);
}

int exitStatusOf(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int answersSeven(HKVNINSTANCE instance) {
  zyArray* output = nullptr;
  if (!rtkFeval(instance, "seven", 1, &output, 0, nullptr)) return 1;
  const bool right = *zyGetPr(output) == 7;
  zyDestroyArray(output);
  return right ? 0 : 1;
}

// 32 processes first-start one component together, round after round (a new component each
// round): all succeed, and each round's component is unpacked once (every process finds the
// same folder, made once).
TEST(FirstStart, ManyProcessesStartingOneComponentUnpackItOnce) {
  const stdfs::path scratch = makeScratch();
  ::setenv("KVN_CACHE_ROOT", (scratch / "cache").c_str(), 1);
  constexpr int kProcesses = 32;
  const int rounds = setting("RTKKVN_FIRST_START_ROUNDS", 20);
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::string name = "seven" + std::to_string(round);
    const stdfs::path archive =
        pack(scratch, name,
             {{"seven.q", "function y = seven()\ny = 7;\nend\n"},
              {"padding.bin", std::string(256 * 1024 + round, char('a' + round % 26))}});
    // The children wait at a shared starting line so that they really come together; each
    // writes the cache log (which tells every unpack) to a file of its own.
    int line[2];
    ASSERT_EQ(::pipe(line), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < kProcesses; ++i) {
      const pid_t child = ::fork();
      if (child == 0) {
        ::close(line[1]);
        char go;
        (void)!::read(line[0], &go, 1);  // returns when the parent closes its end
        const std::string log = (scratch / ("log" + std::to_string(i))).string();
        if (!std::freopen(log.c_str(), "w", stderr)) ::_exit(4);
        ::setenv("KVN_CACHE_VERBOSE", "1", 1);
        startAndExit(archive, &answersSeven);
      }
      children.push_back(child);
    }
    ::close(line[0]);
    ::close(line[1]);
    int succeeded = 0;
    for (const pid_t child : children) succeeded += exitStatusOf(child) == 0 ? 1 : 0;
    EXPECT_EQ(succeeded, kProcesses);
    int unpacks = 0;
    for (int i = 0; i < kProcesses; ++i) {
      const std::string log = contentsOf(scratch / ("log" + std::to_string(i)));
      for (std::size_t at = log.find("Adding component"); at != std::string::npos;
           at = log.find("Adding component", at + 1)) {
        ++unpacks;
      }
    }
    EXPECT_EQ(unpacks, 1);
  }
  stdfs::remove_all(scratch);
}

int answersOne(HKVNINSTANCE instance) {
  zyArray* output = nullptr;
  if (!rtkFeval(instance, "one", 1, &output, 0, nullptr)) return 1;
  const bool right = *zyGetPr(output) == 1;
  zyDestroyArray(output);
  return right ? 0 : 1;
}

// Processes killed at random moments of the first start of a 30 MB, 300-file component: the
// next start always gets the whole component, byte for byte, and after the sweep nothing is left
// in the cache but the component and the cache's own files.
TEST(FirstStart, KilledUnpacksNeverLeaveAComponentThatPassesForComplete) {
  const stdfs::path scratch = makeScratch();
  const stdfs::path cache = scratch / "cache" / "kvnCache8.1";
  ::setenv("KVN_CACHE_ROOT", (scratch / "cache").c_str(), 1);
  std::mt19937_64 random(20261205);
  std::vector<std::pair<std::string, std::string>> files = {
      {"one.q", "function y = one()\ny = 1;\nend\n"}};
  for (int i = 0; i < 300; ++i) {
    std::string bytes(100 * 1000, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random() % 7 == 0 ? random() : 'x');
    files.emplace_back("data" + std::to_string(i % 12) + "/part" + std::to_string(i) + ".bin",
                       bytes);
  }
  const stdfs::path archive = pack(scratch, "bulky", files);

  // How long a whole first start takes, to spread the kills over it.
  const auto started = std::chrono::steady_clock::now();
  pid_t child = ::fork();
  if (child == 0) startAndExit(archive, &answersOne);
  ASSERT_EQ(exitStatusOf(child), 0);
  const auto whole = std::chrono::steady_clock::now() - started;
  const auto wipe = [&] {
    for (const auto& entry : stdfs::directory_iterator(cache)) {
      if (entry.is_directory()) stdfs::remove_all(entry.path());
    }
  };

  const int points = setting("RTKKVN_CRASH_POINTS", 16);
  for (int point = 0; point < points; ++point) {
    wipe();
    const auto delay =
        std::chrono::duration_cast<std::chrono::microseconds>(whole) * (random() % 1000) / 1000;
    child = ::fork();
    if (child == 0) {
      if (!std::freopen("/dev/null", "w", stderr)) ::_exit(4);  // its cache log is not needed
      startAndExit(archive, &answersOne);
    }
    std::this_thread::sleep_for(delay);
    ::kill(child, SIGKILL);
    exitStatusOf(child);

    child = ::fork();
    if (child == 0) startAndExit(archive, &answersOne);
    ASSERT_EQ(exitStatusOf(child), 0) << "start after a kill at " << delay.count() << " us";
    int finished = 0;
    for (const auto& entry : stdfs::directory_iterator(cache)) {
      if (!entry.is_directory() || !stdfs::exists(entry.path() / ".created.ts")) continue;
      ++finished;
      for (stdfs::recursive_directory_iterator it(entry.path()), end; it != end; ++it) {
        if (it->path().extension() != ".bin") continue;
        const std::string expected =
            contentsOf(scratch / "sources" / "bulky" / it->path().parent_path().filename() /
                       it->path().filename());
        ASSERT_EQ(contentsOf(it->path()), expected) << it->path();
      }
    }
    EXPECT_EQ(finished, 1);
  }
  // Only the component and the cache's own files are left.
  for (const auto& entry : stdfs::directory_iterator(cache)) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(name.find(".new."), std::string::npos) << name;
    if (entry.is_directory()) {
      EXPECT_TRUE(stdfs::exists(entry.path() / ".created.ts")) << name;
    }
  }
  stdfs::remove_all(scratch);
}

}  // namespace
