// The engine interface as the runtime library uses it: instances, calls, errors, callbacks,
// signatures, readers and the search path. Q-language behaviour itself is covered by the
// conformance suite in tests/q.

#include "engine/instance.hpp"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/make_shared.hpp>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/dispatcher.hpp"
#include "engine/errors.hpp"
#include "util/print.hpp"
#include "util/signal_thread.hpp"
#include "util/sinks.hpp"
#include "util/warnings.hpp"
#include "zy/errors.hpp"
#include "zy/matrix.hpp"

namespace {

// A folder of Q files, removed with the fixture.
class Folder {
 public:
  Folder() {
    char name[] = "/tmp/engine_test_XXXXXX";
    path_ = mkdtemp(name);
  }
  ~Folder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  const std::string& path() const { return path_; }
  void write(const std::string& name, const std::string& text) const {
    const std::string full = path_ + "/" + name;
    mkdir(full.substr(0, full.rfind('/')).c_str(), 0700);
    std::ofstream(full) << text;
  }

 private:
  std::string path_;
};

class TextSink : public CmdWinSink {
 public:
  void write(const char* text, size_t length) override { this->text.append(text, length); }
  std::string text;
};

struct InstanceDeleter {
  void operator()(kvnInstance* instance) const {
    kvnInstance::PopActivation(instance);
    kvnInstance::Detach(instance);
  }
};
using InstancePtr = std::unique_ptr<kvnInstance, InstanceDeleter>;

InstancePtr makeInstance(const std::vector<std::string>& path,
                         boost::shared_ptr<TextSink> sink = nullptr,
                         boost::shared_ptr<QfileReader> reader = nullptr) {
  kvnOptions options;
  options.set_kvn_path(path);
  if (sink) {
    options.set_print_handler(sink);
    options.set_error_handler(sink);
  }
  return InstancePtr(new kvnInstance(options, reader, nullptr));
}

double scalarOf(const zyArray* array) { return *static_cast<const double*>(zyGetDataConst(array)); }

// Calls name with real scalar inputs and one output; the output's value.
double call(kvnInstance& instance, const char* name, std::vector<double> inputs) {
  std::vector<zyArray*> arguments;
  for (double input : inputs) arguments.push_back(zyCreateDoubleScalar(input));
  zyArray* output = nullptr;
  const bool succeeded = instance.CallSorvelFunction(
      name, 1, &output, static_cast<int>(arguments.size()), arguments.data());
  for (zyArray* argument : arguments) zyDestroyArray(argument);
  EXPECT_TRUE(succeeded) << instance.GetErrorState().identifier << ": "
                         << instance.GetErrorState().message;
  const double value = output ? scalarOf(output) : -1;
  zyDestroyArray(output);
  return value;
}

// Calls function with one text input and one output; the number of elements of the output and
// its first value (-1 when it has none).
std::pair<size_t, double> resultOf(kvnInstance& instance, const char* function, const char* text) {
  zyArray* input = zyCreateString(text);
  zyArray* output = nullptr;
  const bool succeeded = instance.CallSorvelFunction(function, 1, &output, 1, &input);
  zyDestroyArray(input);
  EXPECT_TRUE(succeeded) << function << "(" << text << "): " << instance.GetErrorState().message;
  const size_t count = output ? zyGetNumberOfElements(output) : 0;
  const double value = count && zyIsDouble(output) ? scalarOf(output) : -1;
  zyDestroyArray(output);
  return {count, value};
}

TEST(EngineInstance, InstancesShareNoVariablesGlobalsPathFiguresOrUserData) {
  Folder folder;
  folder.write("onlyfirst.q", "function r = onlyfirst()\nr = 11;\n");
  InstancePtr first = makeInstance({folder.path()});
  InstancePtr second = makeInstance({});
  EXPECT_NE(first->GetId(), second->GetId());
  ASSERT_TRUE(first->EvalString(
      std::string("x = 5; global G; G = 7; figure; figure; setkvnuserdata('k', 3);")));
  EXPECT_EQ(call(*first, "onlyfirst", {}), 11);

  EXPECT_FALSE(second->EvalString(std::string("y = x + 1;")));
  EXPECT_EQ(second->GetErrorState().identifier, "Q:undefined");
  EXPECT_FALSE(second->CallSorvelFunction("onlyfirst", 0, nullptr, 0, nullptr));
  EXPECT_EQ(second->GetErrorState().identifier, "Q:undefined");
  EXPECT_EQ(resultOf(*second, "rtkgetglobal", "G").first, 0u);
  EXPECT_EQ(resultOf(*first, "rtkgetglobal", "G").second, 7);
  EXPECT_EQ(resultOf(*second, "getkvnuserdatainternal", "k").first, 0u);

  zyArray* root = zyCreateDoubleScalar(0);
  zyArray* children = nullptr;
  ASSERT_TRUE(first->CallSorvelFunction("allchild", 1, &children, 1, &root));
  EXPECT_EQ(zyGetNumberOfElements(children), 2u);
  zyDestroyArray(children);
  ASSERT_TRUE(second->CallSorvelFunction("allchild", 1, &children, 1, &root));
  EXPECT_EQ(zyGetNumberOfElements(children), 0u);
  zyDestroyArray(children);
  zyDestroyArray(root);
}

TEST(EngineInstance, RandomStateBelongsToTheInstance) {
  InstancePtr first = makeInstance({});
  InstancePtr second = makeInstance({});
  const double a = call(*first, "rand", {});
  call(*first, "rand", {});
  const double b = call(*second, "rand", {});
  EXPECT_EQ(a, b) << "each instance starts its own sequence";
}

TEST(EngineInstance, AnErrorLeavesAUsableInstanceAndACompleteErrorState) {
  Folder folder;
  folder.write("outer.q",
               "function outer(x)\n"
               "% calls middle\n"
               "middle(x);\n"
               "end\n"
               "function middle(x)\n"
               "if x > 0\n"
               "  error('test:failed', 'x was %d', x);\n"
               "end\n"
               "end\n");
  folder.write("fine.q", "function r = fine(x)\nr = x + 1;\n");
  InstancePtr instance = makeInstance({folder.path()});
  zyArray* input = zyCreateDoubleScalar(3);
  EXPECT_FALSE(instance->CallSorvelFunction("outer", 0, nullptr, 1, &input));
  zyDestroyArray(input);
  const kvnErrorState& state = instance->GetErrorState();
  EXPECT_EQ(state.identifier, "test:failed");
  EXPECT_EQ(state.message, "x was 3");
  ASSERT_EQ(state.stack.size(), 2u);
  EXPECT_EQ(state.stack[0].function, "middle");
  EXPECT_EQ(state.stack[0].line, 7);
  EXPECT_EQ(state.stack[0].file, folder.path() + "/outer.q");
  EXPECT_EQ(state.stack[1].function, "outer");
  EXPECT_EQ(state.stack[1].line, 3);

  EXPECT_EQ(call(*instance, "fine", {1}), 2);
  ASSERT_TRUE(instance->EvalString(std::string("v = 4;")));
}

TEST(EngineInstance, UndefinedNamesAndSyntaxErrorsSayWhatAndWhere) {
  Folder folder;
  folder.write("broken.q", "function r = broken(x)\nr = (x + ;\n");
  folder.write("usesmissing.q", "function usesmissing()\ny = missingThing(2);\n");
  InstancePtr instance = makeInstance({folder.path()});
  EXPECT_FALSE(instance->CallSorvelFunction("broken", 0, nullptr, 0, nullptr));
  EXPECT_EQ(instance->GetErrorState().identifier, "Q:syntaxError");
  EXPECT_EQ(instance->GetErrorState().message.rfind(folder.path() + "/broken.q:2:", 0), 0u)
      << instance->GetErrorState().message;

  EXPECT_FALSE(instance->CallSorvelFunction("usesmissing", 0, nullptr, 0, nullptr));
  EXPECT_EQ(instance->GetErrorState().identifier, "Q:undefined");
  EXPECT_NE(instance->GetErrorState().message.find("'missingThing'"), std::string::npos);
  ASSERT_FALSE(instance->GetErrorState().stack.empty());
  EXPECT_EQ(instance->GetErrorState().stack[0].line, 2);
}

TEST(EngineInstance, NothingCrashesOnHostileText) {
  InstancePtr instance = makeInstance({});
  const char* texts[] = {"x = [1 2; 3",
                         "end end",
                         "a(",
                         "f = @(",
                         "'unterminated",
                         "for k = 1:3",
                         "x = 1 +* 2",
                         "%{\n",
                         "s.(1) = 2",
                         "x = 5; x{1} = 1",
                         "[a, b] = 1",
                         "c = {1}; c{1}{1}{1}",
                         "x = 1; x(0) = 2",
                         "x(2, :, 3) = []",
                         "f = @(x) f(x); f(1)"};
  for (const char* text : texts) {
    EXPECT_FALSE(instance->EvalString(std::string(text))) << text;
    EXPECT_FALSE(instance->GetErrorState().message.empty()) << text;
  }
  EXPECT_TRUE(instance->EvalString(std::string("ok = 1;")));
}

TEST(EngineInstance, OutputGoesToThePrintHandler) {
  auto sink = boost::make_shared<TextSink>();
  InstancePtr instance = makeInstance({}, sink);
  ASSERT_TRUE(instance->EvalString(std::wstring(L"x = 3"), 0, nullptr));
  EXPECT_EQ(sink->text, "x =\n\n   3\n\n");
  sink->text.clear();
  EXPECT_FALSE(instance->EvalString(std::string("error('my:id', 'it broke')")));
  EXPECT_EQ(sink->text, "Error: it broke\n");
}

TEST(EngineInstance, CallsFromOutsideAnswerAlikeCompiledOrNot) {
  Folder folder;
  folder.write("root.q", "function y = root(x)\ny = x ^ 0.5;\n");
  folder.write("table.q",
               "function t = table()\nglobal T\nif isempty(T)\n  T = [1 2 3];\nend\nt = T;\n");
  InstancePtr instance = makeInstance({folder.path()});
  EXPECT_EQ(call(*instance, "root", {9}), 3);
  // Without outputs asked for, the answer still comes back, from a built-in or a program.
  zyArray* input = zyCreateDoubleScalar(-4);
  zyArray* outputs[2] = {nullptr, nullptr};
  ASSERT_TRUE(instance->CallSorvelFunction("abs", 0, outputs, 1, &input));
  EXPECT_EQ(scalarOf(outputs[0]), 4);
  zyDestroyArray(outputs[0]);
  EXPECT_EQ(scalarOf(input), -4) << "inputs stay the caller's and unchanged";
  *zyGetPr(input) = 16;
  ASSERT_TRUE(instance->CallSorvelFunction("root", 0, outputs, 1, &input));
  EXPECT_EQ(scalarOf(outputs[0]), 4);
  zyDestroyArray(outputs[0]);
  outputs[0] = nullptr;

  // Too many inputs or outputs: the usual errors, and no output written.
  zyArray* two[] = {input, input};
  EXPECT_FALSE(instance->CallSorvelFunction("root", 1, outputs, 2, two));
  EXPECT_EQ(instance->GetErrorState().identifier, "Q:TooManyInputs");
  EXPECT_FALSE(instance->CallSorvelFunction("root", 2, outputs, 1, &input));
  EXPECT_EQ(instance->GetErrorState().identifier, "Q:TooManyOutputs");
  EXPECT_EQ(outputs[0], nullptr);

  // A result that leaves the reals comes from the usual way, and so do later calls.
  *zyGetPr(input) = -4;
  ASSERT_TRUE(instance->CallSorvelFunction("root", 1, outputs, 1, &input));
  ASSERT_TRUE(zyIsComplex(outputs[0]));
  EXPECT_NEAR(*zyGetPi(outputs[0]), 2, 1e-12);
  zyDestroyArray(outputs[0]);
  outputs[0] = nullptr;
  EXPECT_EQ(call(*instance, "root", {25}), 5);
  zyDestroyArray(input);

  // Outputs hold data of their own, not the global's.
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(instance->CallSorvelFunction("table", 1, outputs, 0, nullptr));
    EXPECT_FALSE(outputs[0]->sharesData());
    EXPECT_EQ(zyGetNumberOfElements(outputs[0]), 3u);
    zyDestroyArray(outputs[0]);
  }
}

