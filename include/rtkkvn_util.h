/* Utilities of librtkkvn.so for wrapper code: IEEE special values and tests, byte hashing,
 * 16-bit string helpers with a reusable conversion buffer, and path functions.
 *
 * The special-value and identity functions take the runtime's global mutex for the length of
 * the call. The wide-string buffers take no lock: one buffer belongs to one caller at a time. */
#ifndef RTKKVN_UTIL_H
#define RTKKVN_UTIL_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#include "zy.h"

#if defined(__GNUC__)
#define RTKKVN_EXPORT __attribute__((visibility("default")))
#else
#define RTKKVN_EXPORT
#endif

/* Characters that a wide-string buffer holds inside itself before it takes a heap block. */
#define RTKKVN_WCS_INLINE_CHARACTERS 1024

/* A growable buffer of 16-bit characters, made by allocWcsStackPointer or
 * initializeWcsStackPointer and freed with deleteWcsStackPointer. p points at inline_characters
 * until the buffer needs more than it holds, then at a heap block of capacity characters. */
typedef struct rtkWcsStackBuffer {
  zyChar* p;
  zyChar inline_characters[RTKKVN_WCS_INLINE_CHARACTERS];
  int capacity;
} rtkWcsStackBuffer;

#ifdef __cplusplus
extern "C" {
#endif

RTKKVN_EXPORT double rtkGetEps(void);
RTKKVN_EXPORT double rtkGetInf(void);
RTKKVN_EXPORT double rtkGetNaN(void);
RTKKVN_EXPORT bool rtkIsFinite(double value);
RTKKVN_EXPORT bool rtkIsInf(double value);
RTKKVN_EXPORT bool rtkIsNaN(double value);
/* Same class, shape and elements (see zyIsIdentical). */
RTKKVN_EXPORT bool rtkIsIdentical(const zyArray* a, const zyArray* b);
/* The hash of count bytes with a seed, the low 32 bits of the runtime's 64-bit byte hash (the
 * one array_ref_hash_code uses with seed 0 over the serialized array). */
RTKKVN_EXPORT uint32_t rtkHashNBytes(uint64_t seed, size_t count, const void* bytes);
/* The longest path, terminating zero included, that the runtime's path buffers take: 1281. */
RTKKVN_EXPORT int rtkGetMaxPathLen(void);
/* Defines the runtime's path macro name (such as "$MYROOT") as the canonical form of the folder
 * value. true, or false with the class-interface last error set (rtkkvn_error.h) for a
 * malformed or NULL name or value. */
RTKKVN_EXPORT bool rtkAddCanonicalPathMacro(const char* name, const char* value);
/* Writes a fresh temporary file name into buffer (at least PATH_MAX bytes) and returns buffer;
 * the file is not created. NULL when no name could be made. */
RTKKVN_EXPORT char* rtkGetTempFileName(char* buffer);

/* 16-bit text helpers (UTF-16; the local code page is UTF-8). utf16_to_lcp_n_fcn converts count
 * characters of text into out, *length being the capacity of out in bytes on entry and what the
 * whole text needs on return; it returns the bytes written and adds no terminator. */
RTKKVN_EXPORT size_t utf16_to_lcp_n_fcn(char* out, size_t* length, const zyChar* text,
                                        size_t count);
RTKKVN_EXPORT size_t utf16_strlen_fcn(const zyChar* text);
/* strncpy for 16-bit characters: pads with zeros, does not terminate a source that fills count. */
RTKKVN_EXPORT zyChar* utf16_strncpy_fcn(zyChar* destination, const zyChar* source, size_t count);
/* A terminated copy in a block of the runtime's allocator, which the caller releases with the
 * utility library's utFree; NULL for NULL or when memory runs out. */
RTKKVN_EXPORT zyChar* utf16_strdup_fcn(const zyChar* text);

/* Makes sure *buffer holds at least count characters: makes the buffer when *buffer is NULL,
 * and replaces a too small p by a heap block of count characters (the old contents are not
 * kept). false when memory runs out (p is then NULL, or *buffer stays NULL). */
RTKKVN_EXPORT bool allocWcsStackPointer(rtkWcsStackBuffer** buffer, int count);
/* Makes the buffer when *buffer is NULL, points p at the inline characters and sets capacity to
 * RTKKVN_WCS_INLINE_CHARACTERS. A heap block held in p is not freed: release it first with
 * deleteWcsStackPointer_hPtr. Returns the buffer (NULL when memory runs out). */
RTKKVN_EXPORT rtkWcsStackBuffer* initializeWcsStackPointer(rtkWcsStackBuffer** buffer);
/* Frees a heap block held in p and sets p to NULL; p pointing at the inline characters is left
 * as it is. */
RTKKVN_EXPORT void deleteWcsStackPointer_hPtr(rtkWcsStackBuffer* buffer);
/* As deleteWcsStackPointer_hPtr, then frees the buffer itself. NULL is ignored. */
RTKKVN_EXPORT void deleteWcsStackPointer(rtkWcsStackBuffer* buffer);
/* Converts the UTF-8 text (NULL counts as empty) into p, growing the buffer as needed, and
 * terminates it. Returns the number of 16-bit characters, -2 when the buffer could not grow,
 * -1 for a NULL buffer. */
RTKKVN_EXPORT int koMbstowcs(rtkWcsStackBuffer* buffer, const char* text);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* RTKKVN_UTIL_H */
