/* The array API of librtkkvn.so: arrays, element references, lists and strings as
 * reference-counted objects, reached from C through the exported functions below and from C++
 * also through their virtual members (rtkkvn_array.hpp wraps them in a value class).
 *
 * Objects. array_ref stands for an array, a part of one (real, imag) or one element of one
 * (get_int, get_const_char); array_buffer is a list of array_ref entries (indices from 1);
 * char_buffer is a zero-terminated byte string. Every object a function returns as new carries
 * one reference for the caller, who gives it back with ref_count_obj_release (rtkkvn_error.h);
 * array_buffer_get returns its entry with one added reference. Objects passed in are borrowed
 * for the call; array_buffer_set and array_buffer_add add their own reference.
 *
 * Failures. No function here lets an exception out and none checks its object pointer (NULL is
 * a caller error). A failing call records the calling thread's last error (rtkkvn_error.h) and
 * returns the failure value named beside it: NULL for objects, -1 for int results, all bits set
 * for size_t results, false for is_sparse, is_numeric, is_complex and equals, true for is_empty,
 * 0 for classID, compare_to and hash_code. Where the failure value is also a valid result, ask
 * rtkcppErrorCheck.
 *
 * Element references and part views do not keep the array they point into alive or unchanged:
 * they stay valid while that array keeps its shape. Indices count from 1 everywhere.
 *
 * Locks: every call holds the runtime's global mutex for its whole body (reference counts are
 * atomic and take none), so the objects may be used from any thread. */
#ifndef RTKKVN_ARRAY_H
#define RTKKVN_ARRAY_H

#include <stdarg.h>
#include <stddef.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#include "rtkkvn_error.h"
#include "zy.h"

#ifdef __cplusplus
class char_buffer;

// An array, a part of an array or one element of an array, as client code sees it.
class RTKKVN_EXPORT array_ref : public ref_count_obj {
 public:
  virtual int classID() = 0;           // 3
  virtual array_ref* deep_copy() = 0;  // 4
  // Gives up the array without destroying it (whoever took it with get_zyArray owns it), then
  // releases the caller's reference.
  virtual void detach() = 0;                           // 5
  virtual array_ref* shared_copy() = 0;                // 6
  virtual array_ref* serialize() = 0;                  // 7: the bytes as a 1-by-n uint8 array
  virtual int element_size() = 0;                      // 8
  virtual int number_of_elements() = 0;                // 9: fails when the count exceeds INT_MAX
  virtual size_t number_of_nonzeros() = 0;             // 10
  virtual size_t maximum_nonzeros() = 0;               // 11
  virtual size_t number_of_dimensions() = 0;           // 12
  virtual array_ref* get_dimensions() = 0;             // 13
  virtual int number_of_fields() = 0;                  // 14
  virtual char_buffer* get_field_name(int field) = 0;  // 15: field from 0
  virtual bool is_empty() = 0;                         // 16
  virtual bool is_sparse() = 0;                        // 17
  virtual bool is_numeric() = 0;                       // 18
  virtual bool is_complex() = 0;                       // 19
  virtual int make_complex() = 0;                      // 20
  virtual bool equals(array_ref* other) = 0;           // 21
  virtual int compare_to(array_ref* other) = 0;        // 22
  virtual int hash_code() = 0;                         // 23
  virtual char_buffer* to_string() = 0;                // 24
  virtual array_ref* row_index() = 0;                  // 25
  virtual array_ref* column_index() = 0;               // 26
  // Element references; indices count from 1.
  virtual array_ref* get_const_char(const char* field, size_t count,
                                    const size_t* indices) = 0;         // 27
  virtual array_ref* get_int(size_t count, const size_t* indices) = 0;  // 28
  // As 27 and 28 with count size_t indices in a variable argument list.
  virtual array_ref* getV_const_char(const char* field, size_t count, va_list indices) = 0;  // 29
  virtual array_ref* getV_int(size_t count, va_list indices) = 0;                            // 30
  virtual int set(array_ref* source) = 0;                                                    // 31
  virtual array_ref* real() = 0;                                                             // 32
  virtual array_ref* imag() = 0;                                                             // 33
  // Typed transfers of count elements; 0 or -1. Upward from uint64 to double.
  virtual int get_numeric_zyUint64(zyUint64* buffer, size_t count) = 0;        // 34
  virtual int get_numeric_zyInt64(zyInt64* buffer, size_t count) = 0;          // 35
  virtual int get_numeric_zyUint32(zyUint32* buffer, size_t count) = 0;        // 36
  virtual int get_numeric_zyInt32(zyInt32* buffer, size_t count) = 0;          // 37
  virtual int get_numeric_zyUint16(zyUint16* buffer, size_t count) = 0;        // 38
  virtual int get_numeric_zyInt16(zyInt16* buffer, size_t count) = 0;          // 39
  virtual int get_numeric_zyUint8(zyUint8* buffer, size_t count) = 0;          // 40
  virtual int get_numeric_zyInt8(zyInt8* buffer, size_t count) = 0;            // 41
  virtual int get_numeric_zySingle(zySingle* buffer, size_t count) = 0;        // 42
  virtual int get_numeric_zyDouble(zyDouble* buffer, size_t count) = 0;        // 43
  virtual int get_char(zyChar* buffer, size_t count) = 0;                      // 44
  virtual int get_logical(zyLogical* buffer, size_t count) = 0;                // 45
  virtual int set_numeric_zyUint64(const zyUint64* buffer, size_t count) = 0;  // 46
  virtual int set_numeric_zyInt64(const zyInt64* buffer, size_t count) = 0;    // 47
  virtual int set_numeric_zyUint32(const zyUint32* buffer, size_t count) = 0;  // 48
  virtual int set_numeric_zyInt32(const zyInt32* buffer, size_t count) = 0;    // 49
  virtual int set_numeric_zyUint16(const zyUint16* buffer, size_t count) = 0;  // 50
  virtual int set_numeric_zyInt16(const zyInt16* buffer, size_t count) = 0;    // 51
  virtual int set_numeric_zyUint8(const zyUint8* buffer, size_t count) = 0;    // 52
  virtual int set_numeric_zyInt8(const zyInt8* buffer, size_t count) = 0;      // 53
  virtual int set_numeric_zySingle(const zySingle* buffer, size_t count) = 0;  // 54
  virtual int set_numeric_zyDouble(const zyDouble* buffer, size_t count) = 0;  // 55
  virtual int set_char(const zyChar* buffer, size_t count) = 0;                // 56
  virtual int set_logical(const zyLogical* buffer, size_t count) = 0;          // 57
};

