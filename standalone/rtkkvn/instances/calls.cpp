// The call exports: hosts call functions of a runtime instance with arrays, read and write its
// globals and bind host callbacks to names that script code can call. Each export pins the
// instance its handle names (refusing a handle that names none), refuses arguments no caller
// can mean, and ends in the instance's feval or callback registration; serialising calls is the
// instance's business, except for rtkcppFeval, which holds the library-wide mutex throughout.

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/array_list.hpp"
#include "base/exceptions.hpp"
#include "base/last_error.hpp"
#include "base/mutex.hpp"
#include "rtkkvn.h"
#include "rtkkvn/arrays/array_buffer.hpp"
#include "rtkkvn/arrays/array_exceptions.hpp"
#include "rtkkvn/arrays/array_factories.hpp"
#include "rtkkvn/arrays/error_info.hpp"
#include "rtkkvn/instances/error_capture.hpp"
#include "rtkkvn/instances/instance_registry.hpp"

namespace {

constexpr const char* kSourceTag = "standalone/rtkkvn/kvn_inst";

// A block of count null pointers: inside the object up to five (what generated wrappers nearly
// always need), on the heap beyond that.
template <typename Pointer>
class PointerBlock {
 public:
  static constexpr int kFixedCount = 5;

  explicit PointerBlock(int count) : data_(fixed_) {
    if (count > kFixedCount) {
      heap_.reset(new Pointer[count]());
      data_ = heap_.get();
    }
  }
  PointerBlock(const PointerBlock&) = delete;
  PointerBlock& operator=(const PointerBlock&) = delete;

  Pointer* data() { return data_; }
  Pointer& operator[](int index) { return data_[index]; }

