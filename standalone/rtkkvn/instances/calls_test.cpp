// The call exports as a host uses them: calls with outputs the host owns, the variable-argument
// call of generated wrappers, the class-interface call with array lists, errors of Q-code,
// globals, and host callbacks that call back into the same instance.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/exceptions.hpp"
#include "engine/dispatcher.hpp"
#include "engine/instance.hpp"
#include "rtkbase.h"
#include "rtkkvn.h"
#include "rtkkvn_array.h"
#include "rtkkvn_error.h"
#include "util/services.hpp"

namespace {

namespace stdfs = std::filesystem;

HKVNINSTANCE gInstance = nullptr;  // the instance the host callbacks call back into

double scalarOf(const zyArray* array) {
  EXPECT_NE(array, nullptr);
  return array ? zyGetPr(const_cast<zyArray*>(array))[0] : -1;
}

// The generated wrappers' way of calling: a variable argument list.
bool tnfFeval(HKVNINSTANCE instance, const char* name, int nargout, int fnout, int fnin, ...) {
  va_list arguments;
  va_start(arguments, fnin);
  const bool succeeded = rtkTnfVFeval(instance, name, nargout, fnout, fnin, arguments);
  va_end(arguments);
  return succeeded;
}

// Doubles its input by calling "twice" on the same instance from inside a Q-code call.
void hostTwice(int nlhs, zyArray** plhs, int nrhs, zyArray** prhs) {
  if (nrhs != 1 || nlhs > 1 || !rtkFeval(gInstance, "twice", 1, plhs, 1, prhs)) {
    zyErrMsgIdAndTxt("calls:host", "host callback failed");
  }
}

class Calls : public ::testing::Test {
 protected:
  void SetUp() override {
    svSetStandaloneMode(true);
    rtkClearLastError();
    folder_ = stdfs::temp_directory_path() / ("rtkkvn_calls_" + std::to_string(::getpid()));
    stdfs::create_directories(folder_);
    write("twice.q", "function y = twice(x)\ny = 2 * x;\n");
    write("sumdiff.q", "function [s, d] = sumdiff(a, b)\ns = a + b;\nd = a - b;\n");
    write("countargs.q",
          "function varargout = countargs(varargin)\n"
          "values = [{nargin}, varargin];\n"
          "for k = 1:max(nargout, 1)\n  varargout{k} = values{k};\nend\n");
    write("touch.q", "function r = touch()\nglobal touched\ntouched = 5;\nr = 6;\n");
    write("getkeep.q", "function v = getkeep()\nglobal keep\nv = keep;\n");
    write("failing.q",
          "function failing(x)\nerror('calls:tooLarge', 'value %d is too large', x);\n");
    write("viahost.q", "function y = viahost(x)\ny = hosttwice(x) + 1;\n");
    instance_ = rtkInitializeInstance({}, {}, {});
    ASSERT_NE(instance_, nullptr);
    ASSERT_TRUE(qpAddDir(rtkHandleToKvnInstancePtr(instance_)->GetDispatcher().get_path(),
                         folder_.string(), kQpAddAtFront));
  }
  void TearDown() override {
    EXPECT_TRUE(rtkTerminateInstance(&instance_));
    stdfs::remove_all(folder_);
  }
  void write(const std::string& file, const std::string& text) {
    std::ofstream(folder_ / file) << text;
  }