// A growable list of array references (indices from 1); each entry holds one reference or is
// NULL.
class RTKKVN_EXPORT array_buffer : public ref_count_obj {
 public:
  virtual size_t size() = 0;  // 3
  // The entry with one added reference; a NULL entry is first replaced by an empty array.
  virtual array_ref* get(size_t index) = 0;             // 4
  virtual int set(size_t index, array_ref* array) = 0;  // 5
  virtual int add(array_ref* array) = 0;                // 6
  virtual int remove(size_t index) = 0;                 // 7
  virtual int clear() = 0;                              // 8
  // A new 1-by-length cell array of the entries from offset on.
  virtual array_ref* to_cell(size_t offset, size_t length) = 0;  // 9
};

// A byte string.
class RTKKVN_EXPORT char_buffer : public ref_count_obj {
 public:
  virtual size_t size() = 0;  // 3
  // The zero-terminated text, owned by the buffer until it changes or goes.
  virtual const char* get_buffer() = 0;            // 4
  virtual int set_buffer(const char* text) = 0;    // 5
  virtual int compare_to(char_buffer* other) = 0;  // 6
};
#else
typedef struct array_ref array_ref;
typedef struct array_buffer array_buffer;
typedef struct char_buffer char_buffer;
#endif

/* The same object pointer as an array_ref*, under the type that code converting to and from
 * raw zyArray pointers uses (rtkzyArray2ArrayHandle, rtkArrayHandle2zyArray). */
typedef struct array_handle_tag* array_handle;

