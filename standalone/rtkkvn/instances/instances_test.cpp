// Runtime instances against the real engine: start-up data, the registry's create / register /
// active / terminate cycle, handle queries, the C-boundary error capture, component instances
// and the engine options their factory builds.

#include <gtest/gtest.h>

#include <atomic>
#include <boost/make_shared.hpp>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/exceptions.hpp"
#include "base/last_error.hpp"
#include "ctf/ctf_package.hpp"
#include "rtkbase.h"
#include "rtkkvn.h"
#include "rtkkvn/components/extracted_component.hpp"
#include "rtkkvn/instances/error_capture.hpp"
#include "rtkkvn/instances/instance_registry.hpp"
#include "util/services.hpp"
#include "util/text_conversion.hpp"
#include "vm/zvm.hpp"

namespace {

namespace stdfs = std::filesystem;

const rtkUserException* lastUserError() {
  return dynamic_cast<const rtkUserException*>(getLastError());
}

std::vector<std::uint64_t> registeredIds() {
  return RtkInstanceRegistry::registryInstance()->registeredIds();
}

HKVNINSTANCE newInstance(const std::vector<std::string>& options = {}) {
  return rtkInitializeInstance(options, {}, {});
}

class Instances : public ::testing::Test {
 protected:
  void SetUp() override {
    svSetStandaloneMode(true);
    rtkClearLastError();
  }
};

// The version the runtime reports and the shape of its built-in table (one gateway, then the
// terminating null); the table's fixed numbers are constants of the source, not checked here.
TEST(StartUp, VersionDataAndFunctionTable) {
  const char* version = nullptr;
  EXPECT_FALSE(rtkGetKVNVersion(nullptr));
  ASSERT_TRUE(rtkGetKVNVersion(&version));
  EXPECT_STREQ(version, "8.1");

  const rtkBuiltinFunctionTable* table = QueryTNFcnTable_rtkkvn();
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->count, 1u);
  EXPECT_NE(table->gateways[0], nullptr);
  EXPECT_EQ(table->gateways[1], nullptr);
  EXPECT_TRUE(rtkkvnInitialize2(0));
  EXPECT_FALSE(rtkkvnInitialize2(42));
}

TEST_F(Instances, CreateRegisterActivateTerminateCycle) {
  HKVNINSTANCE first = newInstance();
  HKVNINSTANCE second = newInstance();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  const int firstId = rtkGetID(first);
  const int secondId = rtkGetID(second);
  EXPECT_LT(firstId, secondId);
  EXPECT_EQ(registeredIds(),
            (std::vector<std::uint64_t>{std::uint64_t(firstId), std::uint64_t(secondId)}));

  // The newest instance made on this thread is the current one.
  EXPECT_EQ(rtkGetActiveHKVNINSTANCE(), second);
  EXPECT_EQ(rtkGetActiveID(), secondId);
  EXPECT_EQ(rtkHandleToKvnInstancePtr(second), kvnInstance::GetKVN());

  EXPECT_TRUE(rtkTerminateInstance(&first));
  EXPECT_EQ(first, nullptr);
  EXPECT_EQ(registeredIds(), std::vector<std::uint64_t>{std::uint64_t(secondId)});
  EXPECT_TRUE(rtkTerminateInstance(&first));  // already null: nothing to do

  EXPECT_TRUE(rtkTerminateInstance(&second));
  EXPECT_TRUE(registeredIds().empty());
  EXPECT_EQ(rtkGetActiveHKVNINSTANCE(), nullptr);
  EXPECT_EQ(getLastError(), nullptr);

  HKVNINSTANCE third = newInstance();
  EXPECT_GT(rtkGetID(third), secondId);
  EXPECT_EQ(registeredIds().size(), 1u);
  EXPECT_TRUE(rtkTerminateInstance(&third));
}

