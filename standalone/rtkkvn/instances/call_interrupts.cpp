// Stopping and bounding the calls of an instance from the host: rtkInterruptInstance and
// rtkSetCallBudget. Both reach the engine only through the instance's kvnCallControl, which
// takes no engine lock, so they answer at once even while another thread's call runs.

#include <cmath>
#include <cstdio>
#include <string>

#include "base/exceptions.hpp"
#include "rtkkvn.h"
#include "rtkkvn/instances/error_capture.hpp"
#include "rtkkvn/instances/instance_registry.hpp"

namespace {
constexpr const char* kSourceTag = "standalone/rtkkvn/call_interrupts";
}  // namespace

extern "C" bool rtkInterruptInstance(HKVNINSTANCE instance) {
  return rtkCaptureErrors(RTK_BOUNDARY("RTK:Runtime:Interrupt", kSourceTag), false, [&] {
    if (!instance) {
      throw rtkInternalException("rtkHandleToKvnInstance: inst argument is NULL",
                                 "standalone/rtkkvn/rtkkvn", __LINE__);
    }
    RtkInstanceRegistry* registry = RtkInstanceRegistry::existingInstance();
    if (!registry) {
      throw rtkCallerException("rtkInterruptInstance", "invalid or terminated instance handle.");
    }
    registry->interruptCalls(instance, "rtkInterruptInstance");
    return true;
  });
}

extern "C" bool rtkSetCallBudget(HKVNINSTANCE instance, double seconds) {
  return rtkCaptureErrors(RTK_BOUNDARY("RTK:Runtime:SetCallBudget", kSourceTag), false, [&] {
    constexpr const char* kFunction = "rtkSetCallBudget";
    const RtkInstancePin pin(instance, kFunction);
    if (std::isnan(seconds) || seconds < 0) {
      char text[32];
      std::snprintf(text, sizeof text, "%g", seconds);
      throw rtkCallerException(kFunction, std::string("seconds is ") + text +
                                              "; a call budget is 0 (none) or more seconds.");
    }
    kvnCallControl* control = pin->callControl();
    if (!control) {
      throw rtkCallerException(kFunction, "the instance has no engine instance to run calls.");
    }
    control->setCallBudget(seconds);
    return true;
  });
}
