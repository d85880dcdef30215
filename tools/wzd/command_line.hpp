#pragma once
// The wzd command line: subcommands, options, help texts and exit statuses.

#include <ostream>
#include <string>
#include <vector>

namespace wzd {

inline constexpr int kExitDone = 0;
inline constexpr int kExitInputProblem = 1;  // a file or archive is wrong; the message names it
inline constexpr int kExitBadArguments = 2;  // a short usage follows the message

// Runs wzd with arguments (without the program name). Results go to out, messages (prefixed
// "wzd: ") to err. Returns the exit status.
int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace wzd