// ---- Host callbacks ----

kvnInstance* callbackInstance = nullptr;
bool callbackSawSignalThread = false;

// twiceplusone(x): calls back into the engine for 2*x, then adds one.
void twicePlusOne(int nlhs, zyArray** plhs, int nrhs, zyArray** prhs) {
  callbackSawSignalThread = utIsSignalThread();
  callbackInstance = kvnInstance::GetKVN();
  if (nrhs != 1) zyErrMsgIdAndTxt("host:args", "one input, please");
  zyArray* doubled = nullptr;
  zyArray* factor = zyCreateDoubleScalar(2);
  zyArray* inputs[] = {prhs[0], factor};
  if (!callbackInstance->CallSorvelFunction("times", 1, &doubled, 2, inputs)) {
    zyErrMsgIdAndTxt("host:inner", "the inner call failed");
  }
  zyDestroyArray(factor);
  plhs[0] = zyCreateDoubleScalar(scalarOf(doubled) + 1);
  zyDestroyArray(doubled);
  (void)nlhs;
}

// manynames(x): sin(x) + cos(x) + abs(x) + sqrt(x) + floor(x) + ceil(x), each called back by
// name (more names than the instance remembers for calls from outside), after registering a
// callback, which makes the dispatcher forget what it had resolved.
void manyNames(int nlhs, zyArray** plhs, int nrhs, zyArray** prhs) {
  kvnInstance* instance = kvnInstance::GetKVN();
  kvnRegisterExternalFunction(instance, "unused", boost::make_shared<KvnCallExternal>(manyNames));
  double sum = 0;
  for (const char* name : {"sin", "cos", "abs", "sqrt", "floor", "ceil"}) {
    zyArray* result = nullptr;
    if (!instance->CallSorvelFunction(name, 1, &result, 1, prhs)) {
      zyErrMsgIdAndTxt("host:inner", "an inner call failed");
    }
    sum += scalarOf(result);
    zyDestroyArray(result);
  }
  plhs[0] = zyCreateDoubleScalar(sum);
  (void)nlhs;
  (void)nrhs;
}

