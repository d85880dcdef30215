// Many create-and-terminate cycles of runtime instances through the exported interface: every
// cycle must give back what it took, so neither open descriptors nor threads may grow, and the
// sanitizers' leak check at exit sees nothing left behind.

#include <dirent.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "rtkkvn.h"

namespace {

std::size_t entriesIn(const char* folder) {
  std::size_t count = 0;
  DIR* directory = ::opendir(folder);
  if (directory == nullptr) return 0;
  while (const dirent* entry = ::readdir(directory)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") ++count;
  }
  ::closedir(directory);
  return count;
}

std::size_t openDescriptors() { return entriesIn("/proc/self/fd"); }
std::size_t threads() { return entriesIn("/proc/self/task"); }

TEST(DirectInstanceCycles, TenThousandCyclesGiveBackDescriptorsAndThreads) {
  ASSERT_TRUE(rtkkvnInitialize2(0));
  // The first instance starts the application; what that keeps is not a per-cycle cost.
  HKVNINSTANCE warmUp = rtkInitializeInstance({}, {}, {});
  ASSERT_NE(warmUp, nullptr);
  ASSERT_TRUE(rtkTerminateInstance(&warmUp));
  ASSERT_GT(openDescriptors(), 0u);  // the counting itself must see something
  ASSERT_GT(threads(), 0u);

  const std::size_t descriptors = openDescriptors();
  const std::size_t threadCount = threads();
  int previousId = 0;
  for (int cycle = 0; cycle < 10000; ++cycle) {
    HKVNINSTANCE instance = rtkInitializeInstance({}, {}, {});
    ASSERT_NE(instance, nullptr) << "cycle " << cycle;
    const int id = rtkGetID(instance);
    ASSERT_GT(id, previousId) << "ids are never reused; cycle " << cycle;
    previousId = id;
    ASSERT_TRUE(rtkTerminateInstance(&instance)) << "cycle " << cycle;
    ASSERT_EQ(instance, nullptr);
    if (cycle % 1000 == 999) {
      ASSERT_EQ(openDescriptors(), descriptors) << "after cycle " << cycle;
      ASSERT_EQ(threads(), threadCount) << "after cycle " << cycle;
    }
  }
  EXPECT_EQ(openDescriptors(), descriptors);
  EXPECT_EQ(threads(), threadCount);
}

}  // namespace
