#include "base/path_macros.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "util/services.hpp"

namespace {

bool isNameCharacter(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

bool isValidName(const std::string& name) {
  return name.size() > 1 && name[0] == '$' &&
         std::all_of(name.begin() + 1, name.end(), isNameCharacter);
}

}  // namespace

rtkPathMacros::~rtkPathMacros() = default;

std::string rtkPathMacros::get(const std::string& name) const {
  std::lock_guard<std::mutex> guard(mutex_);
  auto found = values_.find(name);
  return found == values_.end() ? std::string() : found->second;
}

bool rtkPathMacros::contains(const std::string& name) const {
  std::lock_guard<std::mutex> guard(mutex_);
  return values_.count(name) != 0;
}

void rtkPathMacros::add(const std::string& name, const std::string& value) {
  if (!isValidName(name)) throw std::invalid_argument("invalid path macro name \"" + name + "\"");
  std::lock_guard<std::mutex> guard(mutex_);
  values_[name] = value;
}

void rtkPathMacros::add_canonical(const std::string& name, const std::string& value) {
  std::filesystem::path canonical =
      std::filesystem::weakly_canonical(std::filesystem::absolute(value));
  std::string text = canonical.lexically_normal().string();
  if (text.size() > 1 && text.back() == '/') text.pop_back();
  add(name, text);
}

std::string rtkPathMacros::expand_path_macros(const std::string& path) const {
  std::lock_guard<std::mutex> guard(mutex_);
  std::string result;
  result.reserve(path.size());
  size_t position = 0;
  while (position < path.size()) {
    if (path[position] != '$') {
      result += path[position++];
      continue;
    }
    size_t end = position + 1;
    while (end < path.size() && isNameCharacter(path[end])) ++end;
    auto found = values_.find(path.substr(position, end - position));
    result += found == values_.end() ? path.substr(position, end - position) : found->second;
    position = end;
  }
  return result;
}

rtkRuntimePathMacros::rtkRuntimePathMacros() {
  add(kToolboxPrefixMacro, (std::filesystem::path(svSorvelRoot()) / "toolbox").string());
}

rtkRuntimePathMacros& rtkRuntimePathMacros::getInstance() {
  static rtkRuntimePathMacros instance;
  return instance;
}
