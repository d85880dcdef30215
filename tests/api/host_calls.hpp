#pragma once
// What the host-API tests share: the calling thread's last error, Q statements run in an
// instance's base workspace through the "eval" built-in, and a fixture that gives each test an
// instance of its own.

#include <gtest/gtest.h>

#include <string>

#include "rtkbase.h"
#include "rtkkvn.h"
#include "util/services.hpp"

namespace hosttest {

inline std::string lastMessage() {
  const char* message = rtkGetLastErrorMessage();
  return message ? message : "";
}

inline std::string lastId() {
  const char* identifier = rtkGetLastErrorIdentifier();
  return identifier ? identifier : "";
}

inline bool evalIn(HKVNINSTANCE instance, const std::string& statements) {
  zyArray* text = zyCreateString(statements.c_str());
  const bool succeeded = rtkFeval(instance, "eval", 0, nullptr, 1, &text);
  zyDestroyArray(text);
  return succeeded;
}

// A new instance without a component; nullptr (and a test failure) when none can be made.
inline HKVNINSTANCE newInstance() {
  HKVNINSTANCE instance = nullptr;
  EXPECT_TRUE(rtkInitializeInstanceWithoutComponent(&instance, nullptr, 0, nullptr, nullptr))
      << lastMessage();
  return instance;
}

// A handle whose instance was terminated: what a host keeps in a copy it forgot to clear.
inline HKVNINSTANCE staleHandle() {
  HKVNINSTANCE stale = newInstance();
  HKVNINSTANCE copy = stale;
  EXPECT_TRUE(rtkTerminateInstance(&copy)) << lastMessage();
  return stale;
}

// The library in standalone mode, started once for the suite, and a fresh instance per test,
// terminated afterwards unless the test cleared instance_ (it ended it itself).
class InstanceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    svSetStandaloneMode(true);
    ASSERT_TRUE(rtkkvnInitialize2(0));
  }
  void SetUp() override { ASSERT_NE(instance_ = newInstance(), nullptr); }
  void TearDown() override {
    if (instance_) {
      EXPECT_TRUE(rtkTerminateInstance(&instance_)) << lastMessage();
    }
  }
  HKVNINSTANCE instance_ = nullptr;
};

}  // namespace hosttest
