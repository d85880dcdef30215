#pragma once
// Marks the public surface of libctfpack (the settings record of a component archive, its
// manifest and the archive package).
#define CTF_EXPORT __attribute__((visibility("default")))
