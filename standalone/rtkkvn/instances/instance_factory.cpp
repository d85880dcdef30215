#include "rtkkvn/instances/instance_factory.hpp"

#include <boost/make_shared.hpp>
#include <cstring>

#include "base/exceptions.hpp"
#include "base/path_macros.hpp"
#include "msg/message.hpp"
#include "rtkkvn/components/extracted_component.hpp"
#include "util/qfile_reader.hpp"
#include "util/services.hpp"
#include "util/sinks.hpp"
#include "util/text_conversion.hpp"
#include "vm/zvm.hpp"

namespace {

constexpr char kInitializeKvnErrorId[] = "rtkkvn:InitializeKVN";

// Copies text into a fixed buffer of the engine's option record, cut to fit and terminated.
void copyToFixedBuffer(char (&buffer)[kKvnOptionsPathLength], const std::string& text) {
  const std::size_t length = std::min(text.size(), kKvnOptionsPathLength - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

boost::shared_ptr<CmdWinSink> sinkFor(const RtkTextHandler& handler) {
  if (!handler) return nullptr;
  return boost::make_shared<PutsFnSink>(handler);
}

// Makes an instance, turning an engine start-up failure into the error a host can act on.
template <typename Make>
RtkKvnInstance* startEngineInstance(Make make) {
  try {
    return make();
  } catch (const kvnInstantiationError& error) {
    throw rtkUserException(kInitializeKvnErrorId,
                           KVN::rtkkvn::RTKKVN_KVN_INITIALIZATION_FAILED(error.GetMessageTxt()));
  }
}

// Starts a VM and waits for its id without holding the engine mutex; a failed start throws
// what the VM's start threw.
int startVm(const zvm::ZVMOptions& options) {
  boost::unique_future<int> started = zvm::ProcessSession::current()->createVM(options);
  if (!started.valid()) throw boost::future_uninitialized();
  tnutil::threadutil::ReleaseCountedMutexGuard release(kvn_mutex);
  return started.get();
}

}  // namespace

RtkKvnInstanceFactoryImpl::~RtkKvnInstanceFactoryImpl() = default;

RtkKvnInstance* RtkKvnInstanceFactoryImpl::hostInstance() {
  boost::lock_guard<boost::mutex> lock(hostMutex_);
  if (!hostInstance_) hostInstance_.reset(createHostInstance());
  return hostInstance_.get();
}

bool RtkKvnInstanceFactoryImpl::isHostInstance(const void* handle) {
  boost::lock_guard<boost::mutex> lock(hostMutex_);
  return hostInstance_ && hostInstance_.get() == handle;
}

kvnOptions buildKvnOptions(bool flagA, bool flagB, bool flagC,
                           const std::vector<std::wstring>& searchPath,
                           const std::vector<std::string>& warningStates,
                           const std::string& toolboxPrefix, const std::string& userDir,
                           const std::string& workgroupDir, const RtkTextHandler& errorHandler,
                           const RtkTextHandler& printHandler) {
  kvnOptions options;
  // An empty handler leaves the sink null: the instance then writes to the process-wide sinks.
  options.set_error_handler(sinkFor(errorHandler));
  options.set_print_handler(sinkFor(printHandler));
  options.deployed = flagA;
  options.nojvm = flagB;
  std::vector<std::string> path;
  path.reserve(searchPath.size());
  for (const std::wstring& entry : searchPath) path.push_back(fl::i18n::to_string(entry));
  options.set_kvn_path(path);
  options.set_toolbox_prefix(toolboxPrefix);
  options.component = flagC;
  copyToFixedBuffer(options.user_dir_buffer, userDir);
  options.set_user_dir(userDir);
  options.set_workgroup_dir(workgroupDir);
  options.set_warning_state(warningStates);
  return options;
}

RtkKvnInstance* RtkDirectKvnInstanceFactoryImpl::createInstance(
    const RtkUnregisterCallback& unregisterCallback, const std::vector<std::string>& options,
    const RtkTextHandler& /*errorHandler*/, const RtkTextHandler& /*printHandler*/) {
  kvnOptions engineOptions;
  copyToFixedBuffer(engineOptions.bin_arch_dir, svGetBinArchDir());
  engineOptions.deployed = false;
  engineOptions.nojvm = false;
  engineOptions.component = false;
  for (const std::string& option : options) {
    if (option == kDeployedKvnOption) engineOptions.deployed = true;
  }
  auto reader = boost::make_shared<PlaintextQfileReader>();
  return startEngineInstance([&] {
    return new RtkDirectKvnInstance(unregisterCallback, nullptr, engineOptions, reader, nullptr);
  });
}

RtkKvnInstance* RtkDirectKvnInstanceFactoryImpl::createComponentInstance(
    const RtkUnregisterCallback& unregisterCallback, const RtkTextHandler& errorHandler,
    const RtkTextHandler& printHandler, boost::shared_ptr<rtkExtractedComponent> component,
    const std::vector<std::wstring>& searchPath, boost::shared_ptr<QfileReader> qfileReader,
    boost::shared_ptr<NubFileReader> nubFileReader) {
  const boost::shared_ptr<rtkComponentData> data = component->getComponentData();
  const std::string uuid = component->getComponentUUID();
  // Every instance of one component shares the workgroup folder inside its unpacked folder.
  const std::string workgroupDir = (component->getExtractDir() / dsPathString(uuid)).str();
  const std::string userDir = component->getPrefDir().str();
  const std::string toolboxPrefix = rtkRuntimePathMacros::getInstance().get(kToolboxPrefixMacro);
  const kvnOptions options =
      buildKvnOptions(true, false, true, searchPath, data->getWarningStates(), toolboxPrefix,
                      userDir, workgroupDir, errorHandler, printHandler);
  return startEngineInstance([&] {
    return new RtkDirectKvnInstance(unregisterCallback, component, options, qfileReader,
                                    nubFileReader);
  });
}

RtkKvnInstance* RtkDirectKvnInstanceFactoryImpl::createHostInstance() {
  return new RtkDirectKvnInstance(kvnInstance::GetKVN());
}

RtkKvnInstance* RtkZvmKvnInstanceFactoryImpl::createInstance(
    const RtkUnregisterCallback& unregisterCallback, const std::vector<std::string>& options,
    const RtkTextHandler& /*errorHandler*/, const RtkTextHandler& /*printHandler*/) {
  zvm::ZVMOptions vmOptions(true);
  for (std::size_t index = 0; index < options.size(); ++index) {
    if (options[index] == kReplacePathOption && index + 1 < options.size()) {
      vmOptions.replacePath = true;
      vmOptions.replacementPath = options[++index];
    }
  }
  const int id = startVm(vmOptions);
  return new RtkZvmKvnInstance(unregisterCallback, id, nullptr);
}

RtkKvnInstance* RtkZvmKvnInstanceFactoryImpl::createComponentInstance(
    const RtkUnregisterCallback& unregisterCallback, const RtkTextHandler& errorHandler,
    const RtkTextHandler& printHandler, boost::shared_ptr<rtkExtractedComponent> component,
    const std::vector<std::wstring>& searchPath, boost::shared_ptr<QfileReader> /*qfileReader*/,
    boost::shared_ptr<NubFileReader> /*nubFileReader*/) {
  const boost::shared_ptr<rtkComponentData> data = component->getComponentData();
  zvm::ZVMOptions vmOptions(true);
  vmOptions.component = true;
  vmOptions.errorSink = sinkFor(errorHandler);
  vmOptions.printSink = sinkFor(printHandler);
  vmOptions.userDir = component->getPrefDir().str();
  vmOptions.workgroupDir =
      (component->getExtractDir() / dsPathString(component->getComponentUUID())).str();
  vmOptions.toolboxPrefix = rtkRuntimePathMacros::getInstance().get(kToolboxPrefixMacro);
  for (const std::wstring& entry : searchPath) {
    vmOptions.searchPath.push_back(fl::i18n::to_string(entry));
  }
  vmOptions.warningStates = data->getWarningStates();
  const int id = startVm(vmOptions);
  return new RtkZvmKvnInstance(unregisterCallback, id, component);
}

RtkKvnInstance* RtkZvmKvnInstanceFactoryImpl::createHostInstance() {
  return new RtkDirectKvnInstance(zvm::Factory::getCurrentLocalZVM()->getKvnInstance());
}
