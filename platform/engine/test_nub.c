/* A native extension for the engine tests: nubtwice(x) returns 2*x for a real double array and
 * raises the error "nub:notDouble" for anything else. */
#include "zy.h"

__attribute__((visibility("default"))) void nubFunction(int nlhs, zyArray** plhs, int nrhs,
                                                        zyArray** prhs) {
  (void)nlhs;
  if (nrhs != 1 || !zyIsDouble(prhs[0]) || zyIsComplex(prhs[0])) {
    zyErrMsgIdAndTxt("nub:notDouble", "nubtwice needs one real double array.");
  }
  zyArray* result = zyDuplicateArray(prhs[0]);
  double* data = zyGetPr(result);
  for (size_t i = 0; i < zyGetNumberOfElements(result); ++i) data[i] *= 2;
  plhs[0] = result;
}
