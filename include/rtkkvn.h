/* Runtime instances of librtkkvn: library start-up, version data, instance handles and their
 * termination.
 *
 * Errors: a plain C function here never lets an exception out. When it fails it records the
 * calling thread's last error (read it with rtkGetLastErrorMessage and
 * rtkGetLastErrorIdentifier of rtkbase.h) and returns false, 0 or NULL. An argument no caller
 * can mean (a handle that names no live instance, a negative count, a NULL list for a non-zero
 * count, a NULL callback) is such a failure, with a message that names the function and the
 * argument, such as "rtkFeval: plhs is NULL although nlhs is 1; ...". Messages are valid UTF-8:
 * malformed bytes in names the host passed in appear as U+FFFD. The C++ functions at the end
 * let exceptions through. */
#ifndef RTKKVN_H
#define RTKKVN_H

#include <stdarg.h>
#include <stdbool.h>
#include <stdint.h>
#include <sys/types.h>

#include "rtkkvn_array.h"
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
 * rtkTerminateInstance; NULL means none.
 *
 * Every function that takes a handle first checks it against the process's live instances and
 * holds the instance until it returns. A handle that was never issued, or a copy of one whose
 * instance has been terminated (by any thread, also from inside a callback), fails cleanly with
 * the message "<function>: invalid or terminated instance handle."; nothing is read through it.
 * Since a handle is an address, a stale copy whose address a newer instance has come to occupy
 * names that newer instance: drop copies when terminating. The host's own instance
 * (rtkGetActiveHKVNINSTANCE outside standalone mode) is always valid and is never terminated. */
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
/* The instance's id; 0 for NULL (no last error) or on failure (last error "RTK:Runtime:GetId",
 * also for a handle that names no live instance). */
RTKKVN_EXPORT int rtkGetID(HKVNINSTANCE instance);

/* Terminates *instance and sets *instance to NULL; shutting the instance down takes the
 * library-wide mutex. True also when *instance is already NULL.
 *
 * While a call holds the instance (its own Q code calling a host callback that terminates it, or
 * a call running on another thread), this returns true at once with *instance NULL: from then on
 * the instance takes no new call, and it is shut down and deleted when the outermost call holding
 * it has returned (a failure of that late shutdown is not reported). A call of another thread is
 * interrupted, as by rtkInterruptInstance, so that it returns soon (failing with Q:interrupted);
 * a call whose own callback terminates the instance goes on to its own result.
 *
 * False with a last error when instance is NULL ("RTK:ComponentInstance"), when *instance names
 * no live instance, names the host's own instance, or is a copy of a handle another thread has
 * just terminated ("RTK:KVNInstance:Terminate"; of two threads terminating copies of one handle
 * exactly one succeeds), or when shutting down failed ("RTK:KVNInstance:Terminate"). *instance
 * is then unchanged, and after a failed shutdown the instance still takes calls. */
RTKKVN_EXPORT bool rtkTerminateInstance(HKVNINSTANCE* instance);

/* ---- Function calls ---------------------------------------------------------------------------
 * Outputs follow the gateway convention: the caller passes nlhs slots, the call writes them, and
 * every array written belongs to the caller, sharing no data with the engine (changing one never
 * changes the other). Inputs stay the caller's; a NULL entry of prhs is passed as a 0-by-0
 * double. nlhs and nrhs must not be negative; plhs may be NULL only when nlhs is 0, prhs only
 * when nrhs is 0. Such calls fail naming the argument, before anything runs.
 *
 * Threads. Q code of all instances of the process runs under one engine mutex: at any moment one
 * thread runs Q code (a Q pause gives the mutex up while it sleeps). Calls of direct instances
 * (every instance unless VM instances were chosen at start-up) are moreover serialised
 * process-wide for their whole duration, pauses included: while one thread is in a call of any
 * direct instance, a call of any direct instance on another thread waits. rtkcppFeval also holds
 * the library-wide mutex throughout, which the array API and instance creation and termination
 * take too, and keeps it while it waits for another thread's call: the callbacks of that call
 * then block on anything that takes the library-wide mutex, for good. A host that calls
 * rtkcppFeval from several threads keeps such work out of its callbacks. A VM instance runs its
 * calls in order on the VM's own thread.
 *
 * Callbacks. A host callback (rtkRegisterExternalFunction) runs inside the call, on the calling
 * thread. It may call these functions itself: on the same instance the call nests in place, on
 * another instance it runs in that instance's workspace; and it may terminate its own instance
 * (see rtkTerminateInstance). It must not wait for another thread that calls, creates or
 * terminates an instance, nor, inside rtkcppFeval, for one that uses the array API: that thread
 * waits for the locks the callback's own call holds, so neither would ever go on. */

