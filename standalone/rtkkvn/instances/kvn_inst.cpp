// Queries on an instance handle.

#include "rtkkvn.h"
#include "rtkkvn/instances/error_capture.hpp"
#include "rtkkvn/instances/instance_registry.hpp"

extern "C" int rtkGetID(HKVNINSTANCE instance) {
  if (!instance) return 0;
  return rtkCaptureErrors(RTK_BOUNDARY("RTK:Runtime:GetId", "standalone/rtkkvn/kvn_inst"), 0, [&] {
    const RtkInstancePin pin(instance, "rtkGetID");
    return pin->getId();
  });
}