void throughTrap(int nlhs, zyArray** plhs, int nrhs, zyArray** prhs) {
  inCallFcnWithTrap(nlhs, plhs, nrhs, prhs, "max", 0);
}

TEST(EngineCallbacks, AHostCallbackIsCalledFromQAndCallsBackOnTheSameThread) {
  InstancePtr instance = makeInstance({});
  ASSERT_TRUE(kvnRegisterExternalFunction(instance.get(), "twiceplusone",
                                          boost::make_shared<KvnCallExternal>(twicePlusOne)));
  EXPECT_FALSE(utIsSignalThread());
  ASSERT_TRUE(instance->EvalString(std::string("r = twiceplusone(20) * 10;")));
  EXPECT_EQ(resultOf(*instance, "eval", "r").second, 410);
  EXPECT_TRUE(callbackSawSignalThread);
  EXPECT_EQ(callbackInstance, instance.get());
  EXPECT_FALSE(utIsSignalThread());
}

// An outer call goes on correctly after its callback started a new dispatcher generation and
// called more names from outside than the instance remembers.
TEST(EngineCallbacks, CallsByManyNamesFromACallbackLeaveTheOuterCallIntact) {
  Folder folder;
  folder.write("outer.q", "function r = outer(x)\nr = manynames(x);\nr = r + 1;\n");
  InstancePtr instance = makeInstance({folder.path()});
  ASSERT_TRUE(kvnRegisterExternalFunction(instance.get(), "manynames",
                                          boost::make_shared<KvnCallExternal>(manyNames)));
  const double x = 2.25;
  const double expected = std::sin(x) + std::cos(x) + x + 1.5 + 2 + 3 + 1;
  for (int round = 0; round < 3; ++round) {
    EXPECT_DOUBLE_EQ(call(*instance, "outer", {x}), expected);
  }
}

