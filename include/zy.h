/* The array library (libzy.so): every value that crosses the runtime is a zyArray.
 *
 * Arrays are column-major, N-dimensional (at least two dimensions, sizes are size_t), with the
 * real and the imaginary part of complex arrays in two separate blocks. Data blocks are reference
 * counted: zyCreateSharedDataCopy makes a new array header over the same data in constant time,
 * and any write through this API to an array whose data is shared first gives that array a
 * private copy, so an array can never be changed through its twin.
 *
 * Ownership: every function that returns a new zyArray* gives it to the caller, who releases it
 * with zyDestroyArray. Create functions return NULL when memory runs out. Arrays are not
 * locked: one array may be used by one thread at a time, while arrays that share data may be
 * used and destroyed on different threads.
 *
 * Pure C99; the same declarations serve C++ (where zyChar is char16_t and struct zyArray_tag is
 * the class of zy/array.hpp). */
#ifndef ZY_H
#define ZY_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define ZY_EXPORT __attribute__((visibility("default")))
#define ZY_NORETURN __attribute__((noreturn))
#define ZY_PRINTF(format_index, first_argument) \
  __attribute__((format(printf, format_index, first_argument)))
#else
#define ZY_EXPORT
#define ZY_NORETURN
#define ZY_PRINTF(format_index, first_argument)
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct zyArray_tag zyArray;

/* Class ids. Ids 0, 5, negative ids and anything above 18 name no class the library can hold
 * data for; arrays of ids 0 and 5 carry a shape and no data. */
typedef enum zyClassID {
  zyCLASS_ID_INT_MIN = -0x7fffffff - 1, /* with zyCLASS_ID_INT, makes every int a valid value */
  zyUNKNOWN_CLASS = 0,
  zyCELL_CLASS = 1,
  zySTRUCT_CLASS = 2,
  zyLOGICAL_CLASS = 3,
  zyCHAR_CLASS = 4,
  zyDOUBLE_CLASS = 6,
  zySINGLE_CLASS = 7,
  zyINT8_CLASS = 8,
  zyUINT8_CLASS = 9,
  zyINT16_CLASS = 10,
  zyUINT16_CLASS = 11,
  zyINT32_CLASS = 12,
  zyUINT32_CLASS = 13,
  zyINT64_CLASS = 14,
  zyUINT64_CLASS = 15,
  zyFUNCTION_CLASS = 16,
  zyOPAQUE_CLASS = 17,
  zyOBJECT_CLASS = 18,
  zyCLASS_ID_INT = 0x7fffffff /* callers may pass any int as an id */
} zyClassID;

/* Any int may be passed; only zyCOMPLEX asks for an imaginary part. */
typedef enum zyComplexity {
  zyREAL = 0,
  zyCOMPLEX = 1,
  zyCOMPLEXITY_INT_MIN = -0x7fffffff - 1, /* with zyCOMPLEXITY_INT, makes every int valid */
  zyCOMPLEXITY_INT = 0x7fffffff
} zyComplexity;

/* Who is responsible for destroying an array; the library only records it (see
 * docs/arrays.md). New arrays are zySCOPE_OWNED: the caller destroys them. */
typedef enum zyArrayScope {
  zySCOPE_OWNED = 0,      /* whoever received the array destroys it */
  zySCOPE_LOCAL = 1,      /* belongs to the gateway call in progress; the engine destroys it
                             when the call returns unless the call returned it */
  zySCOPE_PERSISTENT = 2, /* survives gateway calls; never destroyed by the engine */
  zySCOPE_INT = 0x7fffffff
} zyArrayScope;

/* Element types. */
typedef double zyDouble;
typedef float zySingle;
typedef int8_t zyInt8;
typedef uint8_t zyUint8;
typedef int16_t zyInt16;
typedef uint16_t zyUint16;
typedef int32_t zyInt32;
typedef uint32_t zyUint32;
typedef int64_t zyInt64;
typedef uint64_t zyUint64;
typedef uint8_t zyLogical; /* 0 or 1; reads treat any non-zero byte as 1 */
#ifdef __cplusplus
typedef char16_t zyChar;
#else
typedef uint16_t zyChar; /* one UTF-16 code unit */
#endif