/* Stopping calls. rtkInterruptInstance makes the calls that hold the instance end soon with the
 * Q-code error "Q:interrupted" ("The call was interrupted."): the Q code stops at its next loop
 * iteration or function call, a pause wakes at once, and a built-in that runs no Q code (a large
 * matrix operation, say) finishes first. Q-code try/catch does not catch it (nor
 * eval's catch text or cellfun's ErrorHandler), so even a loop that catches every error stops.
 * It may be called from any thread at any time, also from a callback of the call itself; it
 * takes no lock that a call holds and returns without waiting for the call to end. The calls it
 * ends are those holding the instance when it is made (running, or waiting for another thread's
 * call to finish) and any that start before all of them have returned; once the instance has no
 * call the request is gone. On an instance without calls it does nothing, and the next call
 * runs normally. Host code running in a callback is not interrupted: Q code it calls on this
 * instance fails, and the Q code that called the callback stops when it returns, whatever the
 * callback made of that failure. Only Q code of this instance stops: a callback waiting in a
 * call of another instance sees that call go on.
 * True when the request was made (or there was no call); false with a last error
 * ("RTK:Runtime:Interrupt") for a NULL handle or one that names no live instance or the host's
 * own instance. */
RTKKVN_EXPORT bool rtkInterruptInstance(HKVNINSTANCE instance);

/* Sets the time, in seconds, that each later call of the instance may run (0: no limit, the
 * start state; infinity is no limit too). A call that runs longer fails with the Q-code error
 * "Q:callBudgetExceeded", which Q-code try/catch does not catch either. The time counts from
 * when the call enters the engine (not while it waits for another thread's call), pauses included;
 * it is checked at loop iterations and function calls, about every hundred of them, with a clock
 * of a few milliseconds' resolution, so a call ends a little after its budget. Calls already
 * running keep the budget they started with. False with a last error
 * ("RTK:Runtime:SetCallBudget") for a negative or NaN seconds, naming the argument, or a handle
 * that names no live instance. */
RTKKVN_EXPORT bool rtkSetCallBudget(HKVNINSTANCE instance, double seconds);

/* Calls name with nrhs inputs, asking for nlhs outputs. False with a last error
 * ("RTK:Runtime:Feval", or the identifier, message and stack of a Q-code error). */
RTKKVN_EXPORT bool rtkFeval(HKVNINSTANCE instance, const char* name, int nlhs, zyArray** plhs,
                            int nrhs, zyArray** prhs);

/* The call of generated wrappers. arguments holds |fnout| output variables (zyArray**, each may
 * be NULL) and then |fnin| input arrays (zyArray*). fnin < 0: the last input is a varargin list,
 * a cell whose elements (as many as its columns) are passed in its place, or NULL for none.
 * fnout < 0: the last variable collects the results from its position up to nargout into a cell
 * array. A variable receiving a result has its old array destroyed first; with nargout 0 no
 * variable is touched. fnout and fnin must not be INT_MIN, nor nargout negative. On failure no
 * variable is touched and the last error is recorded ("RTK:Runtime:tnfFeval" or the Q-code
 * error). */
RTKKVN_EXPORT bool rtkTnfVFeval(HKVNINSTANCE instance, const char* name, int nargout, int fnout,
                                int fnin, va_list arguments);

