// The standalone main call: the command line reaches Q-code as char arrays, and each kind of
// failure is printed (and recorded) the way a standalone program reports it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "base/exceptions.hpp"
#include "engine/dispatcher.hpp"
#include "engine/instance.hpp"
#include "msg/message.hpp"
#include "rtkbase.h"
#include "rtkkvn.h"
#include "rtkkvn/instances/instance_registry.hpp"
#include "rtkkvn/instances/kvn_instance.hpp"
#include "rtkkvn/instances/user_data.hpp"
#include "util/services.hpp"

namespace {

namespace stdfs = std::filesystem;

// An instance whose calls fail with a given exception, for the error kinds Q-code cannot make.
class FailingInstance : public RtkKvnInstance {
 public:
  explicit FailingInstance(std::function<void()> fail) : fail_(std::move(fail)) {}
  int getId() override { return -1; }
  void terminate() override {}
  bool evalString(const std::wstring&) override { return false; }
  void feval(const char*, int, zyArray**, int, zyArray**) override { fail_(); }
  bool isPublicFunction(const char*) override { return false; }
  bool registerExternalFunction(const char*, KvnGatewayCallback) override { return false; }
  bool registerEventFunction(const char*, KvnGatewayCallback) override { return false; }
  zyArray* javaObjectToZyArray(jobject) override { return nullptr; }
  jobject zyArrayToJavaObject(zyArray*) override { return nullptr; }
  kvnInstance* getKvnInstance() override { return nullptr; }

 private:
  std::function<void()> fail_;
};

// Makes a fake instance known to the process's registry for its life, as every instance a host
// holds a handle to is; the library refuses handles it does not know.
class Registered {
 public:
  explicit Registered(RtkKvnInstance& instance) : instance_(instance) {
    RtkInstanceRegistry::registryInstance()->registerInstance(&instance_);
  }
  ~Registered() { RtkInstanceRegistry::registryInstance()->unregisterInstance(&instance_); }

 private:
  RtkKvnInstance& instance_;
};

class MainCall : public ::testing::Test {
 protected:
  void SetUp() override {
    svSetStandaloneMode(true);
    unsetenv("DISPLAY");  // no figure wait
    unsetenv("WAYLAND_DISPLAY");
    rtkClearLastError();
    folder_ = stdfs::temp_directory_path() / ("rtkkvn_main_" + std::to_string(::getpid()));
    stdfs::create_directories(folder_);
    std::ofstream(folder_ / "keepargs.q") << "function keepargs(varargin)\nglobal seen\n"
                                             "seen = varargin;\nglobal count\ncount = nargin;\n";
    std::ofstream(folder_ / "failmain.q")
        << "function failmain(x)\nerror('main:badArgument', 'bad argument %s', x);\n";
    std::ofstream(folder_ / "showdata.q")
        << "function v = showdata(key)\nv = getkvnuserdatainternal(key);\n";
    instance_ = rtkInitializeInstance({}, {}, {});
    ASSERT_NE(instance_, nullptr);
    ASSERT_TRUE(qpAddDir(rtkHandleToKvnInstancePtr(instance_)->GetDispatcher().get_path(),
                         folder_.string(), kQpAddAtFront));
  }
  void TearDown() override {
    EXPECT_TRUE(rtkTerminateInstance(&instance_));
    stdfs::remove_all(folder_);
  }

  // rtkMain's result and what it printed on the error stream.
  std::pair<int, std::string> runMain(HKVNINSTANCE instance, std::vector<const char*> argv,
                                      const char* name) {
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    const int result = rtkMain(instance, static_cast<int>(argv.size()), argv.data(), name, 0);
    const std::string printed = testing::internal::GetCapturedStdout();
    return {result, testing::internal::GetCapturedStderr() + printed};
  }
  std::string userData(const char* key) {
    zyArray* input = zyCreateString(key);
    zyArray* value = nullptr;
    EXPECT_TRUE(rtkFeval(instance_, "showdata", 1, &value, 1, &input));
    zyDestroyArray(input);
    char* text = value ? zyArrayToString(value) : nullptr;
    const std::string result = text ? text : "<none>";
    zyFree(text);
    if (value) zyDestroyArray(value);
    return result;
  }