/* ---- Memory -------------------------------------------------------------------------------
 * Blocks from these functions (plain malloc underneath) may be handed to arrays with
 * zySetData, zySetImagData, zySetIr and zySetJc; the library frees such blocks with zyFree.
 * zyMalloc(0) returns a unique pointer. All return NULL when memory runs out. */
ZY_EXPORT void* zyMalloc(size_t size);
ZY_EXPORT void* zyCalloc(size_t count, size_t size);
ZY_EXPORT void* zyRealloc(void* block, size_t size);
ZY_EXPORT void zyFree(void* block);

/* ---- Create -------------------------------------------------------------------------------
 * Shapes: a NULL dimension list or ndim 0 gives a 0-by-0 array, ndim 1 gives a dims[0]-by-1
 * array, and singleton dimensions after the second are dropped. Elements start as zeros, empty
 * cells (NULL elements) and empty fields. Every function returns NULL when memory runs out or
 * the element count does not fit in memory. */

/* Numeric classes (6 to 15) get zeroed data, complex ones a zeroed imaginary block too. Other
 * ids give the array of that id: logical and char arrays, cell arrays, struct arrays without
 * fields, and for ids 0, 5 and 16 to 18 an array of that shape holding no data. The complexity
 * is used for numeric classes only. Negative ids and ids above 18 give NULL. */
ZY_EXPORT zyArray* zyCreateNumericMatrix(size_t m, size_t n, zyClassID classId,
                                         zyComplexity complexity);
ZY_EXPORT zyArray* zyCreateNumericArray(size_t ndim, const size_t* dims, zyClassID classId,
                                        zyComplexity complexity);
ZY_EXPORT zyArray* zyCreateDoubleMatrix(size_t m, size_t n, zyComplexity complexity);
ZY_EXPORT zyArray* zyCreateDoubleScalar(double value);
ZY_EXPORT zyArray* zyCreateCellMatrix(size_t m, size_t n);
ZY_EXPORT zyArray* zyCreateCellArray(size_t ndim, const size_t* dims);
/* A negative nfields or NULL names gives no fields; names are copied. Duplicate, empty or NULL
 * names give NULL. */
ZY_EXPORT zyArray* zyCreateStructMatrix(size_t m, size_t n, int nfields, const char** names);
ZY_EXPORT zyArray* zyCreateStructArray(size_t ndim, const size_t* dims, int nfields,
                                       const char** names);
ZY_EXPORT zyArray* zyCreateCharArray(size_t ndim, const size_t* dims);
ZY_EXPORT zyArray* zyCreateCharMatrix(size_t m, size_t n);
/* Text arguments are UTF-8 (a byte that is not part of a valid sequence becomes U+FFFD) and
 * become UTF-16 code units. An empty text, and NULL, give a 0-by-0 char array. */
ZY_EXPORT zyArray* zyCreateString(const char* text);
ZY_EXPORT zyArray* zyCreateStringFromNChars(const char* text, size_t length);
/* m rows, one per string (NULL counts as empty), padded with blanks to the longest. */
ZY_EXPORT zyArray* zyCreateCharMatrixFromStrings(size_t m, const char** strings);
ZY_EXPORT zyArray* zyCreateLogicalMatrix(size_t m, size_t n);
ZY_EXPORT zyArray* zyCreateLogicalArray(size_t ndim, const size_t* dims);
/* Any non-zero value is stored as 1. */
ZY_EXPORT zyArray* zyCreateLogicalScalar(int value);
/* Sparse arrays are 2-D, compressed by column: column starts jc (n+1 entries, jc[n] is the
 * number of stored elements), row indices ir and data of room for nzmax elements (at least 1). */