/* Calls name with the arrays of inputs (a list of rtkcppGetArrayBuffer; borrowed) and stores in
 * *outputs a new list of nargout entries (one reference for the caller; an entry is NULL when the
 * function set no such output). Holds the runtime's global mutex throughout. 0 on success; -1 on
 * failure with the class-interface last error (rtkkvn_error.h) set: "Invalid input" for a NULL
 * argument, "rtkcppFeval: ..." for a handle that names no live instance or a negative nargout,
 * the message and Q-code stack of an error of the runtime, else the exception's text. *outputs
 * is then unchanged. */
RTKKVN_EXPORT int rtkcppFeval(HKVNINSTANCE instance, const char* name, int nargout,
                              array_buffer** outputs, array_buffer* inputs);

/* Stores in *value the global variable name of the instance (the caller owns it). False with
 * *value set to NULL when there is no such global (or it is empty); false without a last error
 * when an argument is NULL; false with a last error ("RTK:Runtime:GetGlobal") when the call
 * fails. */
RTKKVN_EXPORT bool rtkGetGlobal(HKVNINSTANCE instance, const char* name, zyArray** value);
/* Sets the global variable name of the instance to a copy of value (value stays the caller's).
 * name must be a variable name: a letter, then letters, digits or underscores, and not a keyword.
 * False with a last error ("RTK:Runtime:SetGlobal") for a NULL argument, another name or a failed
 * call. */
RTKKVN_EXPORT bool rtkSetGlobal(HKVNINSTANCE instance, const char* name, zyArray* value);

/* Binds name, for Q-code of the instance, to a host callback of the gateway shape (a later
 * registration of the name replaces it): the inputs belong to the engine and must not be
 * destroyed, the outputs the callback creates pass to the engine. An event function is called
 * on behalf of the instance. What the callback throws fails the Q code that called it: a
 * zy::ScriptError with its identifier, anything else as "Q:externalFunction" with the message
 * "'<name>' failed: <text>" (the text of a std::exception, else "the host callback threw an
 * exception that is not a std::exception"). False with a last error
 * ("RTK:Runtime:RegisterExternalFunction") when the handle is bad or callback is NULL; false
 * without one when the engine refuses the name. What a callback may do: see "Callbacks". */
RTKKVN_EXPORT bool rtkRegisterExternalFunction(HKVNINSTANCE instance, const char* name,
                                               rtkGatewayFunction callback);
RTKKVN_EXPORT bool rtkRegisterEventFunction(HKVNINSTANCE instance, const char* name,
                                            rtkGatewayFunction callback);

/* rtkFeval made with the file-system identity of the user token (a user id) and that user's
 * primary group, taken on the interpreter thread for the call and given back afterwards, also
 * when the call fails. Impersonated calls never overlap. False with the last error
 * ("RTK:Runtime:Feval", the system's message, or the Q-code error) on failure. */
RTKKVN_EXPORT bool rtkImpersonationFeval(HKVNINSTANCE instance, const char* name, int nlhs,
                                         zyArray** plhs, int nrhs, zyArray** prhs, uid_t token);
/* Gives the interpreter thread back its own file-system identity after an impersonated call.
 * A C function that does not catch: when the identity cannot be given back it throws
 * std::runtime_error with the system's message (C++ callers only can see it). */
RTKKVN_EXPORT void stopImpersonationOnKVNThread(void);

/* Blocks until the instance (NULL: the registered instance with the lowest id, if any) has no
 * visible figure left and its engine is ready to exit, checking every 2 seconds; then reports
 * invisible figures that are still open as warnings ("KVN:InvisibleFiguresAtExit"). Returns at
 * once when no display is in use. Errors are dropped. */
RTKKVN_EXPORT void rtkWaitForFiguresToDie(HKVNINSTANCE instance);

