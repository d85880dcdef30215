#include "zy/errors.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "zy.h"
#include "zy/matrix.hpp"

namespace {

std::string printed;
void capture(const char* text) { printed += text; }

// Captures the print function for one test and restores the error mode afterwards.
class ZyErrors : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = ioSetPrintFunction(capture);
    printed.clear();
  }
  void TearDown() override {
    ioSetPrintFunction(previous_);
    zySetErrorMode(0);
  }
  ioPrintFunction previous_ = nullptr;
};

template <typename Raise>
zy::ScriptError caught(Raise raise) {
  try {
    raise();
  } catch (const zy::ScriptError& error) {
    return error;
  }
  ADD_FAILURE() << "nothing was raised";
  return zy::ScriptError("", "");
}

TEST_F(ZyErrors, ArgumentCountErrorsCarryIdentifierAndText) {
  zySetErrorMode(-1);
  const zy::ScriptError outputs = caught([] { matrix::detail::error_maxlhs(); });
  EXPECT_EQ(outputs.identifier(), "Q:TooManyOutputs");
  EXPECT_STREQ(outputs.what(), "Too many output arguments.");
  EXPECT_EQ(caught([] { matrix::detail::error_maxrhs(); }).identifier(), "Q:TooManyInputs");
  const zy::ScriptError inputs = caught([] { matrix::detail::error_minrhs(); });
  EXPECT_EQ(inputs.identifier(), "Q:NotEnoughInputs");
  EXPECT_STREQ(inputs.message(), "Not enough input arguments.");
  EXPECT_EQ(printed, "") << "in mode -1 the runtime reports the error, not the library";
}

TEST_F(ZyErrors, ModeZeroAlsoPrintsTheMessage) {
  EXPECT_EQ(zyGetErrorMode(), 0);
  const zy::ScriptError error =
      caught([] { zyErrMsgIdAndTxt("Test:Id", "value %d of %s", 3, "x"); });
  EXPECT_EQ(error.identifier(), "Test:Id");
  EXPECT_STREQ(error.what(), "value 3 of x");
  EXPECT_EQ(printed, "Error: value 3 of x\n");
  EXPECT_EQ(caught([] { zyErrMsgTxt("plain"); }).identifier(), "");
}

struct FakeMessage {
  std::string id() const { return "RTKKVN_SAMPLE"; }
  std::string text() const { return "A sample message."; }
};

TEST_F(ZyErrors, MessageClassesRaiseTheirIdentifierAndText) {
  zySetErrorMode(-1);
  const zy::ScriptError error = caught([] { zyErrMsgId(FakeMessage()); });
  EXPECT_EQ(error.identifier(), "RTKKVN_SAMPLE");
  EXPECT_STREQ(error.what(), "A sample message.");
}

TEST_F(ZyErrors, ModeIsPerThreadAndSetReturnsThePrevious) {
  EXPECT_EQ(zySetErrorMode(-1), 0);
  int seenByOtherThread = 99;
  std::thread other([&] { seenByOtherThread = zyGetErrorMode(); });
  other.join();
  EXPECT_EQ(seenByOtherThread, 0);
  EXPECT_EQ(zySetErrorMode(0), -1);
}

TEST_F(ZyErrors, ScriptErrorIsAStandardException) {
  try {
    zySetErrorMode(-1);
    matrix::get_string(nullptr);
    FAIL() << "a missing string must raise";
  } catch (const std::exception& error) {
    EXPECT_STREQ(error.what(), "Expected a character array.");
    EXPECT_EQ(dynamic_cast<const zy::ScriptError&>(error).identifier(), "Q:ExpectedString");
  }
}

}  // namespace
