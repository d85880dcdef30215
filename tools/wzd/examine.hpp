#pragma once
// wzd inspect and wzd verify: reading component archives back (docs/wzd.md).

#include <ostream>
#include <string>

namespace wzd {

// Prints the archive's place in its file, its settings manifest and its entries (type, mode,
// size, name) to out. Throws InputError when the file holds no readable archive or, after
// printing, when the manifest is not valid.
void inspect(const std::string& archivePath, std::ostream& out);

// Checks that the archive is a complete, usable component: a valid manifest; entries that are
// files, folders or links inside the archive, laid out as manifest, ".sorvel/" and the
// component folder; links that stay in the component; every .q file parses; relative search-path
// and PATH entries are folders of the component, class-path entries exist in it; warning states
// are well formed; every public function and the main function are function files found on the
// component's search path. Prints one line on out when all is well; warns on warnings when an
// identifier half starts with "0". Throws InputError naming the archive and the entry otherwise.
void verify(const std::string& archivePath, std::ostream& out, std::ostream& warnings);

}  // namespace wzd