/* Runs the function name of the instance as a program's main function: argv[1 .. argc-1] are
 * its inputs as char arrays, nlhs its output count (results are dropped). Then waits for its
 * figures (rtkWaitForFiguresToDie). 0 on success; -1 on failure, with the error printed on the
 * error stream: for a Q-code error its identifier, for another runtime error its message and
 * identifier on two lines; runtime errors also become the last error. */
RTKKVN_EXPORT int rtkMain(HKVNINSTANCE instance, int argc, const char** argv, const char* name,
                          int nlhs);
/* Writes count bytes of buffer to the file descriptor fd; the result of write(2). */
RTKKVN_EXPORT int rtkWrite(int fd, const void* buffer, unsigned int count);

/* ---- Archive streams -----------------------------------------------------------------------
 * A stream handle delivers the bytes of a component archive to the component initialization
 * functions. The caller owns it and frees it with rtkDestroyStream; using it does not free it. */

/* A handle over size bytes at data, read in place: the bytes must stay valid and unchanged until
 * the handle is destroyed (a component made from it keeps a copy of its own). NULL data or a
 * size below 1 still give a handle, over no stream (an archive made from it cannot be read).
 * NULL with a last error ("RTK:CtfStreamExtractor") on failure. */
RTKKVN_EXPORT void* rtkGetStreamFromArraySrc(const char* data, int size);
/* A handle over the whole file modulePath (NULL: the running executable), from its first byte;
 * an archive appended to an executable or shared library is found there when it is read. NULL
 * when the file cannot be opened or is a folder, or (with a last error "RTK:CtfStreamExtractor")
 * on failure. */
RTKKVN_EXPORT void* rtkGetEmbeddedCtfStream(const char* modulePath);
/* Frees a handle of the two functions above; NULL does nothing. */
RTKKVN_EXPORT void rtkDestroyStream(void* handle);

/* ---- Component instances -------------------------------------------------------------------
 * Each function starts a runtime instance for a component and stores its handle in *instance
 * (the caller owns it: rtkTerminateInstance). They differ in where the component's archive is.
 * A component unpacked into the per-user component cache is shared by every later start of the
 * same component, in this and other processes of the user; it is unpacked only once.
 *
 * The two handlers receive the instance's error and printed text for its whole life, and the
 * messages of the archive runtime while the instance is being created (NULL: the process's
 * standard error and standard output, written directly; rtkSetDefaultPrintHandlers does not
 * reach component instances). rtkInitializeInstanceWithoutComponent is the exception: see there.
 * Creation holds the library-wide mutex, so component instances are created one at a time.
 *
 * True on success. False with the last error set ("RTK:ComponentInit", or the error of the step
 * that failed: "RTK:ComponentCache", "RTK:CTFPathUtils", "RTK:ComponentDirectoryExtraction",
 * "RTK:KVNInstanceProxy", ...; the message names the file and the fault); *instance is then left
 * as it was, or NULL when the instance itself could not be made. A failed creation holds no
 * lock and leaves nothing behind that would pass for an unpacked component. */

/* Receives one text (UTF-8); the result is ignored. */
typedef int (*rtkOutputHandler)(const char* text);
/* Writes up to count bytes into buffer and returns how many it wrote; 0 or -1 at the end. */
typedef int (*rtkCtfReadFunction)(char* buffer, int count);

/* The archive componentName.ctf in componentRoot (NULL: found for targetType, see
 * rtkGetWZDTargetType: the program on PATH, or the loaded library that hosts the component),
 * unpacked beside it into the folder componentName_kvn. */
RTKKVN_EXPORT bool rtkInitializeComponentInstanceNonEmbeddedStandalone(
    HKVNINSTANCE* instance, const char* componentRoot, const char* componentName, int targetType,
    rtkOutputHandler errorHandler, rtkOutputHandler printHandler);
/* The archive file archivePath, through the component cache. */
RTKKVN_EXPORT bool rtkInitializeComponentInstanceCtfFileToCache(HKVNINSTANCE* instance,
                                                                rtkOutputHandler errorHandler,
                                                                rtkOutputHandler printHandler,
                                                                const char* archivePath);
