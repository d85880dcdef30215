#pragma once
// Marks the public surface of librtkbase.
#define RTKBASE_EXPORT __attribute__((visibility("default")))