#ifdef __cplusplus
extern "C" {
#endif

/* One family of array functions, each calling the slot of the same name on object (see the
 * members of array_ref above for what each does): array_ref_<name> on an array_ref*, and the
 * identical array_handle_<name> on an array_handle. OBJECT is the family's object type. The
 * getV_ forms take count size_t indices as variable arguments. */
#define RTKKVN_ARRAY_FAMILY(PREFIX, OBJECT)                                                        \
  RTKKVN_EXPORT int PREFIX##classID(OBJECT object);                                                \
  RTKKVN_EXPORT OBJECT PREFIX##deep_copy(OBJECT object);                                           \
  RTKKVN_EXPORT void PREFIX##detach(OBJECT object);                                                \
  RTKKVN_EXPORT OBJECT PREFIX##shared_copy(OBJECT object);                                         \
  RTKKVN_EXPORT OBJECT PREFIX##serialize(OBJECT object);                                           \
  RTKKVN_EXPORT int PREFIX##element_size(OBJECT object);                                           \
  RTKKVN_EXPORT int PREFIX##number_of_elements(OBJECT object);                                     \
  RTKKVN_EXPORT size_t PREFIX##number_of_nonzeros(OBJECT object);                                  \
  RTKKVN_EXPORT size_t PREFIX##maximum_nonzeros(OBJECT object);                                    \
  RTKKVN_EXPORT size_t PREFIX##number_of_dimensions(OBJECT object);                                \
  RTKKVN_EXPORT OBJECT PREFIX##get_dimensions(OBJECT object);                                      \
  RTKKVN_EXPORT int PREFIX##number_of_fields(OBJECT object);                                       \
  RTKKVN_EXPORT char_buffer* PREFIX##get_field_name(OBJECT object, int field);                     \
  RTKKVN_EXPORT bool PREFIX##is_empty(OBJECT object);                                              \
  RTKKVN_EXPORT bool PREFIX##is_sparse(OBJECT object);                                             \
  RTKKVN_EXPORT bool PREFIX##is_numeric(OBJECT object);                                            \
  RTKKVN_EXPORT bool PREFIX##is_complex(OBJECT object);                                            \
  RTKKVN_EXPORT int PREFIX##make_complex(OBJECT object);                                           \
  RTKKVN_EXPORT bool PREFIX##equals(OBJECT object, OBJECT other);                                  \
  RTKKVN_EXPORT int PREFIX##compare_to(OBJECT object, OBJECT other);                               \
  RTKKVN_EXPORT int PREFIX##hash_code(OBJECT object);                                              \
  RTKKVN_EXPORT char_buffer* PREFIX##to_string(OBJECT object);                                     \
  RTKKVN_EXPORT OBJECT PREFIX##row_index(OBJECT object);                                           \
  RTKKVN_EXPORT OBJECT PREFIX##column_index(OBJECT object);                                        \
  RTKKVN_EXPORT OBJECT PREFIX##get_const_char(OBJECT object, const char* field, size_t count,      \
                                              const size_t* indices);                              \
  RTKKVN_EXPORT OBJECT PREFIX##get_int(OBJECT object, size_t count, const size_t* indices);        \
  RTKKVN_EXPORT OBJECT PREFIX##getV_const_char(OBJECT object, const char* field, size_t count,     \
                                               ...);                                               \
  RTKKVN_EXPORT OBJECT PREFIX##getV_int(OBJECT object, size_t count, ...);                         \
  RTKKVN_EXPORT int PREFIX##set(OBJECT object, OBJECT source);                                     \
  RTKKVN_EXPORT OBJECT PREFIX##real(OBJECT object);                                                \
  RTKKVN_EXPORT OBJECT PREFIX##imag(OBJECT object);                                                \
  RTKKVN_EXPORT int PREFIX##get_numeric_zyUint64(OBJECT object, zyUint64* buffer, size_t count);   \
  RTKKVN_EXPORT int PREFIX##get_numeric_zyInt64(OBJECT object, zyInt64* buffer, size_t count);     \
  RTKKVN_EXPORT int PREFIX##get_numeric_zyUint32(OBJECT object, zyUint32* buffer, size_t count);   \
  RTKKVN_EXPORT int PREFIX##get_numeric_zyInt32(OBJECT object, zyInt32* buffer, size_t count);     \
  RTKKVN_EXPORT int PREFIX##get_numeric_zyUint16(OBJECT object, zyUint16* buffer, size_t count);   \
  RTKKVN_EXPORT int PREFIX##get_numeric_zyInt16(OBJECT object, zyInt16* buffer, size_t count);     \
  RTKKVN_EXPORT int PREFIX##get_numeric_zyUint8(OBJECT object, zyUint8* buffer, size_t count);     \
  RTKKVN_EXPORT int PREFIX##get_numeric_zyInt8(OBJECT object, zyInt8* buffer, size_t count);       \
  RTKKVN_EXPORT int PREFIX##get_numeric_zySingle(OBJECT object, zySingle* buffer, size_t count);   \
  RTKKVN_EXPORT int PREFIX##get_numeric_zyDouble(OBJECT object, zyDouble* buffer, size_t count);   \
  RTKKVN_EXPORT int PREFIX##get_char(OBJECT object, zyChar* buffer, size_t count);                 \
  RTKKVN_EXPORT int PREFIX##get_logical(OBJECT object, zyLogical* buffer, size_t count);           \
  RTKKVN_EXPORT int PREFIX##set_numeric_zyUint64(OBJECT object, const zyUint64* buffer,            \
                                                 size_t count);                                    \
  RTKKVN_EXPORT int PREFIX##set_numeric_zyInt64(OBJECT object, const zyInt64* buffer,              \
                                                size_t count);                                     \
  RTKKVN_EXPORT int PREFIX##set_numeric_zyUint32(OBJECT object, const zyUint32* buffer,            \
                                                 size_t count);                                    \
  RTKKVN_EXPORT int PREFIX##set_numeric_zyInt32(OBJECT object, const zyInt32* buffer,              \
                                                size_t count);                                     \
  RTKKVN_EXPORT int PREFIX##set_numeric_zyUint16(OBJECT object, const zyUint16* buffer,            \
                                                 size_t count);                                    \
  RTKKVN_EXPORT int PREFIX##set_numeric_zyInt16(OBJECT object, const zyInt16* buffer,              \
                                                size_t count);                                     \
  RTKKVN_EXPORT int PREFIX##set_numeric_zyUint8(OBJECT object, const zyUint8* buffer,              \
                                                size_t count);                                     \
  RTKKVN_EXPORT int PREFIX##set_numeric_zyInt8(OBJECT object, const zyInt8* buffer, size_t count); \
  RTKKVN_EXPORT int PREFIX##set_numeric_zySingle(OBJECT object, const zySingle* buffer,            \
                                                 size_t count);                                    \
  RTKKVN_EXPORT int PREFIX##set_numeric_zyDouble(OBJECT object, const zyDouble* buffer,            \
                                                 size_t count);                                    \
  RTKKVN_EXPORT int PREFIX##set_char(OBJECT object, const zyChar* buffer, size_t count);           \
  RTKKVN_EXPORT int PREFIX##set_logical(OBJECT object, const zyLogical* buffer, size_t count);

