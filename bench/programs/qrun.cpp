// Runs one Q program for the whole-program benchmarks: qrun FILE.q [NUMBER ...] starts one engine
// instance with the file's folder on the search path, calls the file by name with the numbers as
// double scalar inputs and writes what it prints to standard output. A Q error goes to standard
// error with its identifier and line, and the exit status is 1. Benchmark-only: there is no
// standalone Q executable yet.

#include <boost/make_shared.hpp>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/instance.hpp"
#include "util/sinks.hpp"
#include "zy.h"

namespace {

class FileSink : public CmdWinSink {
 public:
  explicit FileSink(std::FILE* file) : file_(file) {}
  void write(const char* text, size_t length) override { std::fwrite(text, 1, length, file_); }
  using CmdWinSink::write;
  void flush() override { std::fflush(file_); }

 private:
  std::FILE* file_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: qrun PROGRAM.q [NUMBER ...]\n");
    return 2;
  }
  std::string path = argv[1];
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.size() > 2 && name.compare(name.size() - 2, 2, ".q") == 0) name.resize(name.size() - 2);

  std::vector<zyArray*> inputs;
  for (int i = 2; i < argc; ++i) {
    char* end = nullptr;
    const double value = std::strtod(argv[i], &end);
    if (end == argv[i] || *end != '\0') {
      std::fprintf(stderr, "qrun: not a number: %s\n", argv[i]);
      return 2;
    }
    inputs.push_back(zyCreateDoubleScalar(value));
  }

  kvnOptions options;
  options.set_print_handler(boost::make_shared<FileSink>(stdout));
  options.set_error_handler(boost::make_shared<FileSink>(stderr));
  options.set_kvn_path({folder});
  int status = 0;
  try {
    kvnInstance* instance = new kvnInstance(options, nullptr, nullptr);
    if (!instance->CallSorvelFunction(name.c_str(), 0, nullptr, static_cast<int>(inputs.size()),
                                      inputs.data())) {
      const kvnErrorState& error = instance->GetErrorState();
      std::fflush(stdout);
      std::fprintf(stderr, "qrun: %s: %s", error.identifier.c_str(), error.message.c_str());
      if (!error.stack.empty()) std::fprintf(stderr, " (line %d)", error.stack.front().line);
      std::fprintf(stderr, "\n");
      status = 1;
    }
    kvnInstance::PopActivation(instance);
    kvnInstance::Detach(instance);
  } catch (const kvnInstantiationError& error) {
    std::fprintf(stderr, "qrun: %s\n", error.GetMessageTxt());
    status = 1;
  }
  for (zyArray* input : inputs) zyDestroyArray(input);
  std::fflush(stdout);
  return status;
}