/* The archive a stream handle delivers (rtkGetStreamFromArraySrc, rtkGetEmbeddedCtfStream),
 * through the component cache. The handle stays the caller's (rtkDestroyStream). */
RTKKVN_EXPORT bool rtkInitializeComponentInstanceEmbedded(HKVNINSTANCE* instance,
                                                          rtkOutputHandler errorHandler,
                                                          rtkOutputHandler printHandler,
                                                          void* stream);
/* An archive of size bytes pulled through read (all of it is read first), through the component
 * cache. False WITHOUT a last error on any failure, also when read delivers fewer bytes. */
RTKKVN_EXPORT bool rtkInitializeComponentInstanceWithCallbk(HKVNINSTANCE* instance,
                                                            rtkOutputHandler errorHandler,
                                                            rtkOutputHandler printHandler,
                                                            rtkCtfReadFunction read, uint64_t size);
/* The component componentId as already unpacked in the component cache; it is never unpacked
 * here, so a component that is not in the cache fails. */
RTKKVN_EXPORT bool rtkInitializeComponentInstanceFromExtractedComponent(
    HKVNINSTANCE* instance, rtkOutputHandler errorHandler, rtkOutputHandler printHandler,
    const char* componentId);
/* The component unpacked in directory (the folder that holds its ctfsettings.json). */
RTKKVN_EXPORT bool rtkInitializeComponentInstanceFromExtractedLocation(
    HKVNINSTANCE* instance, rtkOutputHandler errorHandler, rtkOutputHandler printHandler,
    const char* directory);
/* An instance without a component, started with optionCount runtime options (see
 * rtkInitializeInstance). The two handlers are not used: such an instance prints through the
 * process-wide handlers of rtkSetDefaultPrintHandlers as they are when it is created (standard
 * output and standard error when none were set). A host that wants its text sets those first. */
RTKKVN_EXPORT bool rtkInitializeInstanceWithoutComponent(HKVNINSTANCE* instance,
                                                         const char** options, uint64_t optionCount,
                                                         rtkOutputHandler errorHandler,
                                                         rtkOutputHandler printHandler);

/* The target type for rtkInitializeComponentInstanceNonEmbeddedStandalone: 1 for a component
 * hosted by a shared library (isLibrary non-zero), 0 for one hosted by an executable. */
RTKKVN_EXPORT int rtkGetWZDTargetType(bool isLibrary);
/* 3, the component type of components called from managed code. */
RTKKVN_EXPORT int rtkGetDotNetComponentType(void);
/* The path of the archive of the executable component componentName (componentRoot as for
 * rtkInitializeComponentInstanceNonEmbeddedStandalone). A new string the caller frees with
 * utFree; NULL with the last error ("RTK:CtfPathUtils") when there is none. */
RTKKVN_EXPORT char* getStandaloneFileName(const char* componentRoot, const char* componentName);

#ifdef __cplusplus
}

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <string>
#include <vector>

class kvnInstance;
class rtkExtractedComponent;

/* The instance active on the calling thread: outside standalone mode the one wrapper of the
 * host's engine instance (the same handle every time, never to be terminated); otherwise the
 * registered instance whose engine instance is current, or NULL. */
RTKKVN_EXPORT HKVNINSTANCE rtkGetActiveHKVNINSTANCE();
/* The engine instance behind handle. Throws rtkInternalException for NULL, for a handle that
 * names no live instance ("rtkHandleToKvnInstancePtr: invalid or terminated instance handle."),
 * or when the conversion fails. The handle is checked during the call only: the pointer is valid
 * while the instance is, that is until it is terminated. */
RTKKVN_EXPORT kvnInstance* rtkHandleToKvnInstancePtr(void* handle);
/* Sends the printed output and the error text of every instance without a component made
 * afterwards (rtkInitializeInstance, rtkInitializeInstanceWithoutComponent, VM instances alike)
 * to these handlers; empty: standard output or standard error. Instances already made keep
 * printing where they did; component instances print through the handlers given when they were
 * created. This is how a host captures the output of an instance without a component. */
