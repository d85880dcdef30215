#pragma once
// Marks the public surface of librtkkvn. The public headers of include/ repeat this exact
// definition (an identical redefinition is allowed), so that hosts need no header of ours
// beyond them.
#define RTKKVN_EXPORT __attribute__((visibility("default")))
