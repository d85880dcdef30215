/* The C surface as a C99 host sees it: every declaration of zy.h compiles as C, and the main
 * paths work through the shared library. */
#include <stdio.h>
#include <string.h>

#include "zy.h"

static int failures = 0;

#define CHECK(condition)                                                      \
  do {                                                                        \
    if (!(condition)) {                                                       \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                             \
    }                                                                         \
  } while (0)

static char printed[256];
static void capture(const char* text) {
  strncat(printed, text, sizeof printed - strlen(printed) - 1);
}

static void sharedCopiesAreIndependent(void) {
  zyArray* source = zyCreateDoubleMatrix(1, 3, zyREAL);
  zyArray* twin;
  double* data = zyGetPr(source);
  data[0] = 1;
  data[1] = 2;
  data[2] = 3;
  twin = zyCreateSharedDataCopy(source);
  CHECK(zyGetDataConst(twin) == zyGetDataConst(source));
  zyGetPr(twin)[1] = 20;
  CHECK(zyGetPr(source)[1] == 2);
  CHECK(zyGetPr(twin)[1] == 20);
  zyDestroyArray(source);
  CHECK(zyGetPr(twin)[2] == 3);
  zyDestroyArray(twin);
}

static void serializationRoundTrips(void) {
  const char* names[] = {"label", "value"};
  zyArray* structure = zyCreateStructMatrix(1, 1, 2, names);
  zyArray* bytes;
  zyArray* back;
  CHECK(zySetField(structure, 0, "label", zyCreateString("caf\xC3\xA9")) == 0);
  CHECK(zySetField(structure, 0, "value", zyCreateDoubleScalar(-1.5)) == 0);
  bytes = zySerialize(structure);
  CHECK(bytes != NULL && zyGetClassID(bytes) == zyUINT8_CLASS);
  back = zyDeserialize(zyGetDataConst(bytes), zyGetN(bytes));
  CHECK(back != NULL && zyIsIdentical(back, structure));
  CHECK(zyDeserialize(zyGetDataConst(bytes), zyGetN(bytes) - 1) == NULL);
  zyDestroyArray(back);
  zyDestroyArray(bytes);
  zyDestroyArray(structure);
}

static void conversionFollowsTheRules(void) {
  const double source[4] = {2.5, -2.5, 1e10, 0.0 / 0.0};
  zyInt16 converted[4];
  zyLogical truth[4];
  CHECK(zyConvertBufferToType(converted, zyINT16_CLASS, source, zyDOUBLE_CLASS, 4) == 0);
  CHECK(converted[0] == 3 && converted[1] == -3 && converted[2] == 32767 && converted[3] == 0);
  CHECK(zyConvertBufferToType(truth, zyLOGICAL_CLASS, source, zyDOUBLE_CLASS, 4) == 0);
  CHECK(truth[0] == 1 && truth[3] == 1);
  CHECK(zyConvertBufferToType(truth, zyCELL_CLASS, source, zyDOUBLE_CLASS, 4) == -1);
}

static void displayGoesThroughThePrintFunction(void) {
  ioPrintFunction previous = ioSetPrintFunction(capture);
  zyArray* text = zyCreateString("hi");
  printed[0] = '\0';
  ioPrintArray("t", text);
  CHECK(strcmp(printed, "t =\n\nhi\n\n") == 0);
  CHECK(ioSetPrintFunction(previous) == capture);
  zyDestroyArray(text);
}

static void cellsOwnTheirElements(void) {
  zyArray* cell = zyCreateCellMatrix(1, 2);
  zyArray* old;
  char buffer[8];
  CHECK(zySetCell(cell, 0, zyCreateString("one")) == 0);
  old = zyGetCell(cell, 0);
  CHECK(zySetCell(cell, 0, zyCreateString("two")) == 0);
  zyDestroyArray(old);
  CHECK(zyGetString(zyGetCellConst(cell, 0), buffer, sizeof buffer) == 0);
  CHECK(strcmp(buffer, "two") == 0);
  CHECK(zyGetCellConst(cell, 1) == NULL);
  zyDestroyArray(cell);
}

int main(void) {
  sharedCopiesAreIndependent();
  serializationRoundTrips();
  conversionFollowsTheRules();
  displayGoesThroughThePrintFunction();
  cellsOwnTheirElements();
  CHECK(zyIsNaN(zyGetNaN()) && !zyIsFinite(zyGetInf()) && 1.0 + zyGetEps() > 1.0);
  CHECK(zyGetErrorMode() == 0);
  CHECK(zySetErrorMode(-1) == 0 && zyGetErrorMode() == -1);
  printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
