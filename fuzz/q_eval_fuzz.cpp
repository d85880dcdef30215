// Runs arbitrary bytes as Q statements in a fresh engine instance. A Q error is a fine answer;
// a crash, a sanitizer report, a leak or the error Q:internal (a C++ exception the engine did
// not expect) is a bug.
//
// The instance's call control bounds what a program may do, so that no input hangs or exhausts
// memory: at most kStepLimit polls (loop iterations and entries into Q code) per run, no array
// block larger than kBlockLimit bytes. The bounds multiply: a program may keep one block per
// step, so kStepLimit * kBlockLimit stays below libFuzzer's default RSS limit of 2 GB. pause is
// a host callback here that returns at once, so that no input sleeps; native extensions are not
// loaded.
//
// An input that starts with "function" is a function file up to a line "%%" and statements after
// it: the file is written as qfz.q to a folder on the instance's search path, so that the
// statements can call qfz (functions, unlike statements, are compiled by the resolver).

#include <boost/make_shared.hpp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "engine/dispatcher.hpp"
#include "engine/instance.hpp"
#include "util/sinks.hpp"
#include "util/warnings.hpp"

namespace {

constexpr std::uint64_t kStepLimit = 10000;
constexpr std::size_t kBlockLimit = std::size_t(64) << 10;

class DiscardingSink : public CmdWinSink {
 public:
  void write(const char*, size_t) override {}
};

class RefusingNubReader : public NubFileReader {
 public:
  NubFunction load(const std::string& path) override {
    throw std::runtime_error("the fuzz target loads no native extension ('" + path + "')");
  }
};

void returnAtOnce(int, zyArray**, int, zyArray**) {}

// The folder of the inputs' function file, made on first use and removed when the process ends.
struct FunctionFolder {
  FunctionFolder() {
    char name[] = "/tmp/q_eval_fuzz_XXXXXX";
    if (::mkdtemp(name)) path = name;
  }
  ~FunctionFolder() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
  std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const boost::shared_ptr<CmdWinSink> sink = boost::make_shared<DiscardingSink>();
  // warning('off', ...) must not carry over to the next input.
  utWarningManager* warnings = utInstallWarningManager();
  kvnOptions options;
  options.set_print_handler(sink);
  options.set_error_handler(sink);
  kvnInstance* instance =
      new kvnInstance(options, nullptr, boost::make_shared<RefusingNubReader>());
  instance->callControl()->setStepLimit(kStepLimit);
  instance->callControl()->setAllocationLimit(kBlockLimit);
  // Fuzzed programs must not write, remove or fill the disk of whoever runs the fuzzer.
  instance->callControl()->setFileAccess(false);
  kvnRegisterExternalFunction(instance, "pause", boost::make_shared<KvnCallExternal>(returnAtOnce));

  std::string statements(reinterpret_cast<const char*>(data), size);
  if (statements.compare(0, 8, "function") == 0) {
    static const FunctionFolder folder;
    const std::size_t split = statements.find("\n%%");
    std::ofstream(folder.path + "/qfz.q", std::ios::trunc) << statements.substr(0, split);
    statements = split == std::string::npos ? "qfz" : statements.substr(split + 3);
    qpAddDir(instance->GetDispatcher().get_path(), folder.path, kQpAddAtFront);
  }
  if (!instance->EvalString(statements)) {
    const kvnErrorState& error = instance->GetErrorState();
    if (error.identifier == "Q:internal") {
      std::fprintf(stderr, "Q:internal: %s\n", error.message.c_str());
      std::abort();
    }
  }
  kvnInstance::PopActivation(instance);
  kvnInstance::Detach(instance);
  utRemoveWarningManager(warnings);
  return 0;
}