 private:
  Pointer fixed_[kFixedCount] = {};
  std::unique_ptr<Pointer[]> heap_;
  Pointer* data_;
};

// Destroys the non-null arrays of list[first .. end) and clears their entries.
void destroyArrays(zyArray** list, int first, int end) {
  for (int index = first; index < end; ++index) {
    if (list[index]) zyDestroyArray(list[index]);
    list[index] = nullptr;
  }
}

// Whether name could name a variable: a letter, then letters, digits and underscores, and not
// a keyword of the language.
bool isVariableName(const std::string& name) {
  static const char* const keywords[] = {"if",         "elseif",  "else",     "end",       "for",
                                         "while",      "switch",  "case",     "otherwise", "try",
                                         "catch",      "break",   "continue", "return",    "global",
                                         "persistent", "function"};
  const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (name.empty() || !isLetter(name[0])) return false;
  for (const char c : name) {
    if (!isLetter(c) && !(c >= '0' && c <= '9') && c != '_') return false;
  }
  for (const char* keyword : keywords) {
    if (name == keyword) return false;
  }
  return true;
}

// The variable-argument call behind rtkTnfVFeval; see rtkkvn.h for the argument layout.
void tnfFeval(RtkKvnInstance& instance, const char* name, int nargout, int fnout, int fnin,
              va_list arguments) {
  constexpr const char* kFunction = "rtkTnfVFeval";
  // abs(INT_MIN) overflows; every other negative count means a varargout or varargin list.
  if (fnout == INT_MIN) {
    throw rtkCallerException(kFunction, "fnout is INT_MIN, which is no count of output variables.");
  }
  if (fnin == INT_MIN) {
    throw rtkCallerException(kFunction, "fnin is INT_MIN, which is no count of inputs.");
  }
  if (nargout < 0) {
    throw rtkCallerException(kFunction, "nargout is " + std::to_string(nargout) +
                                            "; the number of outputs cannot be negative.");
  }
  const int outputCount = std::abs(fnout);
  const int givenCount = std::abs(fnin);
  PointerBlock<zyArray**> outputs(outputCount);
  for (int index = 0; index < outputCount; ++index) outputs[index] = va_arg(arguments, zyArray**);
  PointerBlock<zyArray*> given(givenCount);
  for (int index = 0; index < givenCount; ++index) given[index] = va_arg(arguments, zyArray*);

  // A varargin list in last place is spread into its elements (or dropped when null).
  int fixedCount = givenCount;
  zyArray* varargin = nullptr;
  int spreadCount = 0;
  if (fnin < 0 && givenCount > 0) {
    zyArray* last = given[givenCount - 1];
    if (last == nullptr) {
      fixedCount = givenCount - 1;
    } else if (zyIsCell(last)) {
      fixedCount = givenCount - 1;
      varargin = last;
      spreadCount = static_cast<int>(zyGetN(last));
    }
  }
  const int inputCount = fixedCount + spreadCount;
  PointerBlock<zyArray*> inputs(inputCount);
  // Empty cell slots stand for 0-by-0 doubles made here and destroyed on return.
  PointerBlock<zyArray*> standIns(spreadCount);
  for (int index = 0; index < fixedCount; ++index) inputs[index] = given[index];
  for (int index = 0; index < spreadCount; ++index) {
    auto* element = const_cast<zyArray*>(zyGetCellConst(varargin, index));
    if (element == nullptr) {
      element = standIns[index] = zyCreateDoubleMatrix(0, 0, zyREAL);
      if (element == nullptr) throw std::bad_alloc();
    }
    inputs[fixedCount + index] = element;
  }
  struct StandInCleanup {
    PointerBlock<zyArray*>& block;
    int count;
    ~StandInCleanup() { destroyArrays(block.data(), 0, count); }
  } standInCleanup{standIns, spreadCount};

  const int slotCount = nargout > 1 ? nargout : 1;
  PointerBlock<zyArray*> results(slotCount);
  struct ResultCleanup {
    PointerBlock<zyArray*>& block;
    int count;
    // Whatever was not handed to an output variable.
    ~ResultCleanup() { destroyArrays(block.data(), 0, count); }
  } resultCleanup{results, slotCount};

  instance.feval(name, nargout, results.data(), inputCount, inputs.data());
  if (nargout <= 0) return;  // the output variables stay untouched

  zyArray* varargout = nullptr;
  if (fnout < 0 && nargout >= outputCount) {
    varargout = rtkCreateCellArrayFromArrayList(nargout - outputCount + 1,
                                                results.data() + outputCount - 1);
  }
  for (int index = 0; index < outputCount && index < nargout; ++index) {
    zyArray** variable = outputs[index];
    const bool collects = fnout < 0 && index == outputCount - 1;
    zyArray* value = collects ? varargout : results[index];
    if (variable == nullptr) {
      if (collects && varargout) zyDestroyArray(varargout);
      continue;  // results[index] goes with the cleanup
    }
    if (*variable) zyDestroyArray(*variable);
    *variable = value;
    if (!collects) results[index] = nullptr;
  }
}

// Refuses a NULL callback, which script code calling name would jump to.
void requireCallback(const char* function, const char* name, rtkGatewayFunction callback) {
  if (callback == nullptr) {
    throw rtkCallerException(
        function, std::string("the callback for \"") + (name ? name : "") + "\" is NULL.");
  }
}

// The array an element of an input list stands for, owned by the caller.
zyArray* arrayOfElement(array_ref* element) {
  auto* face = dynamic_cast<array_data_ref*>(element);
  if (face == nullptr) throw IllegalArgumentException("Invalid argument");
  zyArray* array = nullptr;
  bool owned = false;
  face->access_array(&array, &owned);
  if (owned) return array;
  zyArray* copy = array ? zyCreateSharedDataCopy(array) : zyCreateDoubleMatrix(0, 0, zyREAL);
  if (copy == nullptr) throw MemoryException();
  return copy;
}

// Records the exception being handled as the class-interface last error of rtkcppFeval.
void recordCppFevalError() noexcept {
  try {
    throw;
  } catch (const rtkBaseException& error) {
    setLastError(error.clone());
    setLastErrorWithStack(error.getMessageText(), error.getStackLines());
  } catch (const koException& error) {
    rtkcppSetLastError(error.what());
  } catch (const std::exception& error) {
    rtkcppSetLastError(error.what());
  } catch (...) {
    rtkcppSetLastError("Unexpected error thrown");
  }
}

}  // namespace