  stdfs::path folder_;
  HKVNINSTANCE instance_ = nullptr;
};

TEST_F(MainCall, CommandLineArrivesAsCharArrays) {
  const auto [result, printed] = runMain(instance_, {"program", "first", "", "3"}, "keepargs");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(printed, "");
  zyArray* seen = nullptr;
  ASSERT_TRUE(rtkGetGlobal(instance_, "seen", &seen));
  ASSERT_TRUE(zyIsCell(seen));
  ASSERT_EQ(zyGetNumberOfElements(seen), 3u);
  const char* expected[] = {"first", "", "3"};
  for (size_t index = 0; index < 3; ++index) {
    const zyArray* element = zyGetCellConst(seen, index);
    ASSERT_NE(element, nullptr);
    EXPECT_TRUE(zyIsChar(element)) << index;
    char* text = zyArrayToString(element);
    EXPECT_STREQ(text, expected[index]);
    zyFree(text);
  }
  zyDestroyArray(seen);

  // Only the program name: no inputs at all.
  EXPECT_EQ(runMain(instance_, {"program"}, "keepargs").first, 0);
  zyArray* count = nullptr;
  ASSERT_TRUE(rtkGetGlobal(instance_, "count", &count));
  EXPECT_EQ(zyGetPr(count)[0], 0.0);
  zyDestroyArray(count);
}

// Each kind of failure: what is printed (error stream, then output), and the last error it
// leaves. Q-code cannot raise the runtime's own exceptions, so a fake instance throws those.
TEST_F(MainCall, EachKindOfFailurePrintsItsOwnWay) {
  FailingInstance runtimeError(
      [] { throw rtkUserException("RTK:Runtime:Test", KVN::rtkkvn::RTKKVN_UNEXPECTED_ERROR()); });
  FailingInstance otherError([] { throw std::runtime_error("not the runtime's"); });
  const Registered knownRuntimeError(runtimeError);
  const Registered knownOtherError(otherError);
  const struct {
    const char* what;
    HKVNINSTANCE instance;
    std::vector<const char*> argv;
    const char* function;
    const char* printed;
    const char* lastError;  // a fragment of the last error's identifier or message, or nullptr
  } cases[] = {
      {"Q-code error: its identifier", instance_, {"program", "zz"}, "failmain",
       "main:badArgument\n", "bad argument zz"},
      {"internal error: its text", nullptr, {"program"}, "keepargs",
       "rtkHandleToKvnInstance: inst argument is NULL\n", nullptr},
      {"runtime error: message, then identifier", &runtimeError, {"program", "x"}, "anything",
       "An unexpected error occurred in the runtime.\nRTK:Runtime:Test\n", "RTK:Runtime:Test"},
      {"other exception: nothing", &otherError, {"program"}, "anything", "", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    rtkClearLastError();
    const auto [result, printed] = runMain(c.instance, c.argv, c.function);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(printed, c.printed);
    if (c.lastError) {
      const char* id = rtkGetLastErrorIdentifier();
      const char* message = rtkGetLastErrorMessage();
      const std::string last = std::string(id ? id : "") + " " + (message ? message : "");
      EXPECT_NE(last.find(c.lastError), std::string::npos) << last;
    }
  }
}

TEST_F(MainCall, UserDataIsStoredPerKeyAsText) {
  setAllUserData(instance_, {{"beta", "2"}, {"alpha", "first value"}});
  EXPECT_EQ(userData("alpha"), "first value");
  EXPECT_EQ(userData("beta"), "2");
  zyArray* value = zyCreateString("replaced");
  EXPECT_TRUE(setUserData(instance_, "beta", value));
  zyDestroyArray(value);  // the caller's, the engine keeps its own copy
  EXPECT_EQ(userData("beta"), "replaced");
}

}  // namespace