RTKKVN_ARRAY_FAMILY(array_ref_, array_ref*)
RTKKVN_ARRAY_FAMILY(array_handle_, array_handle)

/* ---- Lists (see array_buffer above) ---------------------------------------------------------- */
RTKKVN_EXPORT size_t array_buffer_size(array_buffer* list);
RTKKVN_EXPORT array_ref* array_buffer_get(array_buffer* list, size_t index);
RTKKVN_EXPORT int array_buffer_set(array_buffer* list, size_t index, array_ref* array);
RTKKVN_EXPORT int array_buffer_add(array_buffer* list, array_ref* array);
RTKKVN_EXPORT int array_buffer_remove(array_buffer* list, size_t index);
RTKKVN_EXPORT int array_buffer_clear(array_buffer* list);
RTKKVN_EXPORT array_ref* array_buffer_to_cell(array_buffer* list, size_t offset, size_t length);

/* ---- Strings (see char_buffer above) --------------------------------------------------------- */
RTKKVN_EXPORT size_t char_buffer_size(char_buffer* text);
RTKKVN_EXPORT const char* char_buffer_get_buffer(char_buffer* text);
RTKKVN_EXPORT int char_buffer_set_buffer(char_buffer* text, const char* value);
RTKKVN_EXPORT int char_buffer_compare_to(char_buffer* text, char_buffer* other);

/* ---- Constructors ----------------------------------------------------------------------------
 * Each stores a new object with one reference for the caller in *out and returns 0; on failure
 * it returns -1 with the last error set ("Invalid input" for a NULL out pointer, "Memory
 * allocation error" when the array library runs out of memory) and leaves *out unchanged.
 * Shapes: a NULL dimension list or ndims 0 gives 0-by-0, ndims 1 gives 1-by-dims[0]. */
RTKKVN_EXPORT int rtkGetEmptyArray(array_ref** out, zyClassID classId);
/* Numeric classes take the complexity; logical, char, cell and struct (no fields) arrays are
 * made of that shape; any other class id gives the 0-by-0 array of that id. */
RTKKVN_EXPORT int rtkGetMatrix(array_ref** out, size_t m, size_t n, zyClassID classId,
                               zyComplexity complexity);
RTKKVN_EXPORT int rtkGetArray(array_ref** out, size_t ndims, const size_t* dims, zyClassID classId,
                              zyComplexity complexity);
