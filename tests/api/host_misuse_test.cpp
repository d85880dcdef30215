// A careless or hostile host driving the C API through the shared library. Every bad call must
// fail cleanly with a last error naming the function and the problem; in the sanitizer build a
// read of freed memory fails the test too.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "host_calls.hpp"
#include "rtkbase.h"
#include "rtkkvn.h"
#include "rtkkvn_array.h"
#include "rtkkvn_error.h"
#include "util/services.hpp"

namespace {

using hosttest::evalIn;
using hosttest::lastId;
using hosttest::lastMessage;
using hosttest::newInstance;

const std::string kInvalid = ": invalid or terminated instance handle.";

// The class-interface last error of rtkkvn_error.h, taken and cleared.
std::string takeCppError() {
  error_info* record = nullptr;
  rtkcppGetLastError(&record);
  const char* message = record ? error_info_get_message(record) : nullptr;
  std::string text = message ? message : "";
  if (record) ref_count_obj_release(reinterpret_cast<ref_count_obj*>(record));
  return text;
}
void release(void* object) { ref_count_obj_release(static_cast<ref_count_obj*>(object)); }

bool tnfFeval(HKVNINSTANCE instance, const char* name, int nargout, int fnout, int fnin, ...) {
  va_list arguments;
  va_start(arguments, fnin);
  const bool succeeded = rtkTnfVFeval(instance, name, nargout, fnout, fnin, arguments);
  va_end(arguments);
  return succeeded;
}
bool feval1(HKVNINSTANCE instance, const char* name) {
  zyArray* out = nullptr;
  const bool succeeded = rtkFeval(instance, name, 1, &out, 0, nullptr);
  zyDestroyArray(out);
  return succeeded;
}
void doNothing(int, zyArray**, int, zyArray**) {}

using HostMisuse = hosttest::InstanceTest;

// ---- Handles ---------------------------------------------------------------------------------

TEST_F(HostMisuse, StaleAndForgedHandlesAreRefusedByEveryExport) {
  const HKVNINSTANCE stale = hosttest::staleHandle();
  const auto forged = reinterpret_cast<HKVNINSTANCE>(std::uintptr_t{0x10});  // reading it crashes
  const struct {
    const char* function;
    const char* errorId;
    std::function<bool(HKVNINSTANCE)> succeeds;
  } uses[] = {
      {"rtkFeval", "RTK:Runtime:Feval", [](HKVNINSTANCE h) { return feval1(h, "ones"); }},
      {"rtkTnfVFeval", "RTK:Runtime:tnfFeval",
       [](HKVNINSTANCE h) { return tnfFeval(h, "ones", 0, 0, 0); }},
      {"rtkGetID", "RTK:Runtime:GetId", [](HKVNINSTANCE h) { return rtkGetID(h) != 0; }},
      {"rtkGetGlobal", "RTK:Runtime:GetGlobal",
       [](HKVNINSTANCE h) {
         zyArray* value = nullptr;
         return rtkGetGlobal(h, "g", &value);
       }},
      {"rtkSetGlobal", "RTK:Runtime:SetGlobal",
       [](HKVNINSTANCE h) {
         static zyArray* const value = zyCreateDoubleScalar(1);
         return rtkSetGlobal(h, "g", value);
       }},
      {"rtkRegisterExternalFunction", "RTK:Runtime:RegisterExternalFunction",
       [](HKVNINSTANCE h) { return rtkRegisterExternalFunction(h, "cb", doNothing); }},
      {"rtkRegisterEventFunction", "RTK:Runtime:RegisterExternalFunction",
       [](HKVNINSTANCE h) { return rtkRegisterEventFunction(h, "cb", doNothing); }},
      {"rtkImpersonationFeval", "RTK:Runtime:Feval",
       [](HKVNINSTANCE h) { return rtkImpersonationFeval(h, "ones", 0, 0, 0, 0, ::getuid()); }},
      {"rtkTerminateInstance", "RTK:KVNInstance:Terminate",
       [](HKVNINSTANCE h) { return rtkTerminateInstance(&h) || h == nullptr; }},
      {"rtkInterruptInstance", "RTK:Runtime:Interrupt",
       [](HKVNINSTANCE h) { return rtkInterruptInstance(h); }},
      {"rtkSetCallBudget", "RTK:Runtime:SetCallBudget",
       [](HKVNINSTANCE h) { return rtkSetCallBudget(h, 1); }},
  };
  for (const HKVNINSTANCE bad : {stale, forged}) {
    for (const auto& use : uses) {
      EXPECT_FALSE(use.succeeds(bad)) << use.function;
      EXPECT_EQ(lastId(), use.errorId);
      EXPECT_EQ(lastMessage(), use.function + kInvalid);
    }
    array_buffer* inputs = nullptr;
    array_buffer* outputs = nullptr;
    ASSERT_EQ(rtkcppGetArrayBuffer(&inputs, 0), 0);
    EXPECT_EQ(rtkcppFeval(bad, "ones", 1, &outputs, inputs), -1);
    EXPECT_EQ(takeCppError(), "rtkcppFeval" + kInvalid);
    release(inputs);
    try {
      rtkHandleToKvnInstancePtr(bad);
      ADD_FAILURE() << "a bad handle must throw";
    } catch (const std::exception& error) {
      EXPECT_EQ(error.what(), "rtkHandleToKvnInstancePtr" + kInvalid);
    }
    EXPECT_EQ(rtkMain(bad, 0, nullptr, "ones", 0), -1);
    rtkWaitForFiguresToDie(bad);  // errors are dropped; nothing may be read through the handle
  }
}

TEST_F(HostMisuse, OfTwoThreadsTerminatingCopiesOfOneHandleOneSucceeds) {
  for (int round = 0; round < 20; ++round) {
    HKVNINSTANCE copies[2] = {instance_, instance_};
    std::atomic<bool> go{false};
    bool terminated[2];
    std::string messages[2];
    auto terminate = [&](int side) {
      while (!go) std::this_thread::yield();
      terminated[side] = rtkTerminateInstance(&copies[side]);
      messages[side] = lastMessage();
    };
    std::thread first(terminate, 0), second(terminate, 1);
    go = true;
    first.join();
    second.join();
    ASSERT_NE(terminated[0], terminated[1]);
    EXPECT_EQ(messages[terminated[0] ? 1 : 0], "rtkTerminateInstance" + kInvalid);
    instance_ = newInstance();
  }
}

TEST(HostInstance, IsNeverRefusedAndNeverTerminated) {
  ASSERT_TRUE(rtkkvnInitialize2(0));
  svSetStandaloneMode(false);
  HKVNINSTANCE host = rtkGetActiveHKVNINSTANCE();
  svSetStandaloneMode(true);
  rtkClearLastError();
  rtkGetID(host);
  EXPECT_EQ(rtkGetLastErrorMessage(), nullptr) << lastMessage();
  EXPECT_FALSE(rtkTerminateInstance(&host));
  EXPECT_NE(host, nullptr);
  EXPECT_EQ(lastMessage().rfind("rtkTerminateInstance: the handle names the host's own", 0), 0u);
}

// ---- Terminations while a call holds the instance ---------------------------------------------

HKVNINSTANCE gTarget = nullptr;
bool gTerminated = false;
std::string gLaterCall;
void endOwnInstance(int, zyArray**, int, zyArray**) {
  HKVNINSTANCE copy = gTarget;
  gTerminated = rtkTerminateInstance(&copy) && copy == nullptr;
  gLaterCall = feval1(gTarget, "ones") ? "accepted" : lastMessage();
}

TEST_F(HostMisuse, CallbackEndingItsOwnInstanceBeforeTheQCodeFailsOrGoesOn) {
  for (const bool fails : {true, false}) {
    gTarget = newInstance();
    ASSERT_TRUE(rtkRegisterExternalFunction(gTarget, "endself", endOwnInstance));
    const std::string after = fails ? "error('api:after', 'after the end');" : "x = [1 2] * 2;";
    EXPECT_EQ(evalIn(gTarget, "endself(); " + after), !fails);
    if (fails) {
      EXPECT_EQ(lastId(), "api:after");  // read from the engine after the callback ended it
    }
    EXPECT_TRUE(gTerminated);
    EXPECT_EQ(gLaterCall, "rtkFeval" + kInvalid);
    EXPECT_EQ(rtkGetID(gTarget), 0);  // gone once the call has unwound
    EXPECT_EQ(lastMessage(), "rtkGetID" + kInvalid);
  }
}

std::atomic<bool> gEntered{false};
void markEntered(int, zyArray**, int, zyArray**) { gEntered = true; }

TEST_F(HostMisuse, AnotherThreadEndingTheInstanceDuringAPauseInterruptsIt) {
  gEntered = false;
  ASSERT_TRUE(rtkRegisterExternalFunction(instance_, "markentered", markEntered));
  std::string callError;
  std::thread caller([&] {
    if (!evalIn(instance_, "markentered(); pause(60); error('api:late', 'after the pause');")) {
      callError = lastId();
    }
  });
  while (!gEntered) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  HKVNINSTANCE copy = instance_;
  EXPECT_TRUE(rtkTerminateInstance(&copy));
  EXPECT_EQ(rtkGetID(instance_), 0);
  caller.join();  // the pause wakes: no waiting for a minute
  EXPECT_EQ(callError, "Q:interrupted");
  instance_ = nullptr;  // ended with the call
}

// ---- Callbacks ---------------------------------------------------------------------------------

TEST_F(HostMisuse, NullCallbacksAreRefused) {
  EXPECT_FALSE(rtkRegisterExternalFunction(instance_, "cb", nullptr));
  EXPECT_EQ(lastMessage(), "rtkRegisterExternalFunction: the callback for \"cb\" is NULL.");
  EXPECT_FALSE(rtkRegisterEventFunction(instance_, "cb", nullptr));
  EXPECT_EQ(lastMessage(), "rtkRegisterEventFunction: the callback for \"cb\" is NULL.");
  EXPECT_FALSE(evalIn(instance_, "cb();"));  // unbound, rather than a jump to address 0
  EXPECT_EQ(lastId(), "Q:undefined");
}

void throwsInt(int, zyArray**, int, zyArray**) { throw 42; }
void throwsStd(int, zyArray**, int, zyArray**) { throw std::runtime_error("disk on fire"); }

TEST_F(HostMisuse, ThrowingCallbacksFailTheQCodeNamingTheCallback) {
  ASSERT_TRUE(rtkRegisterExternalFunction(instance_, "throwsint", throwsInt));
  ASSERT_TRUE(rtkRegisterEventFunction(instance_, "throwsstd", throwsStd));
  EXPECT_FALSE(evalIn(instance_, "throwsint();"));
  EXPECT_EQ(lastId(), "Q:externalFunction");
  EXPECT_NE(lastMessage().find("'throwsint' failed: the host callback threw an exception that is "
                               "not a std::exception"),
            std::string::npos)
      << lastMessage();
  EXPECT_FALSE(evalIn(instance_, "throwsstd();"));
  EXPECT_NE(lastMessage().find("'throwsstd' failed: disk on fire"), std::string::npos);
}

HKVNINSTANCE gOther = nullptr;
void setOnOther(int, zyArray**, int, zyArray**) {
  zyArray* value = zyCreateDoubleScalar(5);
  rtkSetGlobal(gOther, "probe", value);
  zyDestroyArray(value);
}

TEST_F(HostMisuse, CallbackCallingAnotherInstanceReachesThatInstance) {
  gOther = newInstance();
  ASSERT_TRUE(rtkRegisterExternalFunction(instance_, "setonother", setOnOther));
  ASSERT_TRUE(evalIn(instance_, "setonother();"));
  zyArray* value = nullptr;
  EXPECT_FALSE(rtkGetGlobal(instance_, "probe", &value));
  ASSERT_TRUE(rtkGetGlobal(gOther, "probe", &value));
  EXPECT_EQ(zyGetPr(value)[0], 5);
  zyDestroyArray(value);
  EXPECT_TRUE(rtkTerminateInstance(&gOther));
}

// ---- Arguments and names -----------------------------------------------------------------------

TEST_F(HostMisuse, ArgumentsNoCallerCanMeanAreRefusedNamingTheArgument) {
  const HKVNINSTANCE h = instance_;
  zyArray* slot = nullptr;
  const std::pair<std::function<bool()>, std::string> cases[] = {
      {[&] { return rtkFeval(h, "ones", 1, nullptr, 0, nullptr); },
       "rtkFeval: plhs is NULL although nlhs is 1; the outputs need that many slots."},
      {[&] { return rtkFeval(h, "ones", 0, nullptr, 2, nullptr); },
       "rtkFeval: prhs is NULL although nrhs is 2; the inputs need that many arrays."},
      {[&] { return rtkFeval(h, "ones", -1, &slot, 0, nullptr); },
       "rtkFeval: nlhs is -1; the number of outputs cannot be negative."},
      {[&] { return rtkFeval(h, "ones", 0, nullptr, -3, nullptr); },
       "rtkFeval: nrhs is -3; the number of inputs cannot be negative."},
      {[&] { return rtkImpersonationFeval(h, "ones", 2, nullptr, 0, nullptr, ::getuid()); },
       "rtkImpersonationFeval: plhs is NULL although nlhs is 2; the outputs need that many slots."},
      {[&] { return tnfFeval(h, "ones", 1, INT_MIN, 0); },
       "rtkTnfVFeval: fnout is INT_MIN, which is no count of output variables."},
      {[&] { return tnfFeval(h, "ones", 1, 1, INT_MIN, &slot); },
       "rtkTnfVFeval: fnin is INT_MIN, which is no count of inputs."},
      {[&] { return tnfFeval(h, "ones", -2, 1, 0, &slot); },
       "rtkTnfVFeval: nargout is -2; the number of outputs cannot be negative."},
      {[&] { return rtkTerminateInstance(nullptr); },
       "No instance was given to terminate: the pointer to the instance handle is NULL."},
  };
  for (const auto& [succeeds, message] : cases) {
    EXPECT_FALSE(succeeds());
    EXPECT_EQ(lastMessage(), message);
  }
  EXPECT_EQ(slot, nullptr);

  array_buffer* inputs = nullptr;
  array_buffer* outputs = nullptr;
  ASSERT_EQ(rtkcppGetArrayBuffer(&inputs, 0), 0);
  EXPECT_EQ(rtkcppFeval(h, "ones", -5, &outputs, inputs), -1);
  EXPECT_EQ(takeCppError(),
            "rtkcppFeval: nargout is -5; the number of outputs cannot be negative.");
  release(inputs);

  // Still valid: no outputs without a list, a NULL input (a 0-by-0 double), and negative counts
  // meaning varargout and varargin.
  EXPECT_TRUE(rtkFeval(h, "ones", 0, nullptr, 0, nullptr));
  zyArray* nullInput = nullptr;
  ASSERT_TRUE(rtkFeval(h, "numel", 1, &slot, 1, &nullInput));
  EXPECT_EQ(zyGetPr(slot)[0], 0);
  zyDestroyArray(slot);
  slot = nullptr;
  EXPECT_TRUE(tnfFeval(h, "ones", 1, -1, -1, &slot, nullptr));
  EXPECT_TRUE(zyIsCell(slot));
  zyDestroyArray(slot);
}

TEST_F(HostMisuse, NamesThatAreNoNamesAreRefusedAndQuotedAsValidUtf8) {
  zyArray* value = zyCreateDoubleScalar(5);
  for (const char* name : {"1bad x", "", "a-b", "end", "_x"}) {
    EXPECT_FALSE(rtkSetGlobal(instance_, name, value)) << name;
    EXPECT_EQ(lastMessage(), std::string("rtkSetGlobal: \"") + name +
                                 "\" is not a valid variable name (a letter, then letters, "
                                 "digits or underscores; not a keyword).");
  }
  EXPECT_TRUE(rtkSetGlobal(instance_, "good_Name2", value));
  zyDestroyArray(value);

  const std::string replaced = "no\xEF\xBF\xBD\xEF\xBF\xBDsuch";  // each bad byte is U+FFFD
  EXPECT_FALSE(feval1(instance_, "no\xff\xfesuch"));
  EXPECT_EQ(lastId(), "Q:undefined");
  EXPECT_NE(lastMessage().find(replaced), std::string::npos) << lastMessage();
  EXPECT_FALSE(rtkRegisterExternalFunction(instance_, "no\xff\xfesuch", nullptr));
  EXPECT_NE(lastMessage().find(replaced), std::string::npos) << lastMessage();
}

// ---- Arrays
// --------------------------------------------------------------------------------------

TEST(ArrayMisuse, ListsTooLongToAllocateAreRefused) {
  for (const size_t count : {SIZE_MAX, SIZE_MAX / 16}) {
    array_buffer* list = nullptr;
    EXPECT_EQ(rtkcppGetArrayBuffer(&list, count), -1);  // used to loop for ever
    EXPECT_EQ(takeCppError(), "Memory allocation error");
  }
}

TEST(ArrayMisuse, BytesThatAreNoSerializedArrayAreRefused) {
  array_ref* original = nullptr;
  ASSERT_EQ(rtkGetString(&original, "round trip"), 0);
  array_ref* serialized = array_ref_serialize(original);
  std::vector<zyUint8> bytes(static_cast<size_t>(array_ref_number_of_elements(serialized)));
  ASSERT_EQ(array_ref_get_numeric_zyUint8(serialized, bytes.data(), bytes.size()), 0);
  for (const size_t kept : {bytes.size() / 2, size_t{3}}) {  // truncated, then garbage
    if (kept == 3) bytes.assign({'b', 'a', 'd'});
    array_ref* source = nullptr;
    ASSERT_EQ(rtkGetNumericMatrix(&source, 1, kept, zyUINT8_CLASS, zyREAL), 0);
    ASSERT_EQ(array_ref_set_numeric_zyUint8(source, bytes.data(), kept), 0);
    array_ref* result = nullptr;
    EXPECT_EQ(rtkDeserializeArray(&result, &source), -1);
    EXPECT_EQ(takeCppError().rfind("The bytes are not a serialized array", 0), 0u);
    release(source);
  }
  array_ref* copy = nullptr;
  ASSERT_EQ(rtkDeserializeArray(&copy, &serialized), 0);
  EXPECT_TRUE(array_ref_equals(copy, original));
  for (array_ref* object : {original, serialized, copy}) release(object);
}

TEST(ArrayMisuse, ElementCountsBeyondIntAreErrorsNotWrappedValues) {
  for (const size_t rows : {size_t{1} << 31, SIZE_MAX, size_t{INT_MAX}}) {
    array_ref* sparse = nullptr;
    ASSERT_EQ(rtkGetLogicalSparse(&sparse, 0, nullptr, 0, nullptr, 0, nullptr, rows, 1, 1), 0);
    if (rows == INT_MAX) {
      EXPECT_EQ(array_ref_number_of_elements(sparse), INT_MAX);
    } else {
      EXPECT_EQ(array_ref_number_of_elements(sparse), -1);
      EXPECT_EQ(takeCppError(), "The array has " + std::to_string(rows) +
                                    " elements, more than the int result of number_of_elements "
                                    "can hold");
    }
    release(sparse);
  }
}

TEST(ArrayMisuse, ClassIdsOfNoClassGiveNull) {
  for (const int classId : {-1, INT_MIN, 19, INT_MAX}) {  // checked for undefined behaviour
    EXPECT_EQ(zyCreateNumericMatrix(2, 2, static_cast<zyClassID>(classId), zyREAL), nullptr);
  }
}

}  // namespace
