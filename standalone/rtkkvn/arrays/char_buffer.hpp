#pragma once
// CharBuffer: the byte string behind char_buffer (field names, printed forms, caller's text).

#include <string>

#include "rtkkvn/arrays/array_interfaces.hpp"
#include "rtkkvn/arrays/object_pool.hpp"
#include "rtkkvn/arrays/slot_guard.hpp"

class CharBuffer : public char_buffer, public rtkkvn::arrays::PoolAllocated {
 public:
  // text; NULL gives the empty string.
  explicit CharBuffer(const char* text);
  explicit CharBuffer(std::string bytes);
  CharBuffer(const CharBuffer&) = delete;
  CharBuffer& operator=(const CharBuffer&) = delete;

  int addref() override;
  int release() override;
  // size and get_buffer hold the global mutex but cannot fail.
  size_t size() override;
  const char* get_buffer() override;
  // Copies text (NULL gives the empty string). 0, or -1 with the last error set.
  int set_buffer(const char* text) override;
  // -1 for NULL; else the byte-wise order (-1, 0 or 1) of this text against the other's, a
  // proper prefix first.
  int compare_to(char_buffer* other) override;

 private:
  std::string text_;  // guarded by the global mutex
  rtkkvn::arrays::ReferenceCount count_{1};
};