// VM instances, through a registry of their own (the process's registry chose direct
// instances).
RtkInstanceRegistry* vmRegistry = nullptr;
RtkKvnInstance* activeSeenInsideVm = nullptr;
void recordActiveInstance(int, zyArray**, int, zyArray**) {
  activeSeenInsideVm = vmRegistry->activeInstance();
}
// Sets the global "fromother" of otherVm from a callback running in another VM.
RtkKvnInstance* otherVm = nullptr;
void setGlobalOfOtherVm(int, zyArray**, int, zyArray**) {
  zyArray* inputs[2] = {zyCreateString("fromother"), zyCreateDoubleScalar(7)};
  otherVm->feval("rtksetglobal", 0, nullptr, 2, inputs);
  zyDestroyArray(inputs[0]);
  zyDestroyArray(inputs[1]);
}

TEST_F(Instances, VmCreateRegisterActiveTerminateCycle) {
  RtkInstanceRegistry registry(boost::make_shared<RtkZvmKvnInstanceFactoryImpl>());
  vmRegistry = &registry;
  std::unique_ptr<RtkKvnInstance> first(registry.createInstance({}, {}, {}));
  std::unique_ptr<RtkKvnInstance> second(registry.createInstance({}, {}, {}));
  ASSERT_NE(dynamic_cast<RtkZvmKvnInstance*>(first.get()), nullptr);
  EXPECT_LT(first->getId(), second->getId());
  EXPECT_EQ(registry.registeredIds(), (std::vector<std::uint64_t>{std::uint64_t(first->getId()),
                                                                  std::uint64_t(second->getId())}));
  ASSERT_NE(second->getKvnInstance(), nullptr);
  EXPECT_NE(first->getKvnInstance(), second->getKvnInstance());

  // The engine instances run on the VMs' threads: this thread has none active, while code
  // running inside a VM sees that VM's instance.
  EXPECT_EQ(registry.activeInstance(), nullptr);
  ASSERT_TRUE(second->registerExternalFunction("recordactive", recordActiveInstance));
  EXPECT_TRUE(second->evalString(L"recordactive();"));
  EXPECT_EQ(activeSeenInsideVm, second.get());

  // A callback running in one VM that calls another VM reaches that VM, not its own.
  otherVm = first.get();
  ASSERT_TRUE(second->registerExternalFunction("setonother", setGlobalOfOtherVm));
  EXPECT_TRUE(second->evalString(L"setonother();"));
  for (RtkKvnInstance* vm : {first.get(), second.get()}) {
    zyArray* key = zyCreateString("fromother");
    zyArray* value = nullptr;
    vm->feval("rtkgetglobal", 1, &value, 1, &key);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(zyGetNumberOfElements(value), vm == otherVm ? 1u : 0u);
    zyDestroyArray(value);
    zyDestroyArray(key);
  }

  // Failures answer through the VMs' futures too (the loop above shows each VM's own globals).
  EXPECT_FALSE(first->evalString(L"x = noSuchThing;"));
  zyArray* output[1] = {nullptr};
  try {
    first->feval("noSuchFunctionAnywhere", 1, output, 0, nullptr);
    ADD_FAILURE() << "a missing function must fail";
  } catch (const rtkSorvelException& error) {
    EXPECT_EQ(error.getErrorId(), "Q:undefined");
  }

  const int firstId = first->getId();
  first->terminate();
  EXPECT_EQ(first->getId(), firstId);
  EXPECT_EQ(first->getKvnInstance(), nullptr);
  EXPECT_EQ(zvm::ProcessSession::current()->getVM(firstId), nullptr);
  EXPECT_THROW(first->evalString(L"x = 1;"), rtkInternalException);
  first.reset();
  EXPECT_EQ(registry.registeredIds(), std::vector<std::uint64_t>{std::uint64_t(second->getId())});
  second->terminate();
  second.reset();
  EXPECT_TRUE(registry.registeredIds().empty());
  vmRegistry = nullptr;
}

