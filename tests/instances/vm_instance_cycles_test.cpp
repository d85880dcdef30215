// Many create-and-terminate cycles of VM instances through the exported interface: each VM's
// thread must end and its descriptors close at terminate, so neither may grow, and the
// sanitizers' leak check at exit sees nothing left behind. A process of its own, because the
// registry picks VM instances only when they are asked for before its first use.

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "process_resources.hpp"
#include "rtkkvn.h"

namespace {

using process_resources::openDescriptors;
using process_resources::threads;

// rtkkvnInitialize2's state for VM instances.
constexpr int kVmInstances = 1;

TEST(VmInstanceCycles, ThousandCyclesGiveBackDescriptorsAndThreads) {
  ASSERT_TRUE(rtkkvnInitialize2(kVmInstances));
  HKVNINSTANCE warmUp = rtkInitializeInstance({}, {}, {});
  ASSERT_NE(warmUp, nullptr);
  ASSERT_TRUE(rtkTerminateInstance(&warmUp));
  ASSERT_GT(openDescriptors(), 0u);
  ASSERT_GT(threads(), 0u);

  const std::size_t descriptors = openDescriptors();
  const std::size_t threadCount = threads();
  int previousId = 0;
  for (int cycle = 0; cycle < 1000; ++cycle) {
    HKVNINSTANCE instance = rtkInitializeInstance({}, {}, {});
    ASSERT_NE(instance, nullptr) << "cycle " << cycle;
    const int id = rtkGetID(instance);
    ASSERT_GT(id, previousId) << "ids are never reused; cycle " << cycle;
    previousId = id;
    if (cycle == 0) {
      // A VM instance has a thread of its own while it lives.
      ASSERT_EQ(threads(), threadCount + 1);
    }
    ASSERT_TRUE(rtkTerminateInstance(&instance)) << "cycle " << cycle;
    ASSERT_EQ(instance, nullptr);
    if (cycle % 100 == 99) {
      ASSERT_EQ(openDescriptors(), descriptors) << "after cycle " << cycle;
      ASSERT_EQ(threads(), threadCount) << "after cycle " << cycle;
    }
  }
  EXPECT_EQ(openDescriptors(), descriptors);
  EXPECT_EQ(threads(), threadCount);
}

}  // namespace
