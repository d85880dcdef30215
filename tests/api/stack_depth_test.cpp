// Deep recursion on the small thread stacks hosts give their worker threads: the engine runs on
// the caller's thread, so runaway recursion must end in Q:recursionLimit whatever the stack size,
// also when each level sits deep inside nested blocks; never in a crash.

#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "engine/instance.hpp"
#include "zy.h"

namespace {

namespace stdfs = std::filesystem;

// Runs body on a new thread with a stack of the given size and waits for it.
void onThreadWithStack(std::size_t stackBytes, const std::function<void()>& body) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, stackBytes), 0);
  pthread_t thread;
  auto* task = new std::function<void()>(body);
  ASSERT_EQ(pthread_create(
                &thread, &attributes,
                [](void* argument) -> void* {
                  auto* work = static_cast<std::function<void()>*>(argument);
                  (*work)();
                  delete work;
                  return nullptr;
                },
                task),
            0);
  pthread_attr_destroy(&attributes);
  pthread_join(thread, nullptr);
}

struct Outcome {
  bool succeeded = false;
  double value = 0;
  std::string identifier;
};

class StackDepth : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/stack_depth_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
    std::ofstream(folder_ / "deep.q") << "function r = deep(n)\n"
                                         "if n == 0\n  r = 0;\nelse\n  r = 1 + deep(n - 1);\nend\n";
    // The recursive call inside 200 nested blocks (if, for, while, try, switch in turn).
    std::string nested = "function r = nested(n)\nr = 0;\nif n == 0\n  return;\nend\n";
    const char* openers[] = {"if true\n", "for k = 1\n", "while true\n", "try\n",
                             "switch 1\ncase 1\n"};
    const char* closers[] = {"end\n", "end\n", "break\nend\n", "catch err\nrethrow(err);\nend\n",
                             "end\n"};
    constexpr int kLevels = 200;
    for (int level = 0; level < kLevels; ++level) nested += openers[level % 5];
    nested += "r = 1 + nested(n - 1);\n";
    for (int level = kLevels - 1; level >= 0; --level) nested += closers[level % 5];
    std::ofstream(folder_ / "nested.q") << nested;
  }
  void TearDown() override { stdfs::remove_all(folder_); }

  // Calls name(n) in an engine instance made, used and ended on the calling thread.
  Outcome call(const char* name, double n) {
    Outcome outcome;
    kvnOptions options;
    options.set_kvn_path({folder_.string()});
    kvnInstance* instance = new kvnInstance(options, nullptr, nullptr);
    zyArray* input = zyCreateDoubleScalar(n);
    zyArray* output = nullptr;
    outcome.succeeded = instance->CallSorvelFunction(name, 1, &output, 1, &input);
    if (outcome.succeeded) {
      outcome.value = *zyGetPr(output);
    } else {
      outcome.identifier = instance->GetErrorState().identifier;
    }
    zyDestroyArray(input);
    zyDestroyArray(output);
    kvnInstance::PopActivation(instance);
    kvnInstance::Detach(instance);
    return outcome;
  }

  stdfs::path folder_;
};

TEST_F(StackDepth, RunawayRecursionEndsInTheRecursionLimitOnEveryStackSize) {
  for (const std::size_t kilobytes : {256, 512, 8192}) {
    SCOPED_TRACE(std::to_string(kilobytes) + " KB stack");
    onThreadWithStack(kilobytes * 1024, [&] {
      for (const char* name : {"deep", "nested"}) {
        SCOPED_TRACE(name);
        const Outcome runaway = call(name, 1e6);
        EXPECT_FALSE(runaway.succeeded);
        // 200 nested blocks may not even parse on a small stack: a syntax error then.
        if (std::string(name) == "deep" || kilobytes == 8192) {
          EXPECT_EQ(runaway.identifier, "Q:recursionLimit");
        } else {
          EXPECT_TRUE(runaway.identifier == "Q:recursionLimit" ||
                      runaway.identifier == "Q:syntaxError")
              << runaway.identifier;
        }
        // The thread goes on working: a shallow call succeeds after it.
        const Outcome shallow = call("deep", 3);
        EXPECT_TRUE(shallow.succeeded) << shallow.identifier;
        EXPECT_EQ(shallow.value, 3);
      }
    });
  }
  // With room enough, the limit is the count of 500 activations and nothing less.
  onThreadWithStack(64u << 20, [&] {
    EXPECT_EQ(call("deep", 499).value, 499);
    EXPECT_EQ(call("deep", 500).identifier, "Q:recursionLimit");
  });
}

}  // namespace