TEST_F(Instances, VmWhoseStartFailsRegistersNothing) {
  RtkInstanceRegistry registry(boost::make_shared<RtkZvmKvnInstanceFactoryImpl>());
  const std::size_t knownVms = zvm::ProcessSession::current()->vmCount();
  EXPECT_THROW(registry.createInstance({"-replacepath", "/no/such/folder/for/a/vm"}, {}, {}),
               kvnInstantiationError);
  EXPECT_TRUE(registry.registeredIds().empty());
  EXPECT_EQ(zvm::ProcessSession::current()->vmCount(), knownVms);

  // Without a folder after it the option is not a replacement.
  std::unique_ptr<RtkKvnInstance> instance(registry.createInstance({"-replacepath"}, {}, {}));
  EXPECT_EQ(registry.registeredIds().size(), 1u);
  instance->terminate();
  instance.reset();
  EXPECT_TRUE(registry.registeredIds().empty());
}

TEST_F(Instances, NullHandlesAndNullVariables) {
  EXPECT_EQ(rtkGetID(nullptr), 0);
  EXPECT_EQ(getLastError(), nullptr);

  EXPECT_FALSE(rtkTerminateInstance(nullptr));
  ASSERT_NE(lastUserError(), nullptr);
  EXPECT_EQ(lastUserError()->getErrorId(), "RTK:ComponentInstance");
  EXPECT_EQ(lastUserError()->getMessage().id(), "RTKKVN_NULL_HANDLE_TO_TERMINATE");

  EXPECT_THROW(rtkHandleToKvnInstancePtr(nullptr), rtkInternalException);
  EXPECT_THROW(rtkTerminateInstanceInternal(nullptr), rtkInternalException);
}

TEST_F(Instances, DeployedFlagNeedsTheExactOption) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"-deployedkvn", true}, {"-deployedkvn ", false}, {"-DEPLOYEDKVN", false}, {"x", false}};
  for (const auto& [option, deployed] : cases) {
    HKVNINSTANCE instance = newInstance({"-nodisplay", option});
    EXPECT_EQ(rtkHandleToKvnInstancePtr(instance)->options().deployed, deployed) << option;
    EXPECT_TRUE(rtkTerminateInstance(&instance));
  }
}

TEST_F(Instances, HostInstanceOutsideStandaloneModeIsCachedAndUnregistered) {
  HKVNINSTANCE own = newInstance();
  svSetStandaloneMode(false);
  HKVNINSTANCE host = rtkGetActiveHKVNINSTANCE();
  EXPECT_EQ(rtkGetActiveHKVNINSTANCE(), host);
  ASSERT_NE(host, nullptr);
  EXPECT_NE(host, own);
  EXPECT_EQ(registeredIds(), std::vector<std::uint64_t>{std::uint64_t(rtkGetID(own))});
  svSetStandaloneMode(true);
  EXPECT_TRUE(rtkTerminateInstance(&own));
}

// Results and globals through the exports are calls_test.cpp's; here the instance's own feval
// reports a script error and gives the call lock back on that path.
TEST_F(Instances, FevalReportsScriptErrorsAndReleasesTheCallLock) {
  HKVNINSTANCE handle = newInstance();
  const RtkInstancePin pin(handle, "test");
  RtkKvnInstance& instance = *pin;
  zyArray* output[1] = {nullptr};
  try {
    instance.feval("noSuchFunctionAnywhere", 1, output, 0, nullptr);
    ADD_FAILURE() << "a missing function must fail";
  } catch (const rtkSorvelException& error) {
    EXPECT_EQ(error.getErrorId(), "Q:undefined");
  }
  ASSERT_TRUE(instanceCallLock->try_lock());  // released on the failure path too
  instanceCallLock->unlock();

  EXPECT_TRUE(instance.evalString(L"x = 1;"));
  EXPECT_FALSE(instance.evalString(L"x = noSuchThing;"));
  EXPECT_TRUE(rtkTerminateInstance(&handle));
}

