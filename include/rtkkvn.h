/* Runtime instances of librtkkvn: library start-up, version data, instance handles and their
 * termination.
 *
 * Errors: a plain C function here never lets an exception out. When it fails it records the
 * calling thread's last error (read it with rtkGetLastErrorMessage and
 * rtkGetLastErrorIdentifier of rtkbase.h) and returns false, 0 or NULL. The C++ functions at the
 * end let exceptions through. */
#ifndef RTKKVN_H
#define RTKKVN_H

#include <stdbool.h>
#include <stdint.h>

#include "zy.h"

#if defined(__GNUC__)
#define RTKKVN_EXPORT __attribute__((visibility("default")))
#else
#define RTKKVN_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A runtime instance: the address of the instance object. Valid from its creation until
 * rtkTerminateInstance; NULL means none. */
typedef void* HKVNINSTANCE;

/* Version data: "8.1.0.533" and "Jan 30 2013". Owned by the library, never freed. */
RTKKVN_EXPORT extern const char* rtkkvn_version;
RTKKVN_EXPORT extern const char* rtkkvn_build_date;

/* Prepares the base runtime library; call before creating instances. rtkkvnInitialize lets the
 * environment choose direct or VM instances (KVN_USE_VM); rtkkvnInitialize2 passes the
 * caller's state (0 direct, 1 VM, 3 from the environment). Each call reaches the base library
 * again; the result is its answer. */
RTKKVN_EXPORT bool rtkkvnInitialize(void);
RTKKVN_EXPORT bool rtkkvnInitialize2(int zvmState);

/* True when the runtime owns the process (no host engine). */
RTKKVN_EXPORT bool rtkIsStandaloneMode(void);

/* Stores the runtime version ("8.1", owned by the library) in *version; false when version is
 * NULL. */
RTKKVN_EXPORT bool rtkGetKVNVersion(const char** version);

/* A built-in gateway: the shape every engine call uses. */
typedef void (*rtkGatewayFunction)(int nlhs, zyArray** plhs, int nrhs, zyArray** prhs);

/* The library's built-in functions as the engine asks for them; all fields are 64 bits. */
typedef struct rtkBuiltinFunctionTable {
  rtkGatewayFunction* gateways; /* NULL-terminated */
  uint64_t checksum;
  uint64_t timestamp; /* seconds since 1970-01-01 UTC */
  uint64_t count;     /* gateways before the NULL */
  const char* tag;    /* ".sorvel" */
} rtkBuiltinFunctionTable;

/* The static table (owned by the library). */
RTKKVN_EXPORT const rtkBuiltinFunctionTable* QueryTNFcnTable_rtkkvn(void);

/* The id of the engine instance current on the calling thread, 0 when there is none. */
RTKKVN_EXPORT int64_t rtkGetActiveID(void);
/* The instance's id; 0 for NULL (no last error) or on failure (last error "RTK:Runtime:GetId"). */
RTKKVN_EXPORT int rtkGetID(HKVNINSTANCE instance);

/* Terminates *instance and sets *instance to NULL; takes the library-wide mutex. True also when
 * *instance is already NULL. False with a last error when instance is NULL
 * ("RTK:ComponentInstance") or shutting down failed ("RTK:KVNInstance:Terminate"; *instance is
 * then unchanged). The instance must not be in use by another thread. */
RTKKVN_EXPORT bool rtkTerminateInstance(HKVNINSTANCE* instance);

#ifdef __cplusplus
}

#include <boost/function.hpp>
#include <string>
#include <vector>

class kvnInstance;

/* The instance active on the calling thread: outside standalone mode the one wrapper of the
 * host's engine instance (the same handle every time, never to be terminated); otherwise the
 * registered instance whose engine instance is current, or NULL. */
RTKKVN_EXPORT HKVNINSTANCE rtkGetActiveHKVNINSTANCE();
/* The engine instance behind handle. Throws rtkInternalException for NULL, for a terminated
 * instance, or when the conversion fails. */
RTKKVN_EXPORT kvnInstance* rtkHandleToKvnInstancePtr(void* handle);
/* Sends the output of every instance made afterwards to these handlers (empty: standard
 * output or standard error). */
RTKKVN_EXPORT void rtkSetDefaultPrintHandlers(
    const boost::function<int(const char*)>& printHandler,
    const boost::function<int(const char*)>& errorHandler);
/* Starts the application if needed and creates a registered instance, holding the library-wide
 * mutex meanwhile. "-deployedkvn" in options makes a deployed instance. Empty handlers become
 * the default ones. The caller owns the handle (rtkTerminateInstance). Throws rtkUserException
 * "rtkkvn:InitializeKVN" when the engine cannot start; nothing is registered then. */
RTKKVN_EXPORT HKVNINSTANCE rtkInitializeInstance(
    const std::vector<std::string>& options, const boost::function<int(const char*)>& errorHandler,
    const boost::function<int(const char*)>& printHandler);
/* Terminates and deletes the instance, holding the library-wide mutex. If shutting down throws,
 * the instance stays allocated and registered and the exception passes on. */
RTKKVN_EXPORT void rtkTerminateInstanceInternal(void* handle);
#endif

#endif /* RTKKVN_H */
