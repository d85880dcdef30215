/* The host-facing C functions of the runtime base library (librtkbase.so). */
#ifndef RTKBASE_H
#define RTKBASE_H

#include <stdbool.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define RTKBASE_API __attribute__((visibility("default")))

/* Application start and end.
 *
 * rtkInitializeApplication starts the runtime application with the given runtime options
 * ("-nodisplay": no figure windows are ever shown; "-nojvm": no Java VM is started; options the
 * runtime does not know are kept and ignored). It may be called again while the application
 * runs: the options given later are added. Returns false, with the thread's last error set
 * (identifier "RTK:Application"), when options is null while count is not 0.
 * rtkTerminateApplication ends it; a later rtkInitializeApplication starts it afresh. */
RTKBASE_API bool rtkInitializeApplication(const char** options, size_t count);
RTKBASE_API void rtkTerminateApplication(void);
RTKBASE_API bool rtkIsApplicationInitialized(void);

/* The library-wide re-entrant mutex (see base/mutex.hpp). rtkReleaseMutex returns -1 when the
 * calling thread does not hold it. */
RTKBASE_API void rtkAcquireMutex(void);
RTKBASE_API int rtkReleaseMutex(void);

/* The calling thread's last error, recorded when a runtime C function reported failure.
 * Every string returned is owned by the runtime and stays valid until the thread's last error
 * changes (the next failing call on this thread, or rtkClearLastError). With no pending error
 * the message and identifier are NULL and there are no stack lines. */
RTKBASE_API const char* rtkGetLastErrorMessage(void);
RTKBASE_API const char* rtkGetLastErrorIdentifier(void);
RTKBASE_API size_t rtkGetLastErrorStackLineCount(void);
/* NULL when index is not below rtkGetLastErrorStackLineCount(). */
RTKBASE_API const char* rtkGetLastErrorStackLine(size_t index);
RTKBASE_API void rtkClearLastError(void);

/* Default output handlers: the text goes unchanged to standard error (errors) or standard
 * output (printing), which is flushed. They return the number of characters written, or -1. */
RTKBASE_API int rtkDefaultErrorHandler(const char* text);
RTKBASE_API int rtkDefaultPrintHandler(const char* text);

#undef RTKBASE_API

#ifdef __cplusplus
}
#endif

#endif /* RTKBASE_H */