RTKKVN_EXPORT int rtkGetNumericMatrix(array_ref** out, size_t m, size_t n, zyClassID classId,
                                      zyComplexity complexity);
RTKKVN_EXPORT int rtkGetNumericArray(array_ref** out, size_t ndims, const size_t* dims,
                                     zyClassID classId, zyComplexity complexity);
/* 1-by-1 arrays; the imaginary value is stored only when complexity is zyCOMPLEX. */
RTKKVN_EXPORT int rtkGetScalarDouble(array_ref** out, zyDouble real, zyDouble imag,
                                     zyComplexity complexity);
RTKKVN_EXPORT int rtkGetScalarSingle(array_ref** out, zySingle real, zySingle imag,
                                     zyComplexity complexity);
RTKKVN_EXPORT int rtkGetScalarInt8(array_ref** out, zyInt8 real, zyInt8 imag,
                                   zyComplexity complexity);
RTKKVN_EXPORT int rtkGetScalarUint8(array_ref** out, zyUint8 real, zyUint8 imag,
                                    zyComplexity complexity);
RTKKVN_EXPORT int rtkGetScalarInt16(array_ref** out, zyInt16 real, zyInt16 imag,
                                    zyComplexity complexity);
RTKKVN_EXPORT int rtkGetScalarUint16(array_ref** out, zyUint16 real, zyUint16 imag,
                                     zyComplexity complexity);
RTKKVN_EXPORT int rtkGetScalarInt32(array_ref** out, zyInt32 real, zyInt32 imag,
                                    zyComplexity complexity);
RTKKVN_EXPORT int rtkGetScalarUint32(array_ref** out, zyUint32 real, zyUint32 imag,
                                     zyComplexity complexity);
RTKKVN_EXPORT int rtkGetScalarInt64(array_ref** out, zyInt64 real, zyInt64 imag,
                                    zyComplexity complexity);
RTKKVN_EXPORT int rtkGetScalarUint64(array_ref** out, zyUint64 real, zyUint64 imag,
                                     zyComplexity complexity);
RTKKVN_EXPORT int rtkGetCharMatrix(array_ref** out, size_t m, size_t n);
RTKKVN_EXPORT int rtkGetCharArray(array_ref** out, size_t ndims, const size_t* dims);
RTKKVN_EXPORT int rtkGetScalarChar(array_ref** out, zyChar value);
/* A char row vector of UTF-8 text; NULL or "" give the 0-by-0 char array. */
RTKKVN_EXPORT int rtkGetString(array_ref** out, const char* text);
/* m rows, one per string, padded with blanks to the longest. */
RTKKVN_EXPORT int rtkGetCharMatrixFromStrings(array_ref** out, size_t m, const char** strings);
RTKKVN_EXPORT int rtkGetLogicalMatrix(array_ref** out, size_t m, size_t n);
RTKKVN_EXPORT int rtkGetLogicalArray(array_ref** out, size_t ndims, const size_t* dims);
RTKKVN_EXPORT int rtkGetScalarLogical(array_ref** out, zyLogical value);
RTKKVN_EXPORT int rtkGetCellMatrix(array_ref** out, size_t m, size_t n);
RTKKVN_EXPORT int rtkGetCellArray(array_ref** out, size_t ndims, const size_t* dims);
/* A negative fieldCount or NULL names gives no fields. */
RTKKVN_EXPORT int rtkGetStructMatrix(array_ref** out, size_t m, size_t n, int fieldCount,
                                     const char** names);
RTKKVN_EXPORT int rtkGetStructArray(array_ref** out, size_t ndims, const size_t* dims,
                                    int fieldCount, const char** names);

/* Sparse arrays from k elements: rows[i], columns[i] (from 1) and the value real[i] (+ imag[i]
 * for complex). Each of the three lists has k entries or one entry repeated for every element;
 * k is the largest count. Either all three lists are NULL (an empty m-by-n sparse array with
 * room for nzmax) or none is; complex data gives both real and imag. Zero values are left out
 * (a NaN is kept), elements at the same place are summed (logical: or), nzmax 0 means k and k
 * must not exceed it. Numeric data are doubles (class zyDOUBLE_CLASS only), logical data bytes.
 * The InferRowsCols forms take the size from the largest row and column index given. */