extern "C" {

RTKKVN_EXPORT bool rtkFeval(HKVNINSTANCE instance, const char* name, int nlhs, zyArray** plhs,
                            int nrhs, zyArray** prhs) {
  return rtkCaptureErrors(RTK_BOUNDARY("RTK:Runtime:Feval", kSourceTag), false, [&] {
    const RtkInstancePin pin(instance, "rtkFeval");
    rtkCheckCallArguments("rtkFeval", nlhs, plhs, nrhs, prhs);
    pin->feval(name, nlhs, plhs, nrhs, prhs);
    return true;
  });
}

RTKKVN_EXPORT bool rtkTnfVFeval(HKVNINSTANCE instance, const char* name, int nargout, int fnout,
                                int fnin, va_list arguments) {
  return rtkCaptureErrors(RTK_BOUNDARY("RTK:Runtime:tnfFeval", kSourceTag), false, [&] {
    const RtkInstancePin pin(instance, "rtkTnfVFeval");
    tnfFeval(*pin, name, nargout, fnout, fnin, arguments);
    return true;
  });
}

RTKKVN_EXPORT int rtkcppFeval(HKVNINSTANCE instance, const char* name, int nargout,
                              array_buffer** outputs, array_buffer* inputs) {
  rtkLock lock;
  std::vector<zyArray*> arrays;
  std::vector<zyArray*> results;
  try {
    if (!instance || !name || !outputs || !inputs) throw NullPointerException("Invalid input");
    const RtkInstancePin pin(instance, "rtkcppFeval");
    if (nargout < 0) {
      throw rtkCallerException("rtkcppFeval", "nargout is " + std::to_string(nargout) +
                                                  "; the number of outputs cannot be negative.");
    }
    const size_t count = inputs->size();
    arrays.reserve(count);
    for (size_t index = 1; index <= count; ++index) {
      array_ref* element = inputs->get(index);
      if (element == nullptr) {  // the list has recorded why
        destroyArrays(arrays.data(), 0, static_cast<int>(arrays.size()));
        return -1;
      }
      struct Release {
        array_ref* element;
        ~Release() { element->release(); }
      } release{element};
      arrays.push_back(arrayOfElement(element));
    }
    const int requested = nargout;
    results.assign(requested > 1 ? requested : 1, nullptr);
    pin->feval(name, nargout, results.data(), static_cast<int>(arrays.size()), arrays.data());
    destroyArrays(arrays.data(), 0, static_cast<int>(arrays.size()));
    arrays.clear();
    destroyArrays(results.data(), requested, static_cast<int>(results.size()));

    auto* list = rtkkvn::arrays::makePooled<ArrayBuffer>(static_cast<size_t>(requested));
    struct ReleaseOnFailure {
      array_buffer* list;
      ~ReleaseOnFailure() {
        if (list) list->release();
      }
    } listGuard{list};
    for (int index = 0; index < requested; ++index) {
      if (results[index] == nullptr) continue;
      array_ref* wrapped = wrapArray(results[index]);
      results[index] = nullptr;
      const int stored = list->set(static_cast<size_t>(index) + 1, wrapped);
      wrapped->release();
      if (stored != 0) throw MemoryException();
    }
    *outputs = list;
    listGuard.list = nullptr;
    return 0;
  } catch (...) {
    recordCppFevalError();
  }
  destroyArrays(arrays.data(), 0, static_cast<int>(arrays.size()));
  destroyArrays(results.data(), 0, static_cast<int>(results.size()));
  return -1;
}

RTKKVN_EXPORT bool rtkGetGlobal(HKVNINSTANCE instance, const char* name, zyArray** value) {
  if (!instance || !name || !value) return false;
  return rtkCaptureErrors(RTK_BOUNDARY("RTK:Runtime:GetGlobal", kSourceTag), false, [&] {
    const RtkInstancePin target(instance, "rtkGetGlobal");
    zyArray* key = zyCreateString(name);
    if (key == nullptr) throw std::bad_alloc();
    zyArray* result = nullptr;
    try {
      target->feval("rtkgetglobal", 1, &result, 1, &key);
    } catch (...) {
      zyDestroyArray(key);
      throw;
    }
    zyDestroyArray(key);
    if (result == nullptr || zyIsEmpty(result)) {  // no such global
      if (result) zyDestroyArray(result);
      *value = nullptr;
      return false;
    }
    *value = result;
    return true;
  });
}

RTKKVN_EXPORT bool rtkSetGlobal(HKVNINSTANCE instance, const char* name, zyArray* value) {
  return rtkCaptureErrors(RTK_BOUNDARY("RTK:Runtime:SetGlobal", kSourceTag), false, [&] {
    if (!instance || !name || !value) {
      throw rtkUserException("RTK:Runtime:SetGlobal", KVN::rtkkvn::RTKKVN_NULL_KVNINST());
    }
    const RtkInstancePin target(instance, "rtkSetGlobal");
    if (!isVariableName(name)) {
      throw rtkCallerException("rtkSetGlobal", std::string("\"") + name +
                                                   "\" is not a valid variable name (a letter, "
                                                   "then letters, digits or underscores; not a "
                                                   "keyword).");
    }
    zyArray* key = zyCreateString(name);
    if (key == nullptr) throw std::bad_alloc();
    zyArray* inputs[2] = {key, value};
    try {
      target->feval("rtksetglobal", 0, nullptr, 2, inputs);
    } catch (...) {
      zyDestroyArray(key);
      throw;
    }
    zyDestroyArray(key);
    return true;
  });
}

RTKKVN_EXPORT bool rtkRegisterExternalFunction(HKVNINSTANCE instance, const char* name,
                                               rtkGatewayFunction callback) {
  return rtkCaptureErrors(RTK_BOUNDARY("RTK:Runtime:RegisterExternalFunction", kSourceTag), false,
                          [&] {
                            const RtkInstancePin pin(instance, "rtkRegisterExternalFunction");
                            requireCallback("rtkRegisterExternalFunction", name, callback);
                            return pin->registerExternalFunction(name, callback);
                          });
}

RTKKVN_EXPORT bool rtkRegisterEventFunction(HKVNINSTANCE instance, const char* name,
                                            rtkGatewayFunction callback) {
  return rtkCaptureErrors(RTK_BOUNDARY("RTK:Runtime:RegisterExternalFunction", kSourceTag), false,
                          [&] {
                            const RtkInstancePin pin(instance, "rtkRegisterEventFunction");
                            requireCallback("rtkRegisterEventFunction", name, callback);
                            return pin->registerEventFunction(name, callback);
                          });
}

}  // extern "C"

