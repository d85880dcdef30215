#pragma once
// The one error the Q-code front end raises: where in which file the text stops making sense, and
// what was expected there.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace q {

// A place in a source text. Lines and columns count from 1; a column counts characters (UTF-8
// sequences), a tab being one character. Line 0 means "no place".
struct SourceLocation {
  std::uint32_t line = 0;
  std::uint32_t column = 0;
};

inline bool operator==(SourceLocation a, SourceLocation b) {
  return a.line == b.line && a.column == b.column;
}
inline bool operator!=(SourceLocation a, SourceLocation b) { return !(a == b); }

// "12:3"
std::string toString(SourceLocation location);

// what() is "file:line:column: reason", for example
// "model.q:12:7: expected ')' to close '(' opened at 12:3". Without a file name it is
// "line:column: reason".
class SyntaxError : public std::runtime_error {
 public:
  SyntaxError(std::string file, SourceLocation location, std::string reason);

  const std::string& file() const { return file_; }
  SourceLocation location() const { return location_; }
  // The message without the file and place.
  const std::string& reason() const { return reason_; }

 private:
  std::string file_;
  SourceLocation location_;
  std::string reason_;
};

}  // namespace q
