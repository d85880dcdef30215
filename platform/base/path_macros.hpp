#pragma once
// Path macros: names such as "$TOOLBOXPREFIX" that stand for folders in search-path and
// class-path entries. A name starts with "$" followed by letters, digits or "_"; in a path it
// is replaced only where it is not followed by another such character, so "$ROOTDIR" is not
// taken for "$ROOT". Names the table does not know are left as they are.

#include <map>
#include <mutex>
#include <string>

#include "base/export.hpp"

class RTKBASE_EXPORT rtkPathMacros {
 public:
  rtkPathMacros() = default;
  virtual ~rtkPathMacros();
  rtkPathMacros(const rtkPathMacros&) = delete;
  rtkPathMacros& operator=(const rtkPathMacros&) = delete;

  // The value of name, or an empty string when it is not defined.
  std::string get(const std::string& name) const;
  bool contains(const std::string& name) const;
  // Defines (or redefines) name. Throws std::invalid_argument for a malformed name.
  void add(const std::string& name, const std::string& value);
  // Defines name as the canonical form of the folder value: absolute, without "." or ".."
  // elements or repeated separators, symbolic links resolved as far as the path exists.
  void add_canonical(const std::string& name, const std::string& value);
  // path with every defined macro replaced by its value.
  std::string expand_path_macros(const std::string& path) const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string> values_;  // guarded by mutex_
};

// The process-wide table of the runtime. It starts with "$TOOLBOXPREFIX", the folder under which
// the runtime's own toolbox functions live (the "toolbox" folder of the installation root).
class RTKBASE_EXPORT rtkRuntimePathMacros : public rtkPathMacros {
 public:
  static rtkRuntimePathMacros& getInstance();

 private:
  rtkRuntimePathMacros();
};

inline constexpr const char* kToolboxPrefixMacro = "$TOOLBOXPREFIX";