RTKKVN_EXPORT void rtkInternalFeval(void* handle, const char* name, int nlhs, zyArray** plhs,
                                    int nrhs, zyArray** prhs) {
  const RtkInstancePin pin(handle, "rtkInternalFeval");
  rtkCheckCallArguments("rtkInternalFeval", nlhs, plhs, nrhs, prhs);
  pin->feval(name, nlhs, plhs, nrhs, prhs);
}

RTKKVN_EXPORT void rtkPublicFeval(void* handle, const char* name, int nlhs, zyArray** plhs,
                                  int nrhs, zyArray** prhs) {
  const RtkInstancePin pin(handle, "rtkPublicFeval");
  if (!pin->isPublicFunction(name)) {
    throw rtkInternalException("No public function with this name", kSourceTag, __LINE__);
  }
  rtkCheckCallArguments("rtkPublicFeval", nlhs, plhs, nrhs, prhs);
  pin->feval(name, nlhs, plhs, nrhs, prhs);
}

RTKKVN_EXPORT void rtkJavaKilnFeval(void* handle, const char* name, int nlhs, zyArray** plhs,
                                    int nrhs, zyArray** prhs) {
  if (handle == nullptr) {
    std::fputs("rtkJavaKIlnFeval called with NULL HKVNINSTANCE.\n", stdout);
    std::fflush(stdout);
    std::abort();
  }
  rtkInternalFeval(handle, name, nlhs, plhs, nrhs, prhs);
}