ZY_EXPORT zyArray* zyCreateSparse(size_t m, size_t n, size_t nzmax, zyComplexity complexity);
ZY_EXPORT zyArray* zyCreateSparseLogicalMatrix(size_t m, size_t n, size_t nzmax);
/* An m-by-n sparse double (classId 6, real or complex) or logical (3) array from count
 * elements given as rows[k], columns[k] (from 0) and value real[k] (+ imag[k]; imag NULL for
 * real arrays, always NULL for logical). Elements whose value is zero are left out (a NaN is
 * kept); the rest are put in column-major order and elements at the same place are summed
 * (logical: combined with or). Room for the larger of nzmax and the number of elements kept
 * before summing. NULL for an index outside the array, another class, or when memory runs
 * out. */
ZY_EXPORT zyArray* zyCreateSparseFromTriplets(size_t m, size_t n, size_t count, const size_t* rows,
                                              const size_t* columns, const void* real,
                                              const void* imag, zyClassID classId, size_t nzmax);

/* Function-handle (16), opaque (17) and object (18) arrays: a 1-by-1 array that carries one
 * payload owned by the array, managed through its type. className names the object's class
 * (NULL allowed). */
typedef struct zyPayloadType {
  const char* name; /* identifies the type in the serialized form */
  /* A new payload equal to the given one (for zyDuplicateArray and writes to shared payloads);
   * NULL when it cannot be made. */
  void* (*clone)(const void* payload);
  void (*destroy)(void* payload);
  /* Optional: bytes standing for the payload in the serialized form, in a block from
   * zyMalloc, length in *length; NULL on failure. Without it payloads serialize as no bytes. */
  void* (*serialize)(const void* payload, size_t* length);
  /* Optional: the display text of the payload, zero-terminated UTF-8 from zyMalloc. */
  char* (*describe)(const void* payload);
} zyPayloadType;
/* The array adopts payload (also when NULL is returned: it is then destroyed through the type).
 * type must outlive every array that uses it. classId must be 16, 17 or 18. */
ZY_EXPORT zyArray* zyCreatePayloadArray(zyClassID classId, const char* className,
                                        const zyPayloadType* type, void* payload);
/* The payload stays owned by the array; NULL for other arrays. zyDeserialize cannot know the
 * engine's types: payloads it reads come back with the type zyStoredPayloadType(), whose
 * payload is read with zyGetStoredPayload (the original type name and bytes). */
ZY_EXPORT void* zyGetPayload(const zyArray* array);
ZY_EXPORT const zyPayloadType* zyGetPayloadType(const zyArray* array);
ZY_EXPORT const char* zyGetObjectClassName(const zyArray* array);
ZY_EXPORT const zyPayloadType* zyStoredPayloadType(void);
ZY_EXPORT const void* zyGetStoredPayload(const zyArray* array, const char** typeName,
                                         size_t* length);

/* ---- Copy ---------------------------------------------------------------------------------- */
/* A copy that shares nothing with the source, nested elements included. NULL for NULL. */
ZY_EXPORT zyArray* zyDuplicateArray(const zyArray* array);
/* A new header over the source's data in constant time (cells and structs whose element
 * pointers were handed out for writing copy their element headers instead). Either array may
 * be destroyed first; a write to either gives the writer a private copy. */
ZY_EXPORT zyArray* zyCreateSharedDataCopy(const zyArray* array);
/* Gives the array, and every element inside it, data of its own. 0, or -1 when memory runs
 * out (the array is then unchanged). */
ZY_EXPORT int zyUnshareArray(zyArray* array);
/* Releases the array and, for cells and structs, every element it holds. NULL is ignored. */
ZY_EXPORT void zyDestroyArray(zyArray* array);

/* ---- Serialize ------------------------------------------------------------------------------
 * The bytes of an array as a new 1-by-n uint8 array (format: docs/array-serialization.md).
 * zySERIALIZE_CANONICAL leaves out sparse elements stored as zero, so that arrays that
 * zyIsIdentical calls equal give equal bytes. Other flag bits are ignored. NULL for NULL, when
 * memory runs out, or for arrays nested deeper than the format allows (200 levels). */
#define zySERIALIZE_CANONICAL 32
ZY_EXPORT zyArray* zySerialize(const zyArray* array);
ZY_EXPORT zyArray* zySerializeEx(const zyArray* array, int flags);
/* Reads bytes written by zySerialize. The bytes are untrusted: any malformed, truncated or
 * oversized input gives NULL. */
