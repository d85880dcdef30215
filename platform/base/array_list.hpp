#pragma once
// Lists of arrays as the gateway call shape passes them: a block of zyArray pointers from
// zyCalloc. A list owns the arrays in it; rtkFreeArrayList destroys them and the block.

#include "base/export.hpp"
#include "zy.h"

// A list of count null entries. Throws std::bad_alloc when memory runs out.
RTKBASE_EXPORT zyArray** rtkNewArrayList(int count);

// Destroys every non-null array of the list and then the list itself. A null list is ignored.
RTKBASE_EXPORT void rtkFreeArrayList(int count, zyArray** list);

// A new list of count 1-by-n char arrays made from the UTF-8 strings argv[0..count-1]; a null
// string gives an empty char array. Throws std::bad_alloc (freeing what it made) when memory
// runs out.
RTKBASE_EXPORT zyArray** rtkArgv2ZyArrayList(int count, const char** argv);

// Gives every array of the list (and everything inside it) data of its own, so that the caller
// owns arrays no engine value can change. Null entries are skipped. Throws std::bad_alloc.
RTKBASE_EXPORT void rtkUnshareArrayList(int count, zyArray** list);

// A new 1-by-count cell array that adopts the arrays of the list in order; each entry is set
// to null so the list can still be freed safely. A null entry becomes a 0-by-0 double array.
// Throws std::bad_alloc, leaving the list untouched.
RTKBASE_EXPORT zyArray* rtkCreateCellArrayFromArrayList(int count, zyArray** list);

// Marks array as belonging to the gateway call in progress (zySCOPE_LOCAL): the engine destroys
// it when the call returns unless the call returned it. Null is ignored.
RTKBASE_EXPORT void rtkMakeZyArrayLocalScope(zyArray* array);
