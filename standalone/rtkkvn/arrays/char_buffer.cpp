#include "rtkkvn/arrays/char_buffer.hpp"

#include <utility>

using rtkkvn::arrays::guardedSlot;

CharBuffer::CharBuffer(const char* text) : text_(text ? text : "") {}

CharBuffer::CharBuffer(std::string bytes) : text_(std::move(bytes)) {}

int CharBuffer::addref() { return rtkkvn::arrays::addReference(count_); }

int CharBuffer::release() { return rtkkvn::arrays::releaseReference(count_, this); }

size_t CharBuffer::size() {
  rtkLock lock;
  return text_.size();
}

const char* CharBuffer::get_buffer() {
  rtkLock lock;
  return text_.c_str();
}

int CharBuffer::set_buffer(const char* text) {
  return guardedSlot(-1, [&] {
    text_.assign(text ? text : "");
    return 0;
  });
}

int CharBuffer::compare_to(char_buffer* other) {
  return guardedSlot(-1, [&] {
    if (other == nullptr) return -1;
    const int order = text_.compare(other->get_buffer());
    return order < 0 ? -1 : order > 0 ? 1 : 0;
  });
}
