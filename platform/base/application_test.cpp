#include "base/application.hpp"

#include <gtest/gtest.h>

#include "util/services.hpp"
#include "util/test_environment.hpp"

namespace {

using rtkutil::testing::ScopedEnvironment;

class Application : public ::testing::Test {
 protected:
  void TearDown() override { rtkTerminateApplicationImpl(); }
};

TEST_F(Application, OptionsAccumulateUntilTermination) {
  ScopedEnvironment display("DISPLAY", ":0");
  ScopedEnvironment wayland("WAYLAND_DISPLAY", nullptr);
  EXPECT_FALSE(rtkIsApplicationInitialized());
  const char* first[] = {"-nojvm"};
  ASSERT_TRUE(rtkInitializeApplication(first, 1));
  EXPECT_TRUE(rtkIsApplicationInitialized());
  EXPECT_FALSE(rtkIsJVMEnabled());
  EXPECT_FALSE(svJavaUseJVM());
  EXPECT_FALSE(rtkIsNoDisplaySet());

  const char* second[] = {"-nodisplay", "-somethingUnknown"};
  ASSERT_TRUE(rtkInitializeApplication(second, 2));
  EXPECT_TRUE(rtkIsNoDisplaySet());
  EXPECT_EQ(rtkGetApplicationOptions(),
            (std::vector<std::string>{"-nojvm", "-nodisplay", "-somethingUnknown"}));
  // Starting without options does not reset a running application.
  EXPECT_TRUE(rtkDefaultInitializeApplication());
  EXPECT_EQ(rtkGetApplicationOptions().size(), 3u);

  rtkTerminateApplication();
  EXPECT_FALSE(rtkIsApplicationInitialized());
  EXPECT_TRUE(rtkIsJVMEnabled());
  EXPECT_TRUE(svJavaUseJVM());
  EXPECT_TRUE(rtkGetApplicationOptions().empty());
}

TEST_F(Application, NoDisplayWithoutADisplayOrWithNoFigureWindows) {
  {
    ScopedEnvironment display("DISPLAY", nullptr);
    ScopedEnvironment wayland("WAYLAND_DISPLAY", "");
    EXPECT_TRUE(rtkIsNoDisplaySet());
  }
  ScopedEnvironment display("DISPLAY", ":1");
  EXPECT_FALSE(rtkIsNoDisplaySet());
  const char* options[] = {"-noFigureWindows", "-pqxworker"};
  ASSERT_TRUE(rtkInitializeApplication(options, 2));
  EXPECT_TRUE(rtkIsNoDisplaySet());
  EXPECT_TRUE(svIsPQXWorkerMode());
  rtkTerminateApplication();
  EXPECT_FALSE(svIsPQXWorkerMode());
}

TEST_F(Application, ANullOptionListIsReportedAsTheLastError) {
  rtkClearLastError();
  EXPECT_FALSE(rtkInitializeApplication(nullptr, 2));
  EXPECT_STREQ(rtkGetLastErrorIdentifier(), "RTK:Application");
  EXPECT_FALSE(rtkIsApplicationInitialized());
  EXPECT_TRUE(rtkInitializeApplication(nullptr, 0));
  rtkClearLastError();
}

TEST(ZvmState, StateDecidesBetweenDirectAndVmInstances) {
  rtkSetZvmState(kZvmStateVm, nullptr);
  ASSERT_TRUE(rtkInitializeRtkBase());
  EXPECT_TRUE(gUseZvm);
  rtkSetZvmState(kZvmStateDirect, nullptr);
  ASSERT_TRUE(rtkInitializeRtkBase());
  EXPECT_FALSE(gUseZvm);
  {
    ScopedEnvironment useVm("KVN_USE_VM", "yes");
    rtkSetZvmState(kZvmStateFromEnvironment, nullptr);
    ASSERT_TRUE(rtkInitializeRtkBase());
    EXPECT_TRUE(gUseZvm);
  }
  ASSERT_TRUE(rtkInitializeRtkBase());
  EXPECT_FALSE(gUseZvm);
  // An unknown state changes nothing.
  rtkSetZvmState(7, nullptr);
  EXPECT_FALSE(rtkInitializeRtkBase());
  EXPECT_FALSE(gUseZvm);
  rtkSetZvmState(kZvmStateFromEnvironment, nullptr);
}

TEST(RunMain, RunsTheBodyAndRecordsTheProgramName) {
  const char* argv[] = {"/opt/app/bin/solver", "-x", nullptr};
  EXPECT_EQ(rtkRunMain([] { return 42; }, 1, argv), 42);
  EXPECT_EQ(rtkGetProgramName(), "/opt/app/bin/solver");
  EXPECT_EQ(rtkRunMain([] { return 0; }, 0, nullptr), 0);
  EXPECT_EQ(rtkGetProgramName(), "/opt/app/bin/solver");
}

TEST(StringArrays, MadeAndFreedWithoutLeaks) {
  char** array = rtkMakeStrArray({"-nojvm", "", "-nodisplay"});
  EXPECT_STREQ(array[0], "-nojvm");
  EXPECT_STREQ(array[1], "");
  EXPECT_STREQ(array[2], "-nodisplay");
  EXPECT_EQ(array[3], nullptr);
  rtkFreeStrArray(array, 3);
  rtkFreeStrArray(nullptr, 0);
}

TEST(DefaultHandlers, WriteTheWholeText) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(rtkDefaultPrintHandler("x = 3\n"), 6);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "x = 3\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(rtkDefaultErrorHandler("bad"), 3);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "bad");
  EXPECT_EQ(rtkDefaultPrintHandler(nullptr), 0);
}

}  // namespace