  stdfs::path folder_;
  HKVNINSTANCE instance_ = nullptr;
};

TEST_F(Calls, FevalOutputsBelongToTheCaller) {
  zyArray* inputs[2] = {zyCreateDoubleScalar(7), zyCreateDoubleScalar(3)};
  zyArray* outputs[2] = {nullptr, nullptr};
  ASSERT_TRUE(rtkFeval(instance_, "sumdiff", 2, outputs, 2, inputs));
  EXPECT_EQ(scalarOf(outputs[0]), 10);
  EXPECT_EQ(scalarOf(outputs[1]), 4);
  EXPECT_EQ(scalarOf(inputs[0]), 7);  // inputs stay the caller's, unchanged
  zyDestroyArray(outputs[0]);
  zyDestroyArray(outputs[1]);

  // A global set from the host, changed on either side, never changes the other side.
  zyArray* keep = zyCreateDoubleScalar(1);
  ASSERT_TRUE(rtkSetGlobal(instance_, "keep", keep));
  zyGetPr(keep)[0] = 2;
  zyArray* first = nullptr;
  ASSERT_TRUE(rtkFeval(instance_, "getkeep", 1, &first, 0, nullptr));
  EXPECT_EQ(scalarOf(first), 1);
  zyGetPr(first)[0] = 3;
  zyArray* second = nullptr;
  ASSERT_TRUE(rtkFeval(instance_, "getkeep", 1, &second, 0, nullptr));
  EXPECT_EQ(scalarOf(second), 1);
  for (zyArray* array : {keep, first, second, inputs[0], inputs[1]}) zyDestroyArray(array);
}

TEST_F(Calls, NargoutZeroRunsTheCallAndTouchesNoOutput) {
  ASSERT_TRUE(rtkFeval(instance_, "touch", 0, nullptr, 0, nullptr));
  zyArray* touched = nullptr;
  ASSERT_TRUE(rtkGetGlobal(instance_, "touched", &touched));
  EXPECT_EQ(scalarOf(touched), 5);
  zyDestroyArray(touched);

  zyArray* sentinel = zyCreateDoubleScalar(42);
  zyArray* variable = sentinel;
  ASSERT_TRUE(tnfFeval(instance_, "touch", 0, 1, 0, &variable));
  EXPECT_EQ(variable, sentinel);
  EXPECT_EQ(scalarOf(variable), 42);
  zyDestroyArray(sentinel);
}

TEST_F(Calls, TnfVFevalSpreadsVararginAndCollectsVarargout) {
  zyArray* first = zyCreateDoubleScalar(10);
  zyArray* cell = zyCreateCellMatrix(1, 3);
  for (int index = 0; index < 3; ++index) zySetCell(cell, index, zyCreateDoubleScalar(20 + index));

  // fnin -2 with a 1x3 cell: four inputs; countargs answers nargin first.
  zyArray* count = zyCreateDoubleScalar(-1);  // an old value, destroyed by the call
  zyArray* rest = nullptr;
  ASSERT_TRUE(tnfFeval(instance_, "countargs", 1, 1, -2, &count, first, cell));
  EXPECT_EQ(scalarOf(count), 4);
  zyDestroyArray(count);
  count = nullptr;

  // A null varargin list passes only the fixed input.
  ASSERT_TRUE(
      tnfFeval(instance_, "countargs", 1, 1, -2, &count, first, static_cast<zyArray*>(nullptr)));
  EXPECT_EQ(scalarOf(count), 1);
  zyDestroyArray(count);
  count = nullptr;

  // fnout -2, nargout 4: output 1 is result 1, output 2 a 1x3 cell of results 2 to 4.
  ASSERT_TRUE(tnfFeval(instance_, "countargs", 4, -2, -2, &count, &rest, first, cell));
  EXPECT_EQ(scalarOf(count), 4);
  ASSERT_NE(rest, nullptr);
  ASSERT_TRUE(zyIsCell(rest));
  EXPECT_EQ(zyGetM(rest), 1u);
  ASSERT_EQ(zyGetN(rest), 3u);
  EXPECT_EQ(scalarOf(zyGetCellConst(rest, 0)), 10);
  EXPECT_EQ(scalarOf(zyGetCellConst(rest, 1)), 20);
  EXPECT_EQ(scalarOf(zyGetCellConst(rest, 2)), 21);

  // A failing call leaves the variables as they were.
  zyArray* before = count;
  EXPECT_FALSE(tnfFeval(instance_, "failing", 1, 1, 1, &count, first));
  EXPECT_EQ(count, before);
  for (zyArray* array : {count, rest, first, cell}) zyDestroyArray(array);
}

TEST_F(Calls, QCodeErrorsGiveFalseAndTheLastError) {
  zyArray* input = zyCreateDoubleScalar(7);
  EXPECT_FALSE(rtkFeval(instance_, "failing", 0, nullptr, 1, &input));
  EXPECT_STREQ(rtkGetLastErrorIdentifier(), "calls:tooLarge");
  EXPECT_STREQ(rtkGetLastErrorMessage(), "value 7 is too large");
  ASSERT_GE(rtkGetLastErrorStackLineCount(), 1u);
  EXPECT_NE(std::string(rtkGetLastErrorStackLine(0)).find("failing"), std::string::npos);

  EXPECT_FALSE(tnfFeval(instance_, "failing", 0, 0, 1, input));
  EXPECT_STREQ(rtkGetLastErrorIdentifier(), "calls:tooLarge");

  EXPECT_FALSE(rtkFeval(nullptr, "twice", 0, nullptr, 1, &input));
  EXPECT_STREQ(rtkGetLastErrorIdentifier(), "RTK:Runtime:Feval");
  EXPECT_FALSE(tnfFeval(nullptr, "twice", 0, 0, 1, input));
  EXPECT_STREQ(rtkGetLastErrorIdentifier(), "RTK:Runtime:tnfFeval");

  // The C++ entries let the exceptions through.
  EXPECT_THROW(rtkInternalFeval(instance_, "failing", 0, nullptr, 1, &input), rtkSorvelException);
  try {
    rtkPublicFeval(instance_, "twice", 0, nullptr, 1, &input);
    ADD_FAILURE() << "an instance without a component has no public functions";
  } catch (const rtkInternalException& error) {
    EXPECT_STREQ(error.what(), "No public function with this name");
  }
  zyDestroyArray(input);
}

TEST_F(Calls, CppFevalWithArrayLists) {
  array_buffer* inputs = nullptr;
  ASSERT_EQ(rtkcppGetArrayBuffer(&inputs, 0), 0);
  for (double value : {9.0, 4.0}) {
    array_ref* scalar = nullptr;
    ASSERT_EQ(rtkGetScalarDouble(&scalar, value, 0, zyREAL), 0);
    ASSERT_EQ(array_buffer_add(inputs, scalar), 0);
    ref_count_obj_release(scalar);
  }
  array_buffer* outputs = nullptr;
  ASSERT_EQ(rtkcppFeval(instance_, "sumdiff", 2, &outputs, inputs), 0);
  ASSERT_NE(outputs, nullptr);
  ASSERT_EQ(array_buffer_size(outputs), 2u);
  for (size_t index = 1; index <= 2; ++index) {
    zyArray* result = nullptr;
    ASSERT_EQ(rtkArrayHandle2zyArray(
                  &result, reinterpret_cast<array_handle>(array_buffer_get(outputs, index))),
              0);
    EXPECT_EQ(scalarOf(result), index == 1 ? 13 : 5);
    zyDestroyArray(result);
  }
  ref_count_obj_release(outputs);

  // nargout 0 gives an empty list.
  error_info* record = nullptr;
  array_buffer* none = nullptr;
  ASSERT_EQ(rtkcppGetArrayBuffer(&none, 0), 0);
  ASSERT_EQ(rtkcppFeval(instance_, "touch", 0, &outputs, none), 0);
  ASSERT_NE(outputs, nullptr);
  EXPECT_EQ(array_buffer_size(outputs), 0u);
  ref_count_obj_release(outputs);
  ref_count_obj_release(none);

  // A null list, and a Q-code error with its stack.
  EXPECT_EQ(rtkcppFeval(instance_, "sumdiff", 1, &outputs, nullptr), -1);
  ASSERT_EQ(rtkcppGetLastError(&record), 0);
  ASSERT_NE(record, nullptr);
  EXPECT_STREQ(error_info_get_message(record), "Invalid input");
  ref_count_obj_release(record);

  array_buffer* single = nullptr;
  ASSERT_EQ(rtkcppGetArrayBuffer(&single, 1), 0);
  array_ref* seven = nullptr;
  ASSERT_EQ(rtkGetScalarDouble(&seven, 7, 0, zyREAL), 0);
  ASSERT_EQ(array_buffer_set(single, 1, seven), 0);
  ref_count_obj_release(seven);
  EXPECT_EQ(rtkcppFeval(instance_, "failing", 0, &outputs, single), -1);
  ASSERT_EQ(rtkcppGetLastError(&record), 0);
  ASSERT_NE(record, nullptr);
  EXPECT_NE(std::string(error_info_get_message(record)).find("value 7 is too large"),
            std::string::npos);
  char** lines = nullptr;
  ASSERT_GE(error_info_get_stack_trace(record, &lines), 1u);
  EXPECT_NE(std::string(lines[0]).find("failing"), std::string::npos);
  ref_count_obj_release(record);
  EXPECT_STREQ(rtkGetLastErrorIdentifier(), "calls:tooLarge");
  ref_count_obj_release(single);
  ref_count_obj_release(inputs);
}

TEST_F(Calls, GlobalsRoundTripAndMissingGlobals) {
  zyArray* value = zyCreateString("some text");
  ASSERT_TRUE(rtkSetGlobal(instance_, "shared", value));
  zyArray* read = nullptr;
  ASSERT_TRUE(rtkGetGlobal(instance_, "shared", &read));
  ASSERT_NE(read, nullptr);
  EXPECT_NE(read, value);
  EXPECT_TRUE(zyIsIdentical(read, value));
  zyDestroyArray(read);

  read = value;
  EXPECT_FALSE(rtkGetGlobal(instance_, "noSuchGlobal", &read));
  EXPECT_EQ(read, nullptr);

  // Null arguments: silent for reading, an error for writing.
  rtkClearLastError();
  EXPECT_FALSE(rtkGetGlobal(instance_, nullptr, &read));
  EXPECT_FALSE(rtkGetGlobal(nullptr, "shared", &read));
  EXPECT_EQ(rtkGetLastErrorIdentifier(), nullptr);
  EXPECT_FALSE(rtkSetGlobal(instance_, "shared", nullptr));
  EXPECT_STREQ(rtkGetLastErrorIdentifier(), "RTK:Runtime:SetGlobal");
  zyDestroyArray(value);
}

TEST_F(Calls, HostCallbackCallsBackIntoTheSameInstance) {
  gInstance = instance_;
  ASSERT_TRUE(rtkRegisterExternalFunction(instance_, "hosttwice", hostTwice));
  zyArray* input = zyCreateDoubleScalar(20);
  zyArray* output = nullptr;
  ASSERT_TRUE(rtkFeval(instance_, "viahost", 1, &output, 1, &input));
  EXPECT_EQ(scalarOf(output), 41);
  zyDestroyArray(output);

  // An event function is reached the same way.
  ASSERT_TRUE(rtkRegisterEventFunction(instance_, "hosttwice", hostTwice));
  output = nullptr;
  ASSERT_TRUE(rtkFeval(instance_, "viahost", 1, &output, 1, &input));
  EXPECT_EQ(scalarOf(output), 41);
  zyDestroyArray(output);
  zyDestroyArray(input);

  EXPECT_FALSE(rtkRegisterExternalFunction(nullptr, "hosttwice", hostTwice));
  EXPECT_STREQ(rtkGetLastErrorIdentifier(), "RTK:Runtime:RegisterExternalFunction");
  gInstance = nullptr;
}

TEST_F(Calls, JavaKilnFevalCallsOrAbortsOnANullHandle) {
  zyArray* input = zyCreateDoubleScalar(4);
  zyArray* result = nullptr;
  rtkJavaKilnFeval(instance_, "twice", 1, &result, 1, &input);
  EXPECT_EQ(scalarOf(result), 8);
  zyDestroyArray(result);
  EXPECT_THROW(rtkJavaKilnFeval(instance_, "failing", 0, nullptr, 1, &input), rtkSorvelException);
  zyDestroyArray(input);

  // The engine has threads of its own: start the dying child afresh rather than fork this one.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        // The message goes to standard output; send that where the death test looks.
        std::fflush(stdout);
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
        rtkJavaKilnFeval(nullptr, "twice", 0, nullptr, 0, nullptr);
      },
      "rtkJavaKIlnFeval called with NULL HKVNINSTANCE\\.\n");
}

}  // namespace
