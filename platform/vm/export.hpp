#pragma once
// Marks the public surface of libzvm (the VM library).
#define ZVM_EXPORT __attribute__((visibility("default")))