RTKKVN_EXPORT void rtkSetDefaultPrintHandlers(
    const boost::function<int(const char*)>& printHandler,
    const boost::function<int(const char*)>& errorHandler);
/* Starts the application if needed and creates a registered instance without a component,
 * holding the library-wide mutex meanwhile. "-deployedkvn" in options makes a deployed instance.
 * errorHandler and printHandler are not used: the instance prints through the process-wide
 * handlers of rtkSetDefaultPrintHandlers as they are now (standard output and standard error
 * when none were set). The caller owns the handle (rtkTerminateInstance). Throws
 * rtkUserException "rtkkvn:InitializeKVN" when the engine cannot start; nothing is registered
 * then. */
RTKKVN_EXPORT HKVNINSTANCE rtkInitializeInstance(
    const std::vector<std::string>& options, const boost::function<int(const char*)>& errorHandler,
    const boost::function<int(const char*)>& printHandler);
/* Starts the application if needed and, holding the library-wide mutex, calls factory (which
 * unpacks the component if it must) and creates and registers an instance for the component it
 * returns. The archive runtime reports through the handlers (empty: the default ones) during
 * the call only. The caller owns the handle. Exceptions pass to the caller; a failure leaves no
 * instance registered. */
RTKKVN_EXPORT HKVNINSTANCE rtkInitializeComponentInstance(
    const boost::function<int(const char*)>& errorHandler,
    const boost::function<int(const char*)>& printHandler,
    const boost::function<boost::shared_ptr<rtkExtractedComponent>()>& factory);
/* rtkTerminateInstance for C++ callers: terminates and deletes the instance, holding the
 * library-wide mutex, or, while a call holds it, leaves that to the outermost such call. Throws
 * rtkInternalException for NULL or a handle that names no live instance. If shutting down
 * throws, the instance stays allocated, registered and usable and the exception passes on. */
RTKKVN_EXPORT void rtkTerminateInstanceInternal(void* handle);
/* rtkFeval for C++ callers: exceptions (rtkInternalException for a bad handle or argument,
 * rtkSorvelException for a Q-code error) pass to the caller; outputs as for rtkFeval. */
RTKKVN_EXPORT void rtkInternalFeval(void* handle, const char* name, int nlhs, zyArray** plhs,
                                    int nrhs, zyArray** prhs);
/* rtkInternalFeval restricted to the public functions of the instance's component (exact,
 * case-sensitive names); any other name throws rtkInternalException
 * "No public function with this name". */
RTKKVN_EXPORT void rtkPublicFeval(void* handle, const char* name, int nlhs, zyArray** plhs,
                                  int nrhs, zyArray** prhs);
/* rtkInternalFeval for the bridge of Java hosts. A null handle is a fault of the caller: it prints
 * "rtkJavaKIlnFeval called with NULL HKVNINSTANCE." and a line end on standard output and ends
 * the process with abort. */
RTKKVN_EXPORT void rtkJavaKilnFeval(void* handle, const char* name, int nlhs, zyArray** plhs,
                                    int nrhs, zyArray** prhs);
/* The figure wait of rtkWaitForFiguresToDie for this instance, holding the library-wide mutex
 * (given up during the pauses); errors pass to the caller. With reportInvisible, invisible
 * figures still open at the end are reported and the result is false; otherwise true. */
RTKKVN_EXPORT bool rtkWaitForFiguresToDieInternal(void* handle, bool reportInvisible);
/* The folder of the per-user component cache for the current environment, such as
 * /tmp/user1/kvnCache8.1 (KVN_CACHE_ROOT, else $TEMP/$USER, joined with "kvnCache8.1"). Computed
 * afresh on every call; touches no file. Throws rtkUserException "RTK:ComponentCache" when the
 * root comes out empty. */
RTKKVN_EXPORT std::string rtkGetComponentCacheDir();
#endif

#endif /* RTKKVN_H */