TEST_F(Instances, CaptureRecordsEachKindOfError) {
  const rtkBoundary boundary = RTK_BOUNDARY("RTK:Test:Capture", "standalone/rtkkvn/kvn_inst");
  EXPECT_EQ(rtkCaptureErrors(boundary, -1, [] { return 7; }), 7);
  EXPECT_EQ(getLastError(), nullptr);

  EXPECT_EQ(rtkCaptureErrors(boundary, -1,
                             []() -> int {
                               throw rtkSorvelException("Q:mine", "broken", {{"f.q", "f", 3}});
                             }),
            -1);
  ASSERT_NE(dynamic_cast<const rtkSorvelException*>(getLastError()), nullptr);
  EXPECT_EQ(getLastError()->getErrorId(), "Q:mine");
  EXPECT_EQ(getLastError()->getStackLines().size(), 1u);

  struct Case {
    std::function<void()> raise;
    const char* messageId;
    std::string lastArgument;
  };
  const std::vector<Case> cases = {
      {[] { throw rtkInternalException("inner fault", "x", 9); }, "RTKKVN_UNKNOWN_INTERNAL_ERROR",
       "inner fault"},
      {[] { throw std::out_of_range("too far"); }, "RTKKVN_UNKNOWN_INTERNAL_ERROR", "too far"},
      {[] { throw 42; }, "RTKKVN_UNKNOWN_ERROR_IN", std::to_string(boundary.line)},
  };
  for (const Case& test : cases) {
    EXPECT_FALSE(rtkCaptureErrors(boundary, false, [&] {
      test.raise();
      return true;
    }));
    ASSERT_NE(lastUserError(), nullptr) << test.messageId;
    EXPECT_EQ(lastUserError()->getErrorId(), "RTK:Test:Capture");
    EXPECT_EQ(lastUserError()->getMessage().id(), test.messageId);
    EXPECT_EQ(lastUserError()->getMessage().arguments(),
              (std::vector<std::string>{"standalone/rtkkvn/kvn_inst", test.lastArgument}));
  }
}

// Handles are checked without a lock: another thread checking handles all along never sees the
// live one refused or a made-up one taken while many instances are made (the live set grows
// past its first sizes) and terminated; live handles keep answering and terminated ones are
// refused without being read (the sanitizer build checks the reads).
TEST_F(Instances, HandlesAreCheckedRightWhileInstancesComeAndGo) {
  HKVNINSTANCE steady = newInstance();
  const int steadyId = rtkGetID(steady);
  std::atomic<bool> done{false};
  std::atomic<int> wrong{0};
  int madeUp = 0;
  std::thread checker([&] {
    while (!done) {
      if (rtkGetID(steady) != steadyId || rtkGetID(&madeUp) != 0) ++wrong;
    }
  });
  for (int round = 0; round < 2; ++round) {
    std::vector<HKVNINSTANCE> made(150);
    std::vector<int> ids;
    for (HKVNINSTANCE& handle : made) {
      handle = newInstance();
      ids.push_back(rtkGetID(handle));
    }
    const std::vector<HKVNINSTANCE> copies = made;
    for (std::size_t i = 0; i < made.size(); i += 2) ASSERT_TRUE(rtkTerminateInstance(&made[i]));
    for (std::size_t i = 0; i < made.size(); ++i) {
      ASSERT_EQ(rtkGetID(copies[i]), i % 2 ? ids[i] : 0) << i;
      if (i > 0) {
        ASSERT_GT(ids[i], ids[i - 1]);
      }
    }
    for (std::size_t i = 1; i < made.size(); i += 2) ASSERT_TRUE(rtkTerminateInstance(&made[i]));
  }
  done = true;
  checker.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_TRUE(rtkTerminateInstance(&steady));
  EXPECT_TRUE(registeredIds().empty());
}

// A component unpacked into a temporary folder, with its settings manifest.
class ComponentInstances : public Instances {
 protected:
  void SetUp() override {
    Instances::SetUp();
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/instances.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = pattern;
    extractDir = root + "/Rechner_kvn";
    stdfs::create_directories(extractDir + "/" + kUUID);
    stdfs::create_directories(root + "/prefs");
    Ostrand::ctfpack::CTFSettings settings;
    settings.componentName = L"Rechner";
    settings.componentId = fl::i18n::to_ustring(kUUID);
    settings.publicFunctions = {{L"add"}, {L"Mul"}};
    settings.warningStates = {L"off:Sorvel:divideByZero"};
    Ostrand::ctfpack::CTFPackage::writeCTFSettingsToExtractedCTFLocation(
        fl::i18n::to_ustring(extractDir), settings);
    component = boost::make_shared<rtkExtractedComponent>(dsPathString(extractDir),
                                                          dsPathString(root + "/prefs"));
  }
  void TearDown() override {
    component.reset();
    stdfs::remove_all(root);
  }

