#pragma once
// The per-instance user data other parts of the runtime keep in the engine (keys are texts,
// values arrays), set through the engine's script function "setkvnuserdata".

#include <map>
#include <string>

#include "zy.h"

// Stores value under key in the instance's user data; value stays the caller's. Errors of the
// engine pass to the caller. Returns true.
bool setUserData(void* handle, const std::string& key, zyArray* value);
// setUserData for every entry, in key order, each value as a char array.
void setAllUserData(void* handle, const std::map<std::string, std::string>& entries);
