// The growable 16-bit character buffer of wrapper code: text converted from the local code page
// lands in the buffer's own characters, and only longer text takes a heap block. No lock: a
// buffer belongs to one caller at a time.

#include <cstring>

#include "rtkkvn/export.hpp"
#include "rtkkvn_util.h"
#include "util/memory.hpp"
#include "util/utf16.hpp"

namespace {

bool usesHeapBlock(const rtkWcsStackBuffer* buffer) {
  return buffer->p != nullptr && buffer->p != buffer->inline_characters;
}

void pointAtInlineCharacters(rtkWcsStackBuffer* buffer) {
  buffer->p = buffer->inline_characters;
  buffer->capacity = RTKKVN_WCS_INLINE_CHARACTERS;
}

}  // namespace

extern "C" {

RTKKVN_EXPORT bool allocWcsStackPointer(rtkWcsStackBuffer** buffer, int count) {
  if (*buffer == nullptr) {
    auto* made = static_cast<rtkWcsStackBuffer*>(utMalloc(sizeof(rtkWcsStackBuffer)));
    if (made == nullptr) return false;
    pointAtInlineCharacters(made);
    *buffer = made;
  }
  rtkWcsStackBuffer* b = *buffer;
  if (count <= b->capacity) return true;
  if (usesHeapBlock(b)) utFree(b->p);
  b->p = static_cast<zyChar*>(utMalloc(static_cast<size_t>(count) * sizeof(zyChar)));
  if (b->p == nullptr) return false;
  b->capacity = count;
  return true;
}

RTKKVN_EXPORT rtkWcsStackBuffer* initializeWcsStackPointer(rtkWcsStackBuffer** buffer) {
  if (*buffer == nullptr) {
    *buffer = static_cast<rtkWcsStackBuffer*>(utMalloc(sizeof(rtkWcsStackBuffer)));
    if (*buffer == nullptr) return nullptr;
  }
  pointAtInlineCharacters(*buffer);
  return *buffer;
}

RTKKVN_EXPORT void deleteWcsStackPointer_hPtr(rtkWcsStackBuffer* buffer) {
  if (!usesHeapBlock(buffer)) return;
  utFree(buffer->p);
  buffer->p = nullptr;
}

RTKKVN_EXPORT void deleteWcsStackPointer(rtkWcsStackBuffer* buffer) {
  if (buffer == nullptr) return;
  deleteWcsStackPointer_hPtr(buffer);
  utFree(buffer);
}

RTKKVN_EXPORT int koMbstowcs(rtkWcsStackBuffer* buffer, const char* text) {
  if (buffer == nullptr) return -1;
  // A buffer whose heap block was given back converts into its own characters again.
  if (buffer->p == nullptr) pointAtInlineCharacters(buffer);
  const size_t bytes = text ? std::strlen(text) : 0;
  size_t length = static_cast<size_t>(buffer->capacity);
  lcp_to_utf16_n(buffer->p, &length, text, bytes);
  if (length >= static_cast<size_t>(buffer->capacity)) {
    // Room for the text and its terminator; the first attempt wrote only what fitted.
    if (!allocWcsStackPointer(&buffer, static_cast<int>(length + 1))) return -2;
    length = static_cast<size_t>(buffer->capacity);
    lcp_to_utf16_n(buffer->p, &length, text, bytes);
  }
  buffer->p[length] = 0;
  return static_cast<int>(length);
}

}  // extern "C"
