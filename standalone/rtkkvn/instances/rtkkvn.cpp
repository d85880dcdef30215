// Library start-up, version data, the built-in function table, active-instance queries and
// instance creation.

#include "rtkkvn.h"

#include <boost/make_shared.hpp>
#include <sstream>

#include "base/application.hpp"
#include "base/exceptions.hpp"
#include "base/mutex.hpp"
#include "rtkkvn/instances/instance_registry.hpp"
#include "rtkkvn/instances/signature_gateway.hpp"
#include "util/services.hpp"
#include "util/sinks.hpp"

namespace {

constexpr char kSourceTag[] = "standalone/rtkkvn/rtkkvn";

// Built while the library loads.
const std::string runtimeVersion = [] {
  std::ostringstream text;
  text << "8"
       << "."
       << "1";
  return text.str();
}();

rtkGatewayFunction builtinGateways[] = {&rtkFunctionSignatureGateway, nullptr};

constexpr std::uint64_t kTableChecksum = 0x0B6053DC;
constexpr std::uint64_t kTableTimestamp = 0x51092FAF;  // 2013-01-30 14:35:27 UTC

const rtkBuiltinFunctionTable builtinTable = {
    builtinGateways, kTableChecksum, kTableTimestamp,
    sizeof(builtinGateways) / sizeof(builtinGateways[0]) - 1, ".sorvel"};

}  // namespace

extern "C" {

const char* rtkkvn_version = "8.1.0.533";
const char* rtkkvn_build_date = "Jan 30 2013";

bool rtkkvnInitialize(void) { return rtkkvnInitialize2(kZvmStateFromEnvironment); }

bool rtkkvnInitialize2(int zvmState) {
  rtkSetZvmState(zvmState, boost::shared_ptr<jqi::JavaVMConfig>());
  return rtkInitializeRtkBase();
}

bool rtkIsStandaloneMode(void) { return svIsStandaloneMode(); }

bool rtkGetKVNVersion(const char** version) {
  if (!version) return false;
  *version = runtimeVersion.c_str();
  return true;
}

const rtkBuiltinFunctionTable* QueryTNFcnTable_rtkkvn(void) { return &builtinTable; }

int64_t rtkGetActiveID(void) {
  const kvnInstance* current = kvnInstance::GetKVN();
  return current ? static_cast<int64_t>(current->GetId()) : 0;
}

}  // extern "C"

HKVNINSTANCE rtkGetActiveHKVNINSTANCE() {
  return RtkInstanceRegistry::registryInstance()->activeInstance();
}

kvnInstance* rtkHandleToKvnInstancePtr(void* handle) {
  if (!handle) {
    throw rtkInternalException("rtkHandleToKvnInstancePtr: inst argument is NULL", kSourceTag,
                               __LINE__);
  }
  // Checked like every handle; the engine pointer is not held once this returns.
  const RtkInstancePin pin(handle, "rtkHandleToKvnInstancePtr");
  kvnInstance* engine = nullptr;
  try {
    engine = pin->getKvnInstance();
  } catch (...) {
    throw rtkInternalException("rtkHandleToKvnInstancePtr: exception during conversion", kSourceTag,
                               __LINE__);
  }
  if (!engine) {
    throw rtkInternalException("rtkHandleToKvnInstancePtr: conversion to NULL kvnInstace pointer",
                               kSourceTag, __LINE__);
  }
  return engine;
}

void rtkSetDefaultPrintHandlers(const boost::function<int(const char*)>& printHandler,
                                const boost::function<int(const char*)>& errorHandler) {
  auto factory = boost::make_shared<DefaultPrintHandlerSinkFactory>();
  CmdWinSinkHandle::setFactory(factory);
  factory->setPrintHandler(printHandler);
  factory->setErrorHandler(errorHandler);
}

HKVNINSTANCE rtkInitializeInstance(const std::vector<std::string>& options,
                                   const boost::function<int(const char*)>& errorHandler,
                                   const boost::function<int(const char*)>& printHandler) {
  const RtkTextHandler error = handlerOrDefault(errorHandler, &rtkDefaultErrorHandler);
  const RtkTextHandler print = handlerOrDefault(printHandler, &rtkDefaultPrintHandler);
  rtkDefaultInitializeApplication();
  rtkLock lock;
  return RtkInstanceRegistry::registryInstance()->createInstance(options, error, print);
}
