#pragma once
// wzd pack: a folder of Q-code in, a component archive out (docs/wzd.md).

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ctf/ctf_settings.hpp"

namespace wzd {

// The command line of wzd pack, unchecked. Lists keep the order they were given in.
struct PackRequest {
  std::string sourceFolder;
  std::string output;
  std::optional<std::string> name;
  std::optional<std::string> identifier;
  std::optional<std::string> mainFunction;
  std::optional<std::string> startText;
  std::optional<std::string> preferences;
  std::vector<std::string> outputNames;
  std::vector<std::string> publicFunctions;  // empty: every function file at the top
  std::vector<std::string> searchPath;
  std::vector<std::string> pathEntries;
  std::vector<std::string> javaClassPath;
  std::vector<std::string> runtimeOptions;
  std::vector<std::string> warningStates;
  std::vector<std::string> extraSources;
};

// Packs the component the request describes into request.output and returns its identifier.
// Warnings (nothing that stops the pack) go to warnings, one line each, prefixed "wzd: ".
// Throws UsageError for arguments that cannot work whatever the files hold, InputError for a
// problem with a file (a syntax error, a missing function, an unreadable file), and
// opc::Exception when the archive cannot be written. Nothing is left at request.output unless
// the whole archive was written.
std::string pack(const PackRequest& request, std::ostream& warnings);

// Whether a path-like entry is kept as given in the settings (absolute, or starting with a path
// macro such as "$TOOLBOXPREFIX") rather than taken as relative to the component folder.
bool keptAsGiven(const std::string& entry);

}  // namespace wzd