TEST(EngineCallbacks, CallbackErrorsBecomeQErrors) {
  InstancePtr instance = makeInstance({});
  ASSERT_TRUE(kvnRegisterExternalFunction(instance.get(), "twiceplusone",
                                          boost::make_shared<KvnCallEvent>(twicePlusOne, nullptr)));
  EXPECT_FALSE(
      instance->EvalString(std::string("try, twiceplusone(1, 2); catch e, rethrow(e); end")));
  EXPECT_EQ(instance->GetErrorState().identifier, "host:args");
  EXPECT_FALSE(kvnRegisterExternalFunction(instance.get(), "bad name", nullptr));
  EXPECT_FALSE(
      kvnRegisterExternalFunction(nullptr, "x", boost::make_shared<KvnCallExternal>(twicePlusOne)));
}

TEST(EngineCallbacks, InCallFcnWithTrapCallsInPlaceAndThrowsScriptErrors) {
  InstancePtr instance = makeInstance({});
  ASSERT_TRUE(kvnRegisterExternalFunction(instance.get(), "viatrap",
                                          boost::make_shared<KvnCallExternal>(throughTrap)));
  ASSERT_TRUE(instance->EvalString(std::string("m = viatrap([3 9 4]);")));
  EXPECT_EQ(resultOf(*instance, "eval", "m").second, 9);

  EXPECT_THROW(inCallFcnWithTrap(0, nullptr, 0, nullptr, "nothingCalledThis", 0),
               QException::QExceptionEnvelope);
  try {
    inCallFcnWithTrap(0, nullptr, 0, nullptr, "nothingCalledThis", 0);
  } catch (const QException::QExceptionEnvelope& error) {
    EXPECT_EQ(error.identifier(), "Q:undefined");
  }
}

TEST(EngineCallbacks, InvokeOnTheInterpreterThreadRunsThereAndReturnsTheValue) {
  EXPECT_FALSE(utIsSignalThread());
  const std::int64_t value = kvn_invoke_on_interpreter_thread([]() -> std::int64_t {
    return utIsSignalThread() && kvn_mutex->isHeldByCurrentThread() ? 42 : -1;
  });
  EXPECT_EQ(value, 42);
  EXPECT_FALSE(kvn_mutex->isHeldByCurrentThread());
}

TEST(EngineCallbacks, GetKvnFollowsActivations) {
  kvnOptions options;
  kvnInstance* instance = new kvnInstance(options, nullptr, nullptr);
  EXPECT_EQ(kvnInstance::GetKVN(), instance);
  kvnInstance* other = nullptr;
  std::thread([&] { other = kvnInstance::GetKVN(); }).join();
  EXPECT_EQ(other, nullptr) << "activations belong to the thread that made them";
  kvnInstance::PopActivation(instance);
  EXPECT_NE(kvnInstance::GetKVN(), instance);
  kvnInstance::Detach(instance);
}

void detachCurrent(int, zyArray**, int, zyArray**) { kvnInstance::Detach(kvnInstance::GetKVN()); }

