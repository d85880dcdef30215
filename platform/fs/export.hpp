#pragma once
// Marks the public surface of libfsservices (the file services).
#define FS_EXPORT __attribute__((visibility("default")))
