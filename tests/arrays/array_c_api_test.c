/* The array API from plain C99, including only the installed C headers: arrays made, read,
 * written, indexed, listed, printed, converted to raw arrays and back, and errors taken. */
#include <stdio.h>
#include <string.h>

#include "rtkkvn_array.h"
#include "rtkkvn_error.h"
#include "rtkkvn_util.h"
#include "zy.h"

static int failures = 0;

#define CHECK(condition)                                                            \
  do {                                                                              \
    if (!(condition)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                                   \
    }                                                                               \
  } while (0)

static void release(void* object) { ref_count_obj_release((ref_count_obj*)object); }

/* The pending last error's message compared with expected; the error is taken. */
static int lastErrorIs(const char* expected) {
  error_info* record = NULL;
  int same = 0;
  rtkcppGetLastError(&record);
  if (record != NULL) {
    same = strcmp(error_info_get_message(record), expected) == 0;
    release(record);
  }
  return same;
}

int main(void) {
  array_ref* a = NULL;
  array_ref* element = NULL;
  array_ref* copy = NULL;
  array_buffer* list = NULL;
  char_buffer* text = NULL;
  array_handle handle = NULL;
  zyArray* raw = NULL;
  double values[6] = {1, 2, 3, 4, 5, 6};
  double read[6] = {0};
  zyInt16 shorts[2] = {0};
  size_t at[2] = {2, 3};
  const char* names[2] = {"x", "y"};

  CHECK(rtkGetMatrix(&a, 2, 3, zyDOUBLE_CLASS, zyREAL) == 0);
  CHECK(array_ref_set_numeric_zyDouble(a, values, 6) == 0);
  CHECK(array_ref_number_of_elements(a) == 6);

  element = array_ref_get_int(a, 2, at);
  CHECK(element != NULL);
  values[0] = 60000;
  CHECK(array_ref_set_numeric_zyDouble(element, values, 1) == 0);
  release(element);
  CHECK(array_ref_get_numeric_zyDouble(a, read, 6) == 0);
  CHECK(read[5] == 60000);
  CHECK(array_ref_get_numeric_zyInt16(a, shorts, 2) == 0 && shorts[1] == 2);

  element = array_ref_getV_int(a, 1, (size_t)7);
  CHECK(element == NULL);
  CHECK(lastErrorIs("Attempt to access element at index 7  in array of size 6"));

  copy = array_ref_deep_copy(a);
  CHECK(array_ref_equals(a, copy));
  CHECK(rtkcppGetArrayBuffer(&list, 0) == 0);
  CHECK(array_buffer_add(list, a) == 0 && array_buffer_add(list, copy) == 0);
  release(copy);
  copy = array_buffer_to_cell(list, 1, 2);
  CHECK(copy != NULL && array_ref_classID(copy) == zyCELL_CLASS);
  release(copy);
  release(list);

  text = array_ref_to_string(a);
  CHECK(text != NULL && char_buffer_size(text) > 0);
  release(text);

  CHECK(rtkGetStructMatrix(&copy, 1, 1, 2, names) == 0);
  element = array_ref_get_const_char(copy, "y", 1, at);
  CHECK(element == NULL);
  CHECK(lastErrorIs("Attempt to access element at index 2  in array of size 1"));
  at[0] = 1;
  element = array_ref_getV_const_char(copy, "y", 1, (size_t)1);
  CHECK(element != NULL && array_ref_set(element, a) == 0);
  release(element);
  text = array_ref_get_field_name(copy, 1);
  CHECK(strcmp(char_buffer_get_buffer(text), "y") == 0);
  release(text);
  release(copy);

  /* Raw arrays: the handle adopts, converting back consumes the handle. */
  CHECK(rtkArrayHandle2zyArray(&raw, (array_handle)array_ref_shared_copy(a)) == 0);
  CHECK(raw != NULL && zyGetNumberOfElements(raw) == 6);
  CHECK(rtkzyArray2ArrayHandle(&handle, raw) == 0);
  CHECK(array_handle_equals(handle, (array_handle)a));
  CHECK(array_handle_classID(handle) == zyDOUBLE_CLASS);
  release(handle);

  CHECK(rtkGetScalarDouble(&copy, 1, 0, zyREAL) == 0);
  CHECK(array_ref_imag(copy) == NULL);
  CHECK(lastErrorIs("Cannot access the imaginary part of a pure-real array"));
  release(copy);

  CHECK(rtkIsNaN(rtkGetNaN()) && !rtkIsFinite(rtkGetInf()));
  CHECK(rtkGetMaxPathLen() == 1281);

  release(a);
  CHECK(rtkcppErrorCheck() == 1);
  if (failures == 0) printf("C array API: all checks passed\n");
  return failures == 0 ? 0 : 1;
}
