// Instance termination.

#include <memory>

#include "base/exceptions.hpp"
#include "base/mutex.hpp"
#include "msg/message.hpp"
#include "rtkkvn.h"
#include "rtkkvn/instances/error_capture.hpp"
#include "rtkkvn/instances/instance_registry.hpp"

void rtkTerminateInstanceInternal(void* handle) {
  rtkLock lock;
  RtkKvnInstance& instance = rtkHandleToKvnInstance(handle);
  // When shutting down throws, the object stays allocated and registered: the caller still
  // holds a handle that names it.
  instance.terminate();
  // The destructor unregisters the instance and releases its component.
  delete &instance;
}

extern "C" bool rtkTerminateInstance(HKVNINSTANCE* instance) {
  return rtkCaptureErrors(
      RTK_BOUNDARY("RTK:KVNInstance:Terminate", "standalone/rtkkvn/kvn_inst_term"), false, [&] {
        if (!instance) {
          throw rtkUserException("RTK:ComponentInstance", KVN::rtkkvn::RTKKVN_INVALID_KVN_HANDLE());
        }
        if (!*instance) return true;
        rtkTerminateInstanceInternal(*instance);
        *instance = nullptr;
        return true;
      });
}
