#pragma once
// What goes wrong in wzd, by the exit status it leads to.

#include <stdexcept>

namespace wzd {

// A problem with an input (a source file, an archive): wzd prints the text, which names the
// file, and exits with status 1.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Arguments that cannot work whatever the files hold: wzd prints the text and the command's
// usage line and exits with status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace wzd