RTKKVN_EXPORT int rtkGetNumericSparse(array_ref** out, size_t rowCount, const size_t* rows,
                                      size_t columnCount, const size_t* columns, size_t dataCount,
                                      const void* real, const void* imag, size_t m, size_t n,
                                      size_t nzmax, zyClassID classId, zyComplexity complexity);
RTKKVN_EXPORT int rtkGetNumericSparseInferRowsCols(array_ref** out, size_t rowCount,
                                                   const size_t* rows, size_t columnCount,
                                                   const size_t* columns, size_t dataCount,
                                                   const void* real, const void* imag, size_t nzmax,
                                                   zyClassID classId, zyComplexity complexity);
RTKKVN_EXPORT int rtkGetLogicalSparse(array_ref** out, size_t rowCount, const size_t* rows,
                                      size_t columnCount, const size_t* columns, size_t dataCount,
                                      const zyLogical* data, size_t m, size_t n, size_t nzmax);
RTKKVN_EXPORT int rtkGetLogicalSparseInferRowsCols(array_ref** out, size_t rowCount,
                                                   const size_t* rows, size_t columnCount,
                                                   const size_t* columns, size_t dataCount,
                                                   const zyLogical* data, size_t nzmax);

/* ---- Other objects and conversions ------------------------------------------------------------
 * Same shape as the constructors (0, or -1 with the last error and *out unchanged). */
/* A string holding a copy of text (NULL gives ""). */
RTKKVN_EXPORT int rtkCreateCharBuffer(char_buffer** out, const char* text);
/* A list of count NULL entries (array_buffer_get turns a NULL entry into an empty array). A
 * count whose block of entries cannot be allocated fails ("Memory allocation error"). */
RTKKVN_EXPORT int rtkcppGetArrayBuffer(array_buffer** out, size_t count);
/* The array whose serialized bytes *source (a uint8 array; its column count is taken as the
 * number of bytes) holds. Bytes that are not a serialized array (damaged, truncated, of another
 * format, or describing an array that cannot be made) fail. */
RTKKVN_EXPORT int rtkDeserializeArray(array_ref** out, array_ref** source);
/* The printed form of array (as array_ref_to_string gives it) in a new zero-terminated block
 * that the caller frees with rtkcppFreeString. */
RTKKVN_EXPORT int rtkcppArrayToString(const zyArray* array, char** out);
/* A new handle that takes array over without copying it: the array now belongs to the handle. */
RTKKVN_EXPORT int rtkzyArray2ArrayHandle(array_handle* out, zyArray* array);
/* *out becomes a new shared-data copy of the handle's array (NULL when it has none), owned by
 * the caller; the call consumes the caller's reference to handle. */
RTKKVN_EXPORT int rtkArrayHandle2zyArray(zyArray** out, array_handle handle);

/* ---- Single elements of raw arrays -------------------------------------------------------------
 * indices: count indices from 1 (exactly 2, row and column, for sparse arrays). Get stores a
 * new array in *out (the caller destroys it): the element, its real or its imaginary part.
 * Set stores the first value of source into the element of target, into its real or its
 * imaginary part. The source and target arrays stay the caller's. 0, or -1 with the last
 * error set. */
RTKKVN_EXPORT int rtkZYArrayGet(zyArray** out, const zyArray* source, size_t count,
                                const size_t* indices);
RTKKVN_EXPORT int rtkZYArrayGetReal(zyArray** out, const zyArray* source, size_t count,
                                    const size_t* indices);
RTKKVN_EXPORT int rtkZYArrayGetImag(zyArray** out, const zyArray* source, size_t count,
                                    const size_t* indices);
RTKKVN_EXPORT int rtkZYArraySet(zyArray* target, const zyArray* source, size_t count,
                                const size_t* indices);
RTKKVN_EXPORT int rtkZYArraySetReal(zyArray* target, const zyArray* source, size_t count,
                                    const size_t* indices);
RTKKVN_EXPORT int rtkZYArraySetImag(zyArray* target, const zyArray* source, size_t count,
                                    const size_t* indices);
RTKKVN_EXPORT int rtkZYArraySetLogical(zyArray* target, const zyArray* source, size_t count,
                                       const size_t* indices);
/* Two new 1-by-k uint64 arrays (the caller destroys them) with the row and column number, from
 * 1, of each stored element (each element of a full array) in column-major order. */
RTKKVN_EXPORT int rtkZYArrayGetIndexArrays(zyArray** rows, zyArray** columns,
                                           const zyArray* source);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* RTKKVN_ARRAY_H */
