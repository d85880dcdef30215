#pragma once
// Warning states. A warning context answers, per warning identifier (such as
// "KVN:ExtractNotExclusive"), whether that warning is shown. Identifiers are compared exactly,
// letter case included. An identifier that was never set is enabled: a warning is shown unless
// someone turned it off. The identifier "all" sets every warning at once: it forgets the states
// set for single identifiers and makes its state the one every identifier has until it is set
// again on its own.
//
// The process always has a default context. A library that needs contexts of its own installs a
// warning manager: the newest manager still installed is the current one, and its context is the
// one utGetWarningContext returns; removing it makes the one installed before it current again
// (or the default context when none is left). A loaded library typically installs one when
// utGetWarningManager() is null and, at unload, removes it if utGetWarningManager() is still its
// token.
//
// All functions are thread-safe: the manager list and each context have a mutex of their own.
// A context pointer stays valid until its manager is removed; the default context lives as long
// as the process.

#include "util/export.hpp"

struct utWarningContext;
struct utWarningManager;

extern "C" {

// The current warning context (never null).
RTKUTIL_EXPORT utWarningContext* utGetWarningContext(void);

// Turns the warning id on (state non-zero) or off (state 0) in context; a null context stands
// for the current one. Returns 0, or -1 when id is null or memory is exhausted (nothing changed).
RTKUTIL_EXPORT int ut_set_warning_status_id(utWarningContext* context, const char* id, int state);

// 1 when the warning id is enabled in context (null: the current context), else 0. A null id
// asks for the state of "all".
RTKUTIL_EXPORT int ut_get_warning_status_id(utWarningContext* context, const char* id);

// Installs a new warning manager whose fresh context (every warning enabled) becomes the current
// one; returns its token, or null when memory is exhausted.
RTKUTIL_EXPORT utWarningManager* utInstallWarningManager(void);

// The current manager's token; null while the default context is current.
RTKUTIL_EXPORT utWarningManager* utGetWarningManager(void);

// Removes an installed manager and destroys its context. Returns 1 when it was the current one
// (the manager installed before it, or the default context, is current again), 0 when it was
// installed but not current (the current one stays) or is not installed at all (nothing happens).
RTKUTIL_EXPORT int utRemoveWarningManager(utWarningManager* manager);

}  // extern "C"
