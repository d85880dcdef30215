#pragma once
// Marks the public surface of librtkutil (utilities, services, text conversion, message
// printing and the counted mutex).
#define RTKUTIL_EXPORT __attribute__((visibility("default")))
