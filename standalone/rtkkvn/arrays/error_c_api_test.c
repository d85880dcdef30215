/* The error functions as a C host uses them, compiled as C99 against librtkkvn.so. */
#include <stdio.h>
#include <string.h>

#include "rtkkvn_error.h"

static int failures = 0;

#define CHECK(condition)                                                            \
  do {                                                                              \
    if (!(condition)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                                   \
    }                                                                               \
  } while (0)

int main(void) {
  error_info* record = NULL;
  char** lines = NULL;

  CHECK(rtkcppErrorCheck() == 1);
  rtkcppSetLastError("from C");
  CHECK(rtkcppErrorCheck() == 0);
  CHECK(rtkcppGetLastError(&record) == 0);
  CHECK(record != NULL);
  if (record != NULL) {
    CHECK(strcmp(error_info_get_message(record), "from C") == 0);
    CHECK(error_info_get_stack_trace(record, &lines) == 0);
    CHECK(lines == NULL);
    CHECK(ref_count_obj_addref((ref_count_obj*)record) == 2);
    CHECK(ref_count_obj_release((ref_count_obj*)record) == 1);
    CHECK(ref_count_obj_release((ref_count_obj*)record) == 0);
  }
  CHECK(rtkcppErrorCheck() == 1);
  CHECK(rtkcppGetLastError(NULL) == -1);

  CHECK(rtkcppCreateError(NULL, "x") == -1);
  CHECK(rtkcppCreateError(&record, NULL) == 0);
  if (record != NULL) {
    CHECK(strcmp(error_info_get_message(record), "Unspecified error") == 0);
    CHECK(ref_count_obj_release((ref_count_obj*)record) == 0);
  }
  rtkcppFreeString(NULL);

  return failures == 0 ? 0 : 1;
}
