/* A plain C99 host of the example component: starts the runtime, creates an instance of the
 * component from its archive through the per-user component cache, calls its functions with
 * arrays made by the zy API, prints the results and the message of a Q-code error, and shuts
 * everything down.
 *
 *   host_c ARCHIVE.ctf
 *
 * Exits 0 when every call behaved as the comments say, 1 otherwise. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "rtkbase.h"
#include "rtkkvn.h"
#include "zy.h"

static int failures = 0;

static void reportLastError(const char* what) {
  const char* identifier = rtkGetLastErrorIdentifier();
  const char* message = rtkGetLastErrorMessage();
  fprintf(stderr, "%s failed: %s (%s)\n", what, message ? message : "no message",
          identifier ? identifier : "no identifier");
}

static zyArray* rowVector(const double* values, size_t count) {
  zyArray* array = zyCreateDoubleMatrix(1, count, zyREAL);
  if (array) memcpy(zyGetPr(array), values, count * sizeof(double));
  return array;
}

static void printRow(const char* name, zyArray* array) {
  size_t i;
  const double* values = zyGetPr(array);
  printf("%s = [", name);
  for (i = 0; i < zyGetNumberOfElements(array); ++i) printf(i ? " %.4g" : "%.4g", values[i]);
  printf("]\n");
}

/* stats: mean and standard deviation of eight values. */
static void callStats(HKVNINSTANCE instance) {
  const double data[] = {2, 4, 4, 4, 5, 5, 7, 9};
  zyArray* input = rowVector(data, 8);
  zyArray* outputs[2] = {NULL, NULL};
  if (!rtkFeval(instance, "stats", 2, outputs, 1, &input)) {
    reportLastError("stats");
    ++failures;
  } else {
    printf("stats([2 4 4 4 5 5 7 9]): mean %g, standard deviation %.4f\n", *zyGetPr(outputs[0]),
           *zyGetPr(outputs[1]));
    zyDestroyArray(outputs[0]);
    zyDestroyArray(outputs[1]);
  }
  zyDestroyArray(input);
}

/* normalize: first a vector it can scale, then a constant one, which is a Q-code error. */
static void callNormalize(HKVNINSTANCE instance) {
  const double good[] = {1, 2, 3};
  const double constant[] = {3, 3, 3};
  zyArray* input = rowVector(good, 3);
  zyArray* output = NULL;
  if (rtkFeval(instance, "normalize", 1, &output, 1, &input)) {
    printRow("normalize([1 2 3])", output);
    zyDestroyArray(output);
  } else {
    reportLastError("normalize");
    ++failures;
  }
  zyDestroyArray(input);

  input = rowVector(constant, 3);
  output = NULL;
  if (rtkFeval(instance, "normalize", 1, &output, 1, &input)) {
    fprintf(stderr, "normalize([3 3 3]) should have failed\n");
    zyDestroyArray(output);
    ++failures;
  } else {
    printf("normalize([3 3 3]) raised %s: %s\n", rtkGetLastErrorIdentifier(),
           rtkGetLastErrorMessage());
    if (strcmp(rtkGetLastErrorIdentifier(), "demo:constantInput") != 0) ++failures;
  }
  zyDestroyArray(input);
}

/* greet: text in, text out. */
static void callGreet(HKVNINSTANCE instance) {
  zyArray* inputs[2];
  zyArray* output = NULL;
  inputs[0] = zyCreateString("  world ");
  inputs[1] = zyCreateDoubleScalar(2);
  if (rtkFeval(instance, "greet", 1, &output, 2, inputs)) {
    char* text = zyArrayToString(output);
    printf("greet('  world ', 2): %s\n", text ? text : "(not text)");
    zyFree(text);
    zyDestroyArray(output);
  } else {
    reportLastError("greet");
    ++failures;
  }
  zyDestroyArray(inputs[0]);
  zyDestroyArray(inputs[1]);
}

/* solve: a 2-by-2 system. */
static void callSolve(HKVNINSTANCE instance) {
  zyArray* inputs[2];
  zyArray* outputs[2] = {NULL, NULL};
  double* a;
  inputs[0] = zyCreateDoubleMatrix(2, 2, zyREAL);
  inputs[1] = zyCreateDoubleMatrix(2, 1, zyREAL);
  a = zyGetPr(inputs[0]); /* column by column: A = [4 1; 2 3] */
  a[0] = 4;
  a[1] = 2;
  a[2] = 1;
  a[3] = 3;
  zyGetPr(inputs[1])[0] = 1;
  zyGetPr(inputs[1])[1] = 2;
  if (rtkFeval(instance, "solve", 2, outputs, 2, inputs)) {
    printRow("solve([4 1; 2 3], [1; 2])", outputs[0]);
    printf("residual below 1e-12: %s\n", *zyGetPr(outputs[1]) < 1e-12 ? "yes" : "no");
    zyDestroyArray(outputs[0]);
    zyDestroyArray(outputs[1]);
  } else {
    reportLastError("solve");
    ++failures;
  }
  zyDestroyArray(inputs[0]);
  zyDestroyArray(inputs[1]);
}

int main(int argc, char** argv) {
  HKVNINSTANCE instance = NULL;
  if (argc != 2) {
    fprintf(stderr, "usage: %s ARCHIVE.ctf\n", argv[0]);
    return 2;
  }
  if (!rtkkvnInitialize() || !rtkInitializeApplication(NULL, 0)) {
    reportLastError("starting the runtime");
    return 1;
  }
  if (!rtkInitializeComponentInstanceCtfFileToCache(&instance, NULL, NULL, argv[1])) {
    reportLastError("creating the component instance");
    rtkTerminateApplication();
    return 1;
  }
  printf("component instance %d started from %s\n", rtkGetID(instance), argv[1]);

  callStats(instance);
  callNormalize(instance);
  callGreet(instance);
  callSolve(instance);

  if (!rtkTerminateInstance(&instance)) {
    reportLastError("terminating the instance");
    ++failures;
  }
  rtkTerminateApplication();
  printf("%s\n", failures ? "host finished with failures" : "host finished");
  return failures ? 1 : 0;
}
