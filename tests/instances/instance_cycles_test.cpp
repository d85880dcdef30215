// Many create-and-terminate cycles of runtime instances through the exported interface: every
// cycle must give back what it took, so neither open descriptors nor threads may grow, and the
// sanitizers' leak check at exit sees nothing left behind.

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "process_resources.hpp"
#include "rtkkvn.h"

namespace {

using process_resources::openDescriptors;
using process_resources::threads;

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