ZY_EXPORT zyArray* zyDeserialize(const void* bytes, size_t length);

/* ---- Queries (no side effects) --------------------------------------------------------------
 * NULL arrays answer 0, NULL or false. */
ZY_EXPORT zyClassID zyGetClassID(const zyArray* array);
/* The class table's name ("double", "cell", ..., "unknown" for ids without a class). */
ZY_EXPORT const char* zyGetClassName(const zyArray* array);
ZY_EXPORT const char* zyGetClassNameFromID(int classId);
ZY_EXPORT size_t zyGetNumberOfDimensions(const zyArray* array);
/* The array's dimension list (zyGetNumberOfDimensions entries), valid until its shape changes. */
ZY_EXPORT const size_t* zyGetDimensions(const zyArray* array);
ZY_EXPORT size_t zyGetM(const zyArray* array);
/* The product of every dimension after the first. */
ZY_EXPORT size_t zyGetN(const zyArray* array);
ZY_EXPORT size_t zyGetNumberOfElements(const zyArray* array);
/* Bytes per element: 8 for double, int64 and uint64, cell and struct (an element pointer), 4,
 * 2 and 1 for the smaller classes, 2 for char, 1 for logical, 0 for classes without data. */
ZY_EXPORT size_t zyGetElementSize(const zyArray* array);
ZY_EXPORT int zyIsEmpty(const zyArray* array);
ZY_EXPORT int zyIsNumeric(const zyArray* array);
ZY_EXPORT int zyIsComplex(const zyArray* array);
ZY_EXPORT int zyIsSparse(const zyArray* array);
ZY_EXPORT int zyIsChar(const zyArray* array);
ZY_EXPORT int zyIsLogical(const zyArray* array);
ZY_EXPORT int zyIsCell(const zyArray* array);
ZY_EXPORT int zyIsStruct(const zyArray* array);
ZY_EXPORT int zyIsDouble(const zyArray* array);
/* A 2-D char array with one row or one column (the empty 0-by-0 char array is not one). */
ZY_EXPORT int zyIsCharVector(const zyArray* array);
/* Same class, shape, complexity and storage kind, same field names in order, bit-identical
 * elements (a NaN equals a NaN with the same bits; 0 and -0 differ), equal nested elements (a
 * NULL cell or field equals a 0-by-0 double). Sparse arrays compare their non-zero elements. */
ZY_EXPORT int zyIsIdentical(const zyArray* a, const zyArray* b);
ZY_EXPORT zyArrayScope zyGetArrayScope(const zyArray* array);

/* ---- Data access ------------------------------------------------------------------------------
 * The Const getters read and never copy; their pointers stay valid until the array is written
 * or destroyed. The others are for writing: when the data is shared they first give the array
 * a private copy (NULL when memory runs out). Cell and struct data are element pointers. */
ZY_EXPORT const void* zyGetDataConst(const zyArray* array);
ZY_EXPORT const void* zyGetImagDataConst(const zyArray* array);
ZY_EXPORT void* zyGetData(zyArray* array);
ZY_EXPORT void* zyGetImagData(zyArray* array);
/* Typed forms; NULL unless the array is of that class. */
ZY_EXPORT double* zyGetPr(zyArray* array);
ZY_EXPORT double* zyGetPi(zyArray* array);
ZY_EXPORT zyChar* zyGetChars(zyArray* array);
ZY_EXPORT const zyLogical* zyGetLogicals(const zyArray* array);
/* Sparse storage (NULL for full arrays). */
ZY_EXPORT const size_t* zyGetIrConst(const zyArray* array);
ZY_EXPORT const size_t* zyGetJcConst(const zyArray* array);
ZY_EXPORT size_t* zyGetIr(zyArray* array);
ZY_EXPORT size_t* zyGetJc(zyArray* array);
ZY_EXPORT size_t zyGetNzmax(const zyArray* array);
/* Number of stored elements of a sparse array; the element count of a full one. */
ZY_EXPORT size_t zyGetNumberOfNonzeros(const zyArray* array);