TEST(EngineCallbacks, DetachInsideACallDeletesTheInstanceWhenTheCallReturns) {
  kvnOptions options;
  kvnInstance* instance = new kvnInstance(options, nullptr, nullptr);
  kvnInstance::PopActivation(instance);
  ASSERT_TRUE(kvnRegisterExternalFunction(instance, "detachcurrent",
                                          boost::make_shared<KvnCallExternal>(detachCurrent)));
  // The statements after the callback still run in the instance; it is deleted afterwards (the
  // sanitizer build reports any use after that).
  EXPECT_TRUE(instance->EvalString(std::string("detachcurrent(); x = 1; y = x + 1;")));
  EXPECT_EQ(kvnInstance::GetKVN(), nullptr);
}

TEST(EngineCallbacks, TwoThreadsUseTwoInstancesSafely) {
  Folder folder;
  folder.write("loop.q", "function s = loop(n)\ns = 0;\nfor k = 1:n\n  s = s + k;\nend\n");
  InstancePtr first = makeInstance({folder.path()});
  InstancePtr second = makeInstance({folder.path()});
  std::atomic<int> good{0};
  auto work = [&](kvnInstance* instance) {
    for (int i = 0; i < 20; ++i) {
      zyArray* n = zyCreateDoubleScalar(100);
      zyArray* out = nullptr;
      if (instance->CallSorvelFunction("loop", 1, &out, 1, &n) && scalarOf(out) == 5050) ++good;
      zyDestroyArray(out);
      zyDestroyArray(n);
    }
  };
  std::thread a(work, first.get()), b(work, second.get());
  a.join();
  b.join();
  EXPECT_EQ(good, 40);
}

// Q code that recurses without end stops at the recursion limit, and on a thread whose stack is
// too small for that many calls it stops earlier with the same error instead of overflowing.
TEST(EngineInstance, RunawayRecursionIsAnErrorEvenOnASmallStack) {
  Folder folder;
  folder.write("down.q", "function r = down(n)\nr = 1 + down(n + 1);\n");
  folder.write("mapdown.q", "function r = mapdown(n)\nr = cellfun(@(k) mapdown(k + 1), {n});\n");
  struct Outcome {
    std::string folder;
    std::vector<std::string> identifiers;
    double after = 0;
  } outcome{folder.path(), {}, 0};
  auto body = [](void* argument) -> void* {
    auto& result = *static_cast<Outcome*>(argument);
    InstancePtr instance = makeInstance({result.folder});
    for (const char* name : {"down", "mapdown"}) {
      zyArray* input = zyCreateDoubleScalar(1);
      zyArray* output = nullptr;
      if (!instance->CallSorvelFunction(name, 1, &output, 1, &input)) {
        result.identifiers.push_back(instance->GetErrorState().identifier);
      }
      zyDestroyArray(output);
      zyDestroyArray(input);
    }
    result.after = call(*instance, "numel", {7});  // the instance is still usable
    return nullptr;
  };
  for (std::size_t stackSize : {std::size_t{8} << 20, std::size_t{1} << 20}) {
    outcome.identifiers.clear();
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, stackSize);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attributes, body, &outcome), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    EXPECT_EQ(outcome.identifiers,
              (std::vector<std::string>{"Q:recursionLimit", "Q:recursionLimit"}))
        << "stack of " << stackSize << " bytes";
    EXPECT_EQ(outcome.after, 1);
  }
}

// ---- Signatures, readers and the search path ----