  static constexpr char kUUID[] = "Rechner_00112233445566778899aabbccddeeff";
  std::string root, extractDir;
  boost::shared_ptr<rtkExtractedComponent> component;
  RtkDirectKvnInstanceFactoryImpl factory;
};

TEST_F(ComponentInstances, SharedWorkgroupFolderAndPublicFunctions) {
  std::unique_ptr<RtkKvnInstance> first(factory.createComponentInstance(
      {}, {}, {}, component, {fl::i18n::to_ustring(root)}, nullptr, nullptr));
  std::unique_ptr<RtkKvnInstance> second(
      factory.createComponentInstance({}, {}, {}, component, {}, nullptr, nullptr));
  const kvnOptions& options = first->getKvnInstance()->options();
  EXPECT_EQ(options.workgroup_dir(), extractDir + "/" + kUUID);
  EXPECT_EQ(second->getKvnInstance()->options().workgroup_dir(), options.workgroup_dir());
  EXPECT_EQ(options.user_dir(), root + "/prefs");
  EXPECT_EQ(options.kvn_path(), std::vector<std::string>{root});
  EXPECT_EQ(options.warning_state(), std::vector<std::string>{"off:Sorvel:divideByZero"});
  EXPECT_TRUE(options.deployed && options.component && !options.nojvm);

  // The instance asks its component's data (exactness is component_record_test.cpp's).
  EXPECT_TRUE(first->isPublicFunction("Mul"));
  EXPECT_FALSE(first->isPublicFunction("mul"));
  first->terminate();
  second->terminate();
}

// A factory whose plain instances are component instances with a search folder that does not
// exist, so the engine refuses to start them.
class FailingFactory : public RtkDirectKvnInstanceFactoryImpl {
 public:
  explicit FailingFactory(boost::shared_ptr<rtkExtractedComponent> component)
      : component_(std::move(component)) {}
  RtkKvnInstance* createInstance(const RtkUnregisterCallback& callback,
                                 const std::vector<std::string>&, const RtkTextHandler& error,
                                 const RtkTextHandler& print) override {
    return createComponentInstance(callback, error, print, component_, {L"/no/such/folder/x"},
                                   nullptr, nullptr);
  }

 private:
  boost::shared_ptr<rtkExtractedComponent> component_;
};

TEST_F(ComponentInstances, FailingEngineStartRegistersNothing) {
  RtkInstanceRegistry registry(boost::make_shared<FailingFactory>(component));
  try {
    registry.createInstance({}, {}, {});
    ADD_FAILURE() << "the engine must refuse a missing search folder";
  } catch (const rtkUserException& error) {
    EXPECT_EQ(error.getErrorId(), "rtkkvn:InitializeKVN");
    EXPECT_EQ(error.getMessage().id(), "RTKKVN_KVN_INITIALIZATION_FAILED");
  }
  EXPECT_TRUE(registry.registeredIds().empty());
}

// The other fields are read back through a real component instance above.
TEST(BuildKvnOptions, LongUserFolderIsCutOnlyInTheFixedBuffer) {
  const std::string userDir(3000, 'u');
  const kvnOptions options = buildKvnOptions(
      true, false, true, {L"/a", L"/b"}, {"on:x"}, "/tb", userDir, "/wg",
      [](const char*) { return 0; }, [](const char*) { return 0; });
  EXPECT_EQ(options.user_dir(), userDir);
  EXPECT_EQ(std::string(options.user_dir_buffer), userDir.substr(0, kKvnOptionsPathLength - 1));
}

}  // namespace