/* Text of a char array (all elements in storage order) as UTF-8 from zyMalloc, freed with
 * zyFree; NULL for other arrays or when memory runs out. */
ZY_EXPORT char* zyArrayToString(const zyArray* array);
/* The same text into buffer (always zero-terminated when length > 0). 0 on success, 1 when the
 * array is not char or the text was cut to fit. */
ZY_EXPORT int zyGetString(const zyArray* array, char* buffer, size_t length);

/* ---- Cells and structs ------------------------------------------------------------------------
 * Indices are linear and count from 0; fields count from 0. */
/* The element, owned by the container (NULL for an empty slot or a bad index). The Const form
 * only reads. The other form is for callers that will write the element or replace it:
 * the element is then the container's alone until the container is destroyed. */
ZY_EXPORT const zyArray* zyGetCellConst(const zyArray* cell, size_t index);
ZY_EXPORT zyArray* zyGetCell(zyArray* cell, size_t index);
/* The container adopts value (NULL empties the slot). The element that was there is no longer
 * the container's: whoever took it with zyGetCell destroys it. 0, or -1 for a bad array or
 * index (value is then not adopted) or when memory runs out. */
ZY_EXPORT int zySetCell(zyArray* cell, size_t index, zyArray* value);
ZY_EXPORT int zyGetNumberOfFields(const zyArray* array);
/* -1 when absent. */
ZY_EXPORT int zyGetFieldNumber(const zyArray* array, const char* name);
ZY_EXPORT const char* zyGetFieldNameByNumber(const zyArray* array, int field);
ZY_EXPORT const zyArray* zyGetFieldConst(const zyArray* array, size_t index, const char* name);
ZY_EXPORT zyArray* zyGetField(zyArray* array, size_t index, const char* name);
ZY_EXPORT zyArray* zyGetFieldByNumber(zyArray* array, size_t index, int field);
/* As zySetCell, for one field of one element. */
ZY_EXPORT int zySetField(zyArray* array, size_t index, const char* name, zyArray* value);
ZY_EXPORT int zySetFieldByNumber(zyArray* array, size_t index, int field, zyArray* value);
/* Puts value (NULL empties the slot) in the place of an element, or of one field of one element,
 * and hands the caller what was there (NULL for an empty slot) to destroy. Unlike zyGetCell, no
 * pointer into the container stays with the caller, so later copies of the container may still
 * share its data. 0, or -1 for a bad array, index or field or when memory runs out (value is then
 * not adopted and *old not set). */
ZY_EXPORT int zyExchangeCell(zyArray* cell, size_t index, zyArray* value, zyArray** old);
ZY_EXPORT int zyExchangeField(zyArray* array, size_t index, int field, zyArray* value,
                              zyArray** old);
/* Gives a cell or struct array the dimensions dims in place: the elements keep their linear
 * positions (for a vector changing along its length, or an empty array, their subscripts too),
 * those past the new number of elements are destroyed and new ones are empty. The data is
 * unshared first. Room is kept, so that growing or shrinking an array one element at a time
 * takes amortised constant time. 0, or -1 for an array that is neither or when memory runs out
 * (the array is then as it was). */
ZY_EXPORT int zyResizeContainer(zyArray* array, const size_t* dims, size_t ndim);
/* Removes the count elements of array from linear index first on, moving the later ones down,
 * and gives it the dimensions dims, which must hold as many elements as are left: a queue's
 * q(1) = [] costs a move of the elements, not a new array. For full numeric, char and logical
 * arrays and for cells and structs; the data is unshared first and the block keeps its room.
 * 0, or -1 for another kind of array, a range past the elements, dims of another count or when
 * memory runs out (the array is then as it was). */
ZY_EXPORT int zyRemoveElements(zyArray* array, size_t first, size_t count, const size_t* dims,
                               size_t ndim);
/* Adds a field at the end (empty in every element); its number, or -1. An existing name
 * returns its number. */
ZY_EXPORT int zyAddField(zyArray* array, const char* name);
/* Removes the field and destroys its values. 0 or -1. */
ZY_EXPORT int zyRemoveField(zyArray* array, int field);

