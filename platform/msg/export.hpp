#pragma once
// Marks the public surface of libkokvn_res (the message catalogue).
#define KVNMSG_EXPORT __attribute__((visibility("default")))
