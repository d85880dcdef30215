// The exported functions of the array API. Each passes its arguments to one slot of the object
// and returns the slot's result unchanged; the slots do the locking and catch their own
// exceptions, so nothing here can throw. The array_handle family is the array_ref family under
// the handle type: the handle is the same object pointer.

#include <cstdarg>

#include "rtkkvn/arrays/array_interfaces.hpp"

namespace {

array_ref* object(array_ref* pointer) { return pointer; }
array_ref* object(array_handle handle) { return reinterpret_cast<array_ref*>(handle); }

// A new object in the family's own type.
template <typename Object>
Object result(array_ref* pointer) {
  return reinterpret_cast<Object>(pointer);
}

}  // namespace

#define RTKKVN_DEFINE_ARRAY_FAMILY(PREFIX, OBJECT)                                                \
  RTKKVN_EXPORT int PREFIX##classID(OBJECT self) { return object(self)->classID(); }              \
  RTKKVN_EXPORT OBJECT PREFIX##deep_copy(OBJECT self) {                                           \
    return result<OBJECT>(object(self)->deep_copy());                                             \
  }                                                                                               \
  RTKKVN_EXPORT void PREFIX##detach(OBJECT self) { object(self)->detach(); }                      \
  RTKKVN_EXPORT OBJECT PREFIX##shared_copy(OBJECT self) {                                         \
    return result<OBJECT>(object(self)->shared_copy());                                           \
  }                                                                                               \
  RTKKVN_EXPORT OBJECT PREFIX##serialize(OBJECT self) {                                           \
    return result<OBJECT>(object(self)->serialize());                                             \
  }                                                                                               \
  RTKKVN_EXPORT int PREFIX##element_size(OBJECT self) { return object(self)->element_size(); }    \
  RTKKVN_EXPORT int PREFIX##number_of_elements(OBJECT self) {                                     \
    return object(self)->number_of_elements();                                                    \
  }                                                                                               \
  RTKKVN_EXPORT size_t PREFIX##number_of_nonzeros(OBJECT self) {                                  \
    return object(self)->number_of_nonzeros();                                                    \
  }                                                                                               \
  RTKKVN_EXPORT size_t PREFIX##maximum_nonzeros(OBJECT self) {                                    \
    return object(self)->maximum_nonzeros();                                                      \
  }                                                                                               \
  RTKKVN_EXPORT size_t PREFIX##number_of_dimensions(OBJECT self) {                                \
    return object(self)->number_of_dimensions();                                                  \
  }                                                                                               \
  RTKKVN_EXPORT OBJECT PREFIX##get_dimensions(OBJECT self) {                                      \
    return result<OBJECT>(object(self)->get_dimensions());                                        \
  }                                                                                               \
  RTKKVN_EXPORT int PREFIX##number_of_fields(OBJECT self) {                                       \
    return object(self)->number_of_fields();                                                      \
  }                                                                                               \
  RTKKVN_EXPORT char_buffer* PREFIX##get_field_name(OBJECT self, int field) {                     \
    return object(self)->get_field_name(field);                                                   \
  }                                                                                               \
  RTKKVN_EXPORT bool PREFIX##is_empty(OBJECT self) { return object(self)->is_empty(); }           \
  RTKKVN_EXPORT bool PREFIX##is_sparse(OBJECT self) { return object(self)->is_sparse(); }         \
  RTKKVN_EXPORT bool PREFIX##is_numeric(OBJECT self) { return object(self)->is_numeric(); }       \
  RTKKVN_EXPORT bool PREFIX##is_complex(OBJECT self) { return object(self)->is_complex(); }       \
  RTKKVN_EXPORT int PREFIX##make_complex(OBJECT self) { return object(self)->make_complex(); }    \
  RTKKVN_EXPORT bool PREFIX##equals(OBJECT self, OBJECT other) {                                  \
    return object(self)->equals(object(other));                                                   \
  }                                                                                               \
  RTKKVN_EXPORT int PREFIX##compare_to(OBJECT self, OBJECT other) {                               \
    return object(self)->compare_to(object(other));                                               \
  }                                                                                               \
  RTKKVN_EXPORT int PREFIX##hash_code(OBJECT self) { return object(self)->hash_code(); }          \
  RTKKVN_EXPORT char_buffer* PREFIX##to_string(OBJECT self) { return object(self)->to_string(); } \
  RTKKVN_EXPORT OBJECT PREFIX##row_index(OBJECT self) {                                           \
    return result<OBJECT>(object(self)->row_index());                                             \
  }                                                                                               \
  RTKKVN_EXPORT OBJECT PREFIX##column_index(OBJECT self) {                                        \
    return result<OBJECT>(object(self)->column_index());                                          \
  }                                                                                               \
  RTKKVN_EXPORT OBJECT PREFIX##get_const_char(OBJECT self, const char* field, size_t count,       \
                                              const size_t* indices) {                            \
    return result<OBJECT>(object(self)->get_const_char(field, count, indices));                   \
  }                                                                                               \
  RTKKVN_EXPORT OBJECT PREFIX##get_int(OBJECT self, size_t count, const size_t* indices) {        \
    return result<OBJECT>(object(self)->get_int(count, indices));                                 \
  }                                                                                               \
  RTKKVN_EXPORT OBJECT PREFIX##getV_const_char(OBJECT self, const char* field, size_t count,      \
                                               ...) {                                             \
    va_list indices;                                                                              \
    va_start(indices, count);                                                                     \
    array_ref* element = object(self)->getV_const_char(field, count, indices);                    \
    va_end(indices);                                                                              \
    return result<OBJECT>(element);                                                               \
  }                                                                                               \
  RTKKVN_EXPORT OBJECT PREFIX##getV_int(OBJECT self, size_t count, ...) {                         \
    va_list indices;                                                                              \
    va_start(indices, count);                                                                     \
    array_ref* element = object(self)->getV_int(count, indices);                                  \
    va_end(indices);                                                                              \
    return result<OBJECT>(element);                                                               \
  }                                                                                               \
  RTKKVN_EXPORT int PREFIX##set(OBJECT self, OBJECT source) {                                     \
    return object(self)->set(object(source));                                                     \
  }                                                                                               \
  RTKKVN_EXPORT OBJECT PREFIX##real(OBJECT self) { return result<OBJECT>(object(self)->real()); } \
  RTKKVN_EXPORT OBJECT PREFIX##imag(OBJECT self) { return result<OBJECT>(object(self)->imag()); } \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, get_numeric_zyUint64, zyUint64*)                         \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, get_numeric_zyInt64, zyInt64*)                           \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, get_numeric_zyUint32, zyUint32*)                         \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, get_numeric_zyInt32, zyInt32*)                           \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, get_numeric_zyUint16, zyUint16*)                         \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, get_numeric_zyInt16, zyInt16*)                           \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, get_numeric_zyUint8, zyUint8*)                           \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, get_numeric_zyInt8, zyInt8*)                             \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, get_numeric_zySingle, zySingle*)                         \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, get_numeric_zyDouble, zyDouble*)                         \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, get_char, zyChar*)                                       \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, get_logical, zyLogical*)                                 \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, set_numeric_zyUint64, const zyUint64*)                   \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, set_numeric_zyInt64, const zyInt64*)                     \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, set_numeric_zyUint32, const zyUint32*)                   \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, set_numeric_zyInt32, const zyInt32*)                     \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, set_numeric_zyUint16, const zyUint16*)                   \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, set_numeric_zyInt16, const zyInt16*)                     \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, set_numeric_zyUint8, const zyUint8*)                     \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, set_numeric_zyInt8, const zyInt8*)                       \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, set_numeric_zySingle, const zySingle*)                   \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, set_numeric_zyDouble, const zyDouble*)                   \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, set_char, const zyChar*)                                 \
  RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, set_logical, const zyLogical*)

