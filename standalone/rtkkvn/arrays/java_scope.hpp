#pragma once
// Destroying arrays that may hold Java objects.

#include "zy.h"

namespace rtkkvn::arrays {

// Destroys array (null is ignored). An opaque array (class 17) may hold a Java object, which
// must be released on a thread attached to the Java VM: when a JVM is in use (svJavaUseJVM) its
// destruction runs inside the Java guard scope of runInJavaGuard.
void destroyArray(zyArray* array);

// SEAM for the Java layer: runs action inside a jqi::JavaGuard scope. The Java layer (jqi) is
// not part of the runtime yet; until it is, the action runs on the calling thread as it is.
// This is the one place that will construct the guard.
template <typename Action>
void runInJavaGuard(Action&& action) {
  action();
}

}  // namespace rtkkvn::arrays
