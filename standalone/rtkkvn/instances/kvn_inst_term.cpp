// Instance termination. A termination asked for while calls hold the instance (its own callback,
// or another thread) is finished by the last of those calls; see instance_registry.hpp.

#include "base/exceptions.hpp"
#include "msg/message.hpp"
#include "rtkkvn.h"
#include "rtkkvn/instances/error_capture.hpp"
#include "rtkkvn/instances/instance_registry.hpp"

namespace {

void terminateInstance(void* handle, const char* function) {
  if (!handle) {
    throw rtkInternalException("rtkHandleToKvnInstance: inst argument is NULL",
                               "standalone/rtkkvn/rtkkvn", __LINE__);
  }
  RtkInstanceRegistry* registry = RtkInstanceRegistry::existingInstance();
  if (!registry) throw rtkCallerException(function, "invalid or terminated instance handle.");
  RtkKvnInstance* instance = nullptr;
  if (registry->requestTermination(handle, function, &instance)) registry->terminateNow(instance);
}

}  // namespace

void rtkTerminateInstanceInternal(void* handle) {
  terminateInstance(handle, "rtkTerminateInstanceInternal");
}

extern "C" bool rtkTerminateInstance(HKVNINSTANCE* instance) {
  return rtkCaptureErrors(
      RTK_BOUNDARY("RTK:KVNInstance:Terminate", "standalone/rtkkvn/kvn_inst_term"), false, [&] {
        if (!instance) {
          throw rtkUserException("RTK:ComponentInstance",
                                 KVN::rtkkvn::RTKKVN_NULL_HANDLE_TO_TERMINATE());
        }
        if (!*instance) return true;
        terminateInstance(*instance, "rtkTerminateInstance");
        *instance = nullptr;
        return true;
      });
}