#define RTKKVN_DEFINE_TRANSFER(PREFIX, OBJECT, NAME, BUFFER)                 \
  RTKKVN_EXPORT int PREFIX##NAME(OBJECT self, BUFFER buffer, size_t count) { \
    return object(self)->NAME(buffer, count);                                \
  }

extern "C" {

RTKKVN_DEFINE_ARRAY_FAMILY(array_ref_, array_ref*)
RTKKVN_DEFINE_ARRAY_FAMILY(array_handle_, array_handle)

RTKKVN_EXPORT size_t array_buffer_size(array_buffer* list) { return list->size(); }
RTKKVN_EXPORT array_ref* array_buffer_get(array_buffer* list, size_t index) {
  return list->get(index);
}
RTKKVN_EXPORT int array_buffer_set(array_buffer* list, size_t index, array_ref* array) {
  return list->set(index, array);
}
RTKKVN_EXPORT int array_buffer_add(array_buffer* list, array_ref* array) {
  return list->add(array);
}
RTKKVN_EXPORT int array_buffer_remove(array_buffer* list, size_t index) {
  return list->remove(index);
}
RTKKVN_EXPORT int array_buffer_clear(array_buffer* list) { return list->clear(); }
RTKKVN_EXPORT array_ref* array_buffer_to_cell(array_buffer* list, size_t offset, size_t length) {
  return list->to_cell(offset, length);
}

RTKKVN_EXPORT size_t char_buffer_size(char_buffer* text) { return text->size(); }
RTKKVN_EXPORT const char* char_buffer_get_buffer(char_buffer* text) { return text->get_buffer(); }
RTKKVN_EXPORT int char_buffer_set_buffer(char_buffer* text, const char* value) {
  return text->set_buffer(value);
}
RTKKVN_EXPORT int char_buffer_compare_to(char_buffer* text, char_buffer* other) {
  return text->compare_to(other);
}

}  // extern "C"
