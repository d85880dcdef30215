// The figure wait as a standalone run meets it: no display, invisible figures left at the end,
// and a visible figure that another thread closes while the wait pauses.

#include "rtkkvn/standalone/figure_wait.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <thread>

#include "engine/dispatcher.hpp"
#include "engine/instance.hpp"
#include "rtkkvn.h"
#include "util/services.hpp"
#include "util/warnings.hpp"

namespace {

namespace stdfs = std::filesystem;

class FigureWait : public ::testing::Test {
 protected:
  void SetUp() override {
    svSetStandaloneMode(true);
    setenv("DISPLAY", ":0", 1);
    folder_ = stdfs::temp_directory_path() / ("rtkkvn_figures_" + std::to_string(::getpid()));
    stdfs::create_directories(folder_);
    // Counts how often the engine is asked whether it may exit, in a global of the instance.
    std::ofstream(folder_ / "rtkisoktoexit.q")
        << "function ok = rtkisoktoexit()\nglobal exitasked\n"
           "if isempty(exitasked)\n  exitasked = 0;\nend\nexitasked = exitasked + 1;\nok = true;\n";
    instance_ = rtkInitializeInstance({}, {}, {});
    ASSERT_NE(instance_, nullptr);
    ASSERT_TRUE(qpAddDir(rtkHandleToKvnInstancePtr(instance_)->GetDispatcher().get_path(),
                         folder_.string(), kQpAddAtFront));
  }
  void TearDown() override {
    ut_set_warning_status_id(nullptr, "KVN:InvisibleFiguresAtExit", 1);
    EXPECT_TRUE(rtkTerminateInstance(&instance_));
    stdfs::remove_all(folder_);
  }

  void eval(const std::string& text) {
    zyArray* input = zyCreateString(text.c_str());
    ASSERT_TRUE(rtkFeval(instance_, "eval", 0, nullptr, 1, &input)) << text;
    zyDestroyArray(input);
  }
  // How often "rtkisoktoexit" ran; 0 when never.
  int exitQuestions() {
    zyArray* value = nullptr;
    if (!rtkGetGlobal(instance_, "exitasked", &value)) return 0;
    const int count = static_cast<int>(zyGetPr(value)[0]);
    zyDestroyArray(value);
    return count;
  }

  stdfs::path folder_;
  HKVNINSTANCE instance_ = nullptr;
};

TEST_F(FigureWait, WithoutDisplayReturnsAtOnceWithoutAskingTheEngine) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  eval("figure('Name', 'left open');");
  EXPECT_TRUE(rtkWaitForFiguresToDieInternal(instance_, true));
  EXPECT_EQ(exitQuestions(), 0);
}

TEST_F(FigureWait, NoFiguresAsksTheEngineOnceAndSucceeds) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(rtkWaitForFiguresToDieInternal(instance_, true));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1900));
  EXPECT_EQ(exitQuestions(), 1);
}

TEST_F(FigureWait, InvisibleFiguresAreReportedWhenTheWarningIsOn) {
  eval("figure('Visible', 'off', 'Name', 'hidden one'); figure('Visible', 'off');");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(rtkWaitForFiguresToDieInternal(instance_, true));
  const std::string report = testing::internal::GetCapturedStderr();
  EXPECT_NE(report.find("2 invisible figure window(s)"), std::string::npos) << report;
  EXPECT_NE(report.find("figure 1: hidden one\n"), std::string::npos) << report;
  EXPECT_NE(report.find("figure 2: \n"), std::string::npos) << report;
  EXPECT_NE(report.find("Close them"), std::string::npos) << report;

  // Without reporting the wait succeeds; with the warning off it fails silently.
  EXPECT_TRUE(rtkWaitForFiguresToDieInternal(instance_, false));
  ut_set_warning_status_id(nullptr, "KVN:InvisibleFiguresAtExit", 0);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(rtkWaitForFiguresToDieInternal(instance_, true));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  eval("rtkkillallfigures;");
  EXPECT_FALSE(figuresExist(instance_, false, [](void*, size_t, const double*) {}));
}

TEST_F(FigureWait, VisibleFigureClosedByAnotherThreadEndsTheWait) {
  eval("figure('Name', 'main window');");
  std::atomic<bool> closed{false};
  std::thread closer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    eval("close all;");
    closed = true;
  });
  // Null handle: the registered instance with the lowest id, the only one here.
  rtkWaitForFiguresToDie(nullptr);
  EXPECT_TRUE(closed);
  closer.join();
  EXPECT_GE(exitQuestions(), 1);
  EXPECT_FALSE(figuresExist(instance_, true, [](void*, size_t, const double*) {}));
}

TEST(FigureHandleText, SeventeenSignificantDigitsAndSpecialValues) {
  EXPECT_EQ(figureHandleText(3), "3");
  EXPECT_EQ(figureHandleText(0.1), "0.10000000000000001");
  EXPECT_EQ(figureHandleText(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(figureHandleText(-std::numeric_limits<double>::infinity()), "-inf");
}

}  // namespace
