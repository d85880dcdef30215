// Java objects inside arrays: an opaque array (class id 17, class name "java.lang.Object")
// whose payload owns a JNI global reference.
//
// The engine does not link the Java VM: the runtime loads it (when Java is enabled) before any
// Java object can reach the engine, and the engine finds the running VM through the invocation
// interface's JNI_GetCreatedJavaVMs in the process. Only two JNI functions are needed, so the
// function tables are declared here by their fixed layout rather than through jni.h.

#include <dlfcn.h>

#include <cstdint>
#include <stdexcept>

#include "engine/instance.hpp"

namespace {

using JavaVMHandle = void*;
using JNIEnvHandle = void*;

// Slots of the JNI function tables (their layout has been fixed since JNI version 1.1).
constexpr int kGetEnvSlot = 6;            // JNIInvokeInterface_::GetEnv
constexpr int kNewGlobalRefSlot = 21;     // JNINativeInterface_::NewGlobalRef
constexpr int kDeleteGlobalRefSlot = 22;  // JNINativeInterface_::DeleteGlobalRef
constexpr std::int32_t kJniVersion16 = 0x00010006;

using GetCreatedVMs = std::int32_t (*)(JavaVMHandle*, std::int32_t, std::int32_t*);
using GetEnvFunction = std::int32_t (*)(JavaVMHandle, void**, std::int32_t);
using NewGlobalRefFunction = jobject (*)(JNIEnvHandle, jobject);
using DeleteGlobalRefFunction = void (*)(JNIEnvHandle, jobject);

template <typename Function>
Function slot(void* structure, int index) {
  void** table = *static_cast<void***>(structure);
  return reinterpret_cast<Function>(table[index]);
}

// The JNI environment of the calling thread, or null when no VM runs or the thread is not
// attached to it.
JNIEnvHandle currentEnvironment() {
  auto getVMs = reinterpret_cast<GetCreatedVMs>(dlsym(RTLD_DEFAULT, "JNI_GetCreatedJavaVMs"));
  if (!getVMs) return nullptr;
  JavaVMHandle vm = nullptr;
  std::int32_t count = 0;
  if (getVMs(&vm, 1, &count) != 0 || count < 1 || !vm) return nullptr;
  void* environment = nullptr;
  if (slot<GetEnvFunction>(vm, kGetEnvSlot)(vm, &environment, kJniVersion16) != 0) return nullptr;
  return environment;
}

void* cloneReference(const void* payload) {
  JNIEnvHandle environment = currentEnvironment();
  if (!environment) return nullptr;
  return slot<NewGlobalRefFunction>(environment, kNewGlobalRefSlot)(
      environment, static_cast<jobject>(const_cast<void*>(payload)));
}

void destroyReference(void* payload) {
  JNIEnvHandle environment = currentEnvironment();
  if (environment && payload) {
    slot<DeleteGlobalRefFunction>(environment, kDeleteGlobalRefSlot)(environment,
                                                                     static_cast<jobject>(payload));
  }
}

const zyPayloadType kJavaObjectType = {"q.java_object", cloneReference, destroyReference, nullptr,
                                       nullptr};

}  // namespace

zyArray* kvnInstance::javaObjectToZyArray(jobject object) {
  if (!object) return zyCreateNumericMatrix(0, 0, zyDOUBLE_CLASS, zyREAL);
  JNIEnvHandle environment = currentEnvironment();
  if (!environment) {
    throw std::runtime_error("A Java object cannot be converted: no Java VM is attached.");
  }
  jobject global = slot<NewGlobalRefFunction>(environment, kNewGlobalRefSlot)(environment, object);
  if (!global) throw std::runtime_error("The Java VM refused a global reference.");
  zyArray* array =
      zyCreatePayloadArray(zyOPAQUE_CLASS, "java.lang.Object", &kJavaObjectType, global);
  if (!array) throw std::bad_alloc();
  return array;
}

jobject kvnInstance::zyArrayToJavaObject(const zyArray* array) {
  if (!array || zyGetPayloadType(array) != &kJavaObjectType) return nullptr;
  return static_cast<jobject>(zyGetPayload(array));
}