TEST(EngineSignatures, FindSignatureReadsTheDeclarationLine) {
  Folder folder;
  folder.write("sig.q", "function [a, b, varargout] = sig(x, y, varargin)\na = x; b = y;\n");
  folder.write("plain.q", "function plain\ndisp(1)\n");
  folder.write("runner.q", "% a script\nx = 1;\n");
  InstancePtr instance = makeInstance({folder.path()});

  std::vector<kvnFunctionSignature> signatures;
  ASSERT_TRUE(instance->find_signature(signatures, "sig"));
  ASSERT_EQ(signatures.size(), 1u);
  EXPECT_EQ(signatures[0].function_name, "sig");
  EXPECT_EQ(signatures[0].input_names, (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(signatures[0].output_names, (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(signatures[0].takes_varargin);
  EXPECT_TRUE(signatures[0].returns_varargout);
  EXPECT_FALSE(signatures[0].is_script);

  signatures.clear();
  ASSERT_TRUE(instance->find_signature(signatures, "plain"));
  EXPECT_TRUE(signatures[0].input_names.empty());
  EXPECT_TRUE(signatures[0].output_names.empty());
  EXPECT_FALSE(signatures[0].takes_varargin);

  signatures.clear();
  ASSERT_TRUE(instance->find_signature(signatures, "runner"));
  EXPECT_TRUE(signatures[0].is_script);

  signatures.clear();
  ASSERT_TRUE(instance->find_signature(signatures, folder.path() + "/sig.q"));
  EXPECT_EQ(signatures[0].function_name, "sig");

  signatures.clear();
  EXPECT_TRUE(instance->find_signature(signatures, "max")) << "built-ins are known";
  EXPECT_FALSE(instance->find_signature(signatures, "noSuchFunction"));
}

std::string textResult(kvnInstance& instance, const char* function, const std::string& input) {
  zyArray* argument = zyCreateString(input.c_str());
  zyArray* output = nullptr;
  const bool succeeded = instance.CallSorvelFunction(function, 1, &output, 1, &argument);
  zyDestroyArray(argument);
  EXPECT_TRUE(succeeded) << instance.GetErrorState().message;
  std::string text = output && zyIsChar(output) && zyGetNumberOfElements(output)
                         ? matrix::get_string(output)
                         : std::string();
  zyDestroyArray(output);
  return text;
}

TEST(EngineRuntimeQueries, WhichHelpAndExistAnswerTheSignatureGateway) {
  Folder folder;
  folder.write(
      "documented.q",
      "function y = documented(x)\n% DOCUMENTED doubles x.\n%   y = documented(x)\ny = 2*x;\n");
  InstancePtr instance = makeInstance({folder.path()});
  EXPECT_EQ(textResult(*instance, "which", "documented"), folder.path() + "/documented.q");
  EXPECT_EQ(textResult(*instance, "help", "documented"),
            " DOCUMENTED doubles x.\n   y = documented(x)\n");
  EXPECT_EQ(textResult(*instance, "which", "nosuchname"), "");
  EXPECT_EQ(textResult(*instance, "which", "max"), "built-in (max)");
  EXPECT_EQ(resultOf(*instance, "exist", "documented").second, 2);
}

TEST(EngineRuntimeQueries, TheStartupScriptTextRunsAStartupFileWhenThereIsOne) {
  const std::wstring startupText =
      L"if (exist('startup','file') == 2) ||...\n   (exist('startup','file') == 6)\n  "
      L"startup\nend\n";
  Folder folder;
  InstancePtr without = makeInstance({folder.path()});
  EXPECT_TRUE(without->EvalString(startupText, 0, nullptr));
  folder.write("startup.q", "global STARTED\nSTARTED = 'yes';\n");
  InstancePtr with = makeInstance({folder.path()});
  ASSERT_TRUE(with->EvalString(startupText, 0, nullptr));
  EXPECT_EQ(textResult(*with, "rtkgetglobal", "STARTED"), "yes");
}

TEST(EngineRuntimeQueries, TheFigureQueriesRunAsTheRuntimeSendsThem) {
  InstancePtr instance = makeInstance({});
  ASSERT_TRUE(
      instance->EvalString(std::string("figure('Name', 'main'); figure('Visible', 'off');")));
  for (const char* root : {"allchild(0)", "allchild(groot)"}) {
    for (const char* state : {"on", "off"}) {
      const std::string query = std::string("findobj(") + root +
                                ", 'flat', 'Type', 'figure', 'visible', '" + state + "');";
      const auto [count, figure] = resultOf(*instance, "eval", query.c_str());
      EXPECT_EQ(count, 1u) << query;
      EXPECT_EQ(figure, std::string(state) == "on" ? 1 : 2) << query;
    }
  }
  EXPECT_EQ(textResult(*instance, "eval", "get(1,'name');"), "main");
  ASSERT_TRUE(instance->EvalString(std::string("rtkkillallfigures")));
  EXPECT_EQ(resultOf(*instance, "eval",
                     "findobj(allchild(0), 'flat', 'Type', 'figure', 'visible', 'off');")
                .first,
            0u);
  zyArray* ok = nullptr;
  ASSERT_TRUE(instance->CallSorvelFunction("rtkisoktoexit", 1, &ok, 0, nullptr));
  EXPECT_TRUE(zyGetLogicals(ok)[0]);
  zyDestroyArray(ok);
}

TEST(EngineSearchPath, QpathOperationsChangeWhatIsFound) {
  Folder folder;
  folder.write("onpath.q", "function r = onpath()\nr = 5;\n");
  InstancePtr instance = makeInstance({});
  qpPath* path = instance->GetDispatcher().get_path();
  EXPECT_EQ(qpGetDirType(qpFindDirFullName(path, folder.path())), 0);
  EXPECT_EQ(qpFindDirFullName(path, folder.path()), qpGetNullDir());
  EXPECT_FALSE(instance->CallSorvelFunction("onpath", 0, nullptr, 0, nullptr));

  ASSERT_TRUE(qpAddDir(path, folder.path(), kQpAddAtFront));
  EXPECT_NE(qpGetDirType(qpFindDirFullName(path, folder.path() + "/")), 0);
  EXPECT_EQ(call(*instance, "onpath", {}), 5);

  ASSERT_TRUE(qpRemoveDir(path, folder.path()));
  EXPECT_FALSE(qpRemoveDir(path, folder.path()));
  EXPECT_FALSE(instance->CallSorvelFunction("onpath", 0, nullptr, 0, nullptr));
  EXPECT_FALSE(qpAddDir(path, folder.path() + "/missing", kQpAddAtEnd));
}

// Changes on disk are read at most every refresh interval; a call that starts that long (plus a
// tick of the coarse clock) after a change sees it.
void waitForFolderChanges() {
  std::this_thread::sleep_for(std::chrono::nanoseconds(2 * Qdispatcher::kRefreshIntervalNs) +
                              std::chrono::milliseconds(20));
}

TEST(EngineSearchPath, AChangedFileIsReadAgain) {
  Folder folder;
  folder.write("changing.q", "function r = changing()\nr = 1;\n");
  // An instance that watched the folder and went leaves its watch descriptor to the next one.
  makeInstance({folder.path()}).reset();
  InstancePtr instance = makeInstance({folder.path()});
  EXPECT_EQ(call(*instance, "changing", {}), 1);
  folder.write("changing.q", "function r = changing()\nr = 2; % now longer\n");
  waitForFolderChanges();
  EXPECT_EQ(call(*instance, "changing", {}), 2);
  folder.write("added.q", "function r = added()\nr = 3;\n");
  waitForFolderChanges();
  EXPECT_EQ(call(*instance, "added", {}), 3);
  // Repeated calls of the same name from outside keep seeing the current file.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(call(*instance, "changing", {}), 2);
  folder.write("changing.q", "function r = changing()\nr = 4;\n");
  waitForFolderChanges();
  EXPECT_EQ(call(*instance, "changing", {}), 4);
}

void returnsSeven(int, zyArray** plhs, int, zyArray**) { plhs[0] = zyCreateDoubleScalar(7); }

TEST(EngineSearchPath, RepeatedCallsFromOutsideFollowPathAndCallbackChanges) {
  Folder first, second;
  first.write("shadowed.q", "function r = shadowed()\nr = 1;\n");
  second.write("shadowed.q", "function r = shadowed()\nr = 2;\n");
  InstancePtr instance = makeInstance({first.path()});
  for (int i = 0; i < 3; ++i) EXPECT_EQ(call(*instance, "shadowed", {}), 1);
  ASSERT_TRUE(qpAddDir(instance->GetDispatcher().get_path(), second.path(), kQpAddAtFront));
  EXPECT_EQ(call(*instance, "shadowed", {}), 2);
  ASSERT_TRUE(kvnRegisterExternalFunction(instance.get(), "shadowed",
                                          boost::make_shared<KvnCallExternal>(returnsSeven)));
  EXPECT_EQ(call(*instance, "shadowed", {}), 7);
  // Many names in turn, more than are remembered, each still finds its own function.
  const std::vector<std::pair<const char*, double>> expected = {
      {"shadowed", 7}, {"sin", std::sin(4.0)}, {"cos", std::cos(4.0)}, {"abs", 4}, {"sqrt", 2},
      {"floor", 4}};
  for (int round = 0; round < 2; ++round) {
    for (const auto& [name, value] : expected) {
      EXPECT_DOUBLE_EQ(
          call(*instance, name,
               std::string(name) == "shadowed" ? std::vector<double>{} : std::vector<double>{4}),
          value)
          << name;
    }
  }
}

TEST(EngineInstance, InputsKeepTheirTypeAndStayTheCallersOwn) {
  Folder folder;
  folder.write("echo.q", "function y = echo(x)\ny = x;\n");
  InstancePtr instance = makeInstance({folder.path()});
  zyArray* complex = zyCreateDoubleMatrix(1, 1, zyCOMPLEX);
  *zyGetPr(complex) = 3;
  *static_cast<double*>(zyGetImagData(complex)) = 4;
  zyArray* single = zyCreateNumericMatrix(1, 1, zySINGLE_CLASS, zyREAL);
  *static_cast<float*>(zyGetData(single)) = 2.5f;
  for (zyArray* input : {complex, single}) {
    zyArray* output = nullptr;
    ASSERT_TRUE(instance->CallSorvelFunction("echo", 1, &output, 1, &input));
    EXPECT_EQ(zyGetClassID(output), zyGetClassID(input));
    EXPECT_EQ(zyIsComplex(output), zyIsComplex(input));
    zyDestroyArray(output);
  }
  EXPECT_EQ(*static_cast<double*>(zyGetImagData(complex)), 4);
  zyArray* scalar = zyCreateDoubleScalar(6);
  zyArray* output = nullptr;
  ASSERT_TRUE(instance->CallSorvelFunction("echo", 1, &output, 1, &scalar));
  EXPECT_NE(output, scalar);
  EXPECT_EQ(scalarOf(output), 6);
  zyDestroyArray(output);
  EXPECT_EQ(scalarOf(scalar), 6);
  zyDestroyArray(scalar);
  zyDestroyArray(single);
  zyDestroyArray(complex);
}

TEST(EngineSearchPath, TheFirstFolderWinsAndNativeExtensionsComeFirst) {
  Folder first, second;
  first.write("both.q", "function r = both()\nr = 1;\n");
  second.write("both.q", "function r = both()\nr = 2;\n");
  InstancePtr instance = makeInstance({first.path(), second.path(), RTKKVN_TEST_NUB_FOLDER});
  EXPECT_EQ(call(*instance, "both", {}), 1);
  EXPECT_EQ(call(*instance, "nubtwice", {21}), 42);
  EXPECT_FALSE(instance->EvalString(std::string("nubtwice('text')")));
  EXPECT_EQ(instance->GetErrorState().identifier, "nub:notDouble");
  EXPECT_EQ(resultOf(*instance, "exist", "nubtwice").second, 3);
}

// A reader for a made-up protected form: the text reversed.
class ReversingReader : public QfileReader {
 public:
  std::string read(const std::string& path) override {
    std::string text = PlaintextQfileReader().read(path);
    if (path.size() > 3 && path.compare(path.size() - 3, 3, ".qc") == 0) {
      std::reverse(text.begin(), text.end());
    }
    return text;
  }
};

TEST(EngineReaders, CompiledFilesAreReadThroughTheInstancesReader) {
  Folder folder;
  std::string source = "function r = secret(x)\nr = x * 100;\n";
  std::reverse(source.begin(), source.end());
  folder.write("secret.qc", source);
  InstancePtr instance =
      makeInstance({folder.path()}, nullptr, boost::make_shared<ReversingReader>());
  EXPECT_EQ(call(*instance, "secret", {2}), 200);
  EXPECT_EQ(resultOf(*instance, "exist", "secret").second, 6);
}

TEST(EngineReaders, PlaintextReaderReadsFilesAndNamesMissingOnes) {
  Folder folder;
  folder.write("a.q", "x = 1;\n");
  PlaintextQfileReader reader;
  EXPECT_EQ(reader.read(folder.path() + "/a.q"), "x = 1;\n");
  try {
    reader.read(folder.path() + "/missing.q");
    FAIL() << "a missing file must throw";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("missing.q"), std::string::npos);
  }
}

TEST(EngineOptions, BadOptionsRefuseToStart) {
  kvnOptions options;
  options.set_kvn_path({"/no/such/folder/anywhere"});
  try {
    InstancePtr instance(new kvnInstance(options, nullptr, nullptr));
    FAIL() << "a missing path folder must fail";
  } catch (const kvnInstantiationError& error) {
    EXPECT_NE(std::string(error.GetMessageTxt()).find("/no/such/folder/anywhere"),
              std::string::npos);
  }
  kvnOptions states;
  states.set_warning_state({"maybe:some:id"});
  EXPECT_THROW(InstancePtr(new kvnInstance(states, nullptr, nullptr)), kvnInstantiationError);
}

TEST(EngineOptions, WarningStatesApplyToTheProcessContextAndUserFolderIsCopied) {
  utWarningManager* manager = utInstallWarningManager();
  kvnOptions options;
  options.set_warning_state({"off: test:quiet:one", "on:test:loud"});
  const std::string longFolder(3000, 'u');
  options.set_user_dir(longFolder);
  EXPECT_EQ(std::string(options.user_dir_buffer).size(), kKvnOptionsPathLength - 1);
  EXPECT_EQ(options.user_dir(), longFolder);
  InstancePtr instance(new kvnInstance(options, nullptr, nullptr));
  EXPECT_EQ(ut_get_warning_status_id(nullptr, "test:quiet:one"), 0);
  EXPECT_EQ(ut_get_warning_status_id(nullptr, "test:loud"), 1);
  instance.reset();
  utRemoveWarningManager(manager);
}

TEST(EngineOptions, DeployedFlagAndComponentFolder) {
  Folder folder;
  folder.write("incomponent.q", "function r = incomponent()\nr = 8;\n");
  kvnOptions options;
  options.deployed = true;
  options.component = true;
  options.set_workgroup_dir(folder.path());
  InstancePtr instance(new kvnInstance(options, nullptr, nullptr));
  EXPECT_EQ(call(*instance, "incomponent", {}), 8) << "the workgroup folder is searched";
  zyArray* deployed = nullptr;
  ASSERT_TRUE(instance->CallSorvelFunction("isdeployed", 1, &deployed, 0, nullptr));
  EXPECT_TRUE(zyGetLogicals(deployed)[0]);
  zyDestroyArray(deployed);
}

TEST(EngineUtilities, UtPrintfGoesToThePrintSinkOrTheErrorSink) {
  auto factory = boost::make_shared<DefaultPrintHandlerSinkFactory>();
  std::string printed, errors;
  factory->setPrintHandler([&](const char* text) {
    printed += text;
    return 0;
  });
  factory->setErrorHandler([&](const char* text) {
    errors += text;
    return 0;
  });
  CmdWinSinkHandle::setFactory(factory);
  EXPECT_EQ(utPrintf("%s=%d\n", "a", 1), 4);
  {
    utErrorOutputScope toErrors;
    utPrintf("%s\n", "oops");
  }
  utPrintf("back\n");
  CmdWinSinkHandle::setFactory(nullptr);
  EXPECT_EQ(printed, "a=1\nback\n");
  EXPECT_EQ(errors, "oops\n");
}

}  // namespace