/* ---- Mutation ---------------------------------------------------------------------------------
 * The array adopts the block (from zyMalloc) and frees it with zyFree. The block it held
 * before is no longer the array's: it belongs to whoever took it with zyGetData (typically to
 * pass it to zyRealloc). The caller guarantees the block is large enough for the array's
 * elements. zySetImagData with NULL makes a numeric array real; with a block it makes it
 * complex. 0, or -1 for an array that cannot hold such a block. */
ZY_EXPORT int zySetData(zyArray* array, void* data);
ZY_EXPORT int zySetImagData(zyArray* array, void* data);
ZY_EXPORT int zySetIr(zyArray* array, size_t* ir);
ZY_EXPORT int zySetJc(zyArray* array, size_t* jc);
/* Reallocates the row indices and data of a sparse array for nzmax (at least 1, and at least
 * the number of stored elements). 0 or -1. */
ZY_EXPORT int zySetNzmax(zyArray* array, size_t nzmax);
/* Reshapes without moving data: the new element count must fit the allocated elements (cells
 * and structs: must equal the element count). Sparse arrays keep their shape. 0 or -1. */
ZY_EXPORT int zySetDimensions(zyArray* array, const size_t* dims, size_t ndim);
ZY_EXPORT void zySetArrayScope(zyArray* array, zyArrayScope scope);

/* ---- Conversion -------------------------------------------------------------------------------
 * Converts count elements from source (of class sourceClass) into destination (of class
 * destinationClass), between the numeric classes, char and logical. Into integer classes and
 * char: round half away from zero, saturate, NaN becomes 0. Into logical: any non-zero is 1.
 * Char is its 16-bit code. Into floating classes: the nearest value. The blocks must not
 * overlap unless they are the same block of the same class. 0, or -1 for another class. */
ZY_EXPORT int zyConvertBufferToType(void* destination, zyClassID destinationClass,
                                    const void* source, zyClassID sourceClass, size_t count);

/* ---- Special values ---------------------------------------------------------------------- */
ZY_EXPORT double zyGetEps(void);
ZY_EXPORT double zyGetInf(void);
ZY_EXPORT double zyGetNaN(void);
ZY_EXPORT int zyIsFinite(double value);
ZY_EXPORT int zyIsInf(double value);
ZY_EXPORT int zyIsNaN(double value);

/* ---- Errors inside gateway calls ------------------------------------------------------------
 * The error mode is per thread and starts at 0. It selects how zyErrMsgIdAndTxt and the
 * argument-count errors report: both throw the C++ exception zy::ScriptError (zy/errors.hpp),
 * which the engine catches; in mode 0 the message is also written through the print function
 * as "Error: <message>\n" first, because no runtime call is in progress to report it, while a
 * runtime call sets -1 (any non-zero mode) and reports the error itself. zySetErrorMode returns
 * the previous mode. C gateway code must be built with unwind tables (the default on x86-64)
 * for the exception to pass through it. */
ZY_EXPORT int zyGetErrorMode(void);
ZY_EXPORT int zySetErrorMode(int mode);
/* Raises a script-level error with identifier id (may be NULL or empty) and a printf-style
 * message. Does not return. */
ZY_EXPORT ZY_NORETURN void zyErrMsgIdAndTxt(const char* id, const char* format, ...)
    ZY_PRINTF(2, 3);
ZY_EXPORT ZY_NORETURN void zyErrMsgTxt(const char* message);

/* ---- Display --------------------------------------------------------------------------------
 * ioPrintArray writes the display form of the array (docs/arrays.md) through the process-wide
 * print function: with a name as "name =", a blank line, the form and a blank line, without
 * one the form alone. The print function receives zero-terminated UTF-8 text; the default
 * writes to standard output. ioSetPrintFunction installs one (NULL restores the default) and
 * returns the previous one. */
typedef void (*ioPrintFunction)(const char* text);
ZY_EXPORT ioPrintFunction ioSetPrintFunction(ioPrintFunction function);
ZY_EXPORT void ioPrintText(const char* text);
ZY_EXPORT void ioPrintArray(const char* name, const zyArray* array);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* ZY_H */
