#pragma once
// Marks the public surface of libkvnengine (the engine instance, its options, readers, call
// objects, search path and error types).
#define KVNENGINE_EXPORT __attribute__((visibility("default")))
