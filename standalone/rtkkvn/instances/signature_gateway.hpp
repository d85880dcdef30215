#pragma once
// The function-signature gateway of the built-in function table: given a function name (or the
// path of a Q file), answers a 1x1 structure describing the function's declaration.

#include "zy.h"

// Gateway shape: at most one output, exactly one input (a string). Raises script-level errors.
void rtkFunctionSignatureGateway(int nlhs, zyArray** plhs, int nrhs, zyArray** prhs);
