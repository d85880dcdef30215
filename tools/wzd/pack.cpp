#include "pack.hpp"

#include <algorithm>
#include <set>
#include <system_error>

#include "component_identifier.hpp"
#include "component_tree.hpp"
#include "ctf/ctf_archive.hpp"
#include "ctf/opc_exception.hpp"
#include "ctf/settings_manifest.hpp"
#include "util/text_conversion.hpp"

namespace wzd {

namespace stdfs = std::filesystem;

namespace {

// A search-path, PATH or class-path entry: kept as given, or relative to the component folder
// (normalised; "" is the folder itself).
struct PathEntry {
  bool keep = false;
  std::string value;
};

std::vector<PathEntry> classify(const std::vector<std::string>& entries, const char* option) {
  std::vector<PathEntry> result;
  for (const std::string& entry : entries) {
    if (entry.empty()) throw UsageError(std::string(option) + ": an entry is empty");
    PathEntry classified;
    classified.keep = keptAsGiven(entry);
    classified.value = entry;
    if (!classified.keep && !normalizeRelative(entry, classified.value)) {
      throw UsageError(std::string(option) + " " + entry + ": leaves the component folder");
    }
    result.push_back(classified);
  }
  return result;
}

void checkWarningState(const std::string& state) {
  const std::size_t colon = state.find(':');
  const std::string setting = state.substr(0, colon);
  bool valid = colon != std::string::npos && (setting == "on" || setting == "off") &&
               colon + 1 < state.size();
  for (std::size_t i = colon + 1; valid && i < state.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(state[i]);
    valid = c > ' ' && c != 0x7f;
  }
  if (!valid) {
    throw UsageError("--warning " + state + ": must be on:<warning id> or off:<warning id>");
  }
}

// Whether path lies in folder or is folder; both absolute and without links or "..".
bool isInside(const stdfs::path& path, const stdfs::path& folder) {
  auto p = path.begin();
  for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
    if (p == path.end() || *p != *f) return false;
  }
  return true;
}

// The folder name a source is packed under: "lib/data/" and "lib/data/." give "data".
std::string packedName(const std::string& source) {
  stdfs::path path = stdfs::path(source).lexically_normal();
  if (!path.has_filename()) path = path.parent_path();
  const std::string name = path.filename().string();
  if (name.empty() || name == "." || name == "..") {
    throw UsageError("--add " + source + ": has no name to be packed under");
  }
  return name;
}

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::vector<std::wstring> storedEntries(const std::vector<PathEntry>& entries,
                                        const std::string& identifier) {
  std::vector<std::wstring> stored;
  for (const PathEntry& entry : entries) {
    const std::string text = entry.keep ? entry.value : joinName(identifier, entry.value);
    stored.push_back(fl::i18n::to_ustring(text));
  }
  return stored;
}

std::vector<std::wstring> wide(const std::vector<std::string>& texts) {
  std::vector<std::wstring> result;
  for (const std::string& text : texts) result.push_back(fl::i18n::to_ustring(text));
  return result;
}

// Everything the request puts in the settings record, checked against the files.
struct Contents {
  std::string name;
  std::vector<std::string> publicFunctions;
  std::vector<PathEntry> searchPath;
  std::vector<PathEntry> pathEntries;
  std::vector<PathEntry> javaClassPath;
};

Ostrand::ctfpack::CTFSettings makeSettings(const PackRequest& request, const Contents& contents,
                                           const std::string& identifier) {
  Ostrand::ctfpack::CTFSettings settings;
  settings.componentId = fl::i18n::to_ustring(identifier);
  settings.componentName = fl::i18n::to_ustring(contents.name);
  settings.mainFunction = fl::i18n::to_ustring(request.mainFunction.value_or(""));
  settings.startText = fl::i18n::to_ustring(request.startText.value_or(""));
  // The component's own folder comes first, so that its functions are found before anything
  // else; the same folder named again later would change nothing.
  settings.searchPath = {fl::i18n::to_ustring(identifier)};
  for (const std::wstring& entry : storedEntries(contents.searchPath, identifier)) {
    if (std::find(settings.searchPath.begin(), settings.searchPath.end(), entry) ==
        settings.searchPath.end()) {
      settings.searchPath.push_back(entry);
    }
  }
  settings.javaClassPath = storedEntries(contents.javaClassPath, identifier);
  settings.pathEntries = storedEntries(contents.pathEntries, identifier);
  for (const std::string& function : contents.publicFunctions) {
    settings.publicFunctions.push_back({fl::i18n::to_ustring(function)});
  }
  settings.warningStates = wide(request.warningStates);
  settings.runtimeOptions = wide(request.runtimeOptions);
  settings.outputNames = wide(request.outputNames);
  return settings;
}

// Relative entries must name something packed: a folder for the search path and PATH.
void checkPacked(const ComponentTree& tree, const std::vector<PathEntry>& entries,
                 const char* option, bool folder) {
  for (const PathEntry& entry : entries) {
    if (entry.keep || entry.value.empty()) continue;
    std::string resolved;
    const bool exists = tree.resolve(entry.value, resolved);
    const TreeEntry* found = exists ? tree.find(resolved) : nullptr;
    const bool isFolder = exists && (found == nullptr || found->type == EntryType::Folder);
    if (folder ? !isFolder : !exists) {
      throw InputError(std::string(option) + " " + entry.value + ": no such " +
                       (folder ? "folder" : "file or folder") + " in the packed component");
    }
  }
}

// The default public functions: the function files at the top of the source folder.
std::vector<std::string> topFunctionFiles(const ComponentTree& component,
                                          const std::map<std::string, bool>& qFiles,
                                          const std::set<std::string>& added,
                                          std::ostream& warnings) {
  std::vector<std::string> functions;
  for (const auto& [name, isFunction] : qFiles) {
    if (name.find('/') != std::string::npos || added.count(name) != 0 || !isFunction) continue;
    const std::string function = name.substr(0, name.size() - 2);
    if (isIdentifier(function)) {
      functions.push_back(function);
    } else {
      warnings << "wzd: warning: " << component.find(name)->displayName << " is not made public: \""
               << function << "\" is not a function name\n";
    }
  }
  return functions;
}

std::vector<std::string> withoutRepeats(const std::vector<std::string>& texts) {
  std::vector<std::string> result;
  for (const std::string& text : texts) {
    if (std::find(result.begin(), result.end(), text) == result.end()) result.push_back(text);
  }
  return result;
}

}  // namespace

bool keptAsGiven(const std::string& entry) {
  if (!entry.empty() && entry.front() == '/') return true;
  if (entry.size() < 2 || entry.front() != '$') return false;
  const char c = entry[1];
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::string pack(const PackRequest& request, std::ostream& warnings) {
  // What the arguments alone decide.
  for (const std::string& state : request.warningStates) checkWarningState(state);
  for (const std::string& function : request.publicFunctions) {
    if (!isIdentifier(function)) throw UsageError("--public " + function + ": not a function name");
  }
  if (request.mainFunction && !isIdentifier(*request.mainFunction)) {
    throw UsageError("--main " + *request.mainFunction + ": not a function name");
  }
  Contents contents;
  contents.searchPath = classify(request.searchPath, "--search-path");
  contents.pathEntries = classify(request.pathEntries, "--path-entry");
  contents.javaClassPath = classify(request.javaClassPath, "--java-class-path");

  std::error_code error;
  const stdfs::path source(request.sourceFolder);
  if (!stdfs::is_directory(source, error)) {
    throw InputError(request.sourceFolder + ": not a folder");
  }
  // Links named on the command line are followed: what they lead to is packed.
  const stdfs::path sourceReal = stdfs::canonical(source, error);
  if (error) throw InputError(request.sourceFolder + ": " + error.message());
  stdfs::path named = stdfs::absolute(source).lexically_normal();
  if (!named.has_filename()) named = named.parent_path();
  contents.name = request.name.value_or(named.filename().string());
  try {
    Ostrand::ctfpack::checkComponentIdentity(
        fl::i18n::to_ustring(request.identifier.value_or(placeholderIdentifier(contents.name))),
        fl::i18n::to_ustring(contents.name));
  } catch (const opc::Exception& problem) {
    const char* what = request.identifier ? "--id: "
                       : request.name     ? "--name: "
                                          : "the source folder's name (give --name): ";
    throw UsageError(what + std::string(problem.what()));
  }

  // The archive is written beside the output first: neither may land in what is being packed.
  const stdfs::path output = stdfs::absolute(request.output);
  const stdfs::path outputReal =
      stdfs::weakly_canonical(output.parent_path(), error) / output.filename();
  std::vector<std::string> packedFolders = {request.sourceFolder};
  packedFolders.insert(packedFolders.end(), request.extraSources.begin(),
                       request.extraSources.end());
  if (request.preferences) packedFolders.push_back(*request.preferences);
  for (const std::string& folder : packedFolders) {
    std::error_code ignored;
    const stdfs::path folderReal = stdfs::canonical(folder, ignored);
    if (!ignored && stdfs::is_directory(folderReal) && isInside(outputReal, folderReal)) {
      throw UsageError("-o " + request.output + ": lies inside " + folder +
                       ", which is being packed");
    }
  }

  // What is packed, as it will be packed.
  ComponentTree component;
  const std::string sourceShown = withoutTrailingSlashes(request.sourceFolder);
  addFolderContents(component, source, sourceShown, warnings);
  std::set<std::string> added;
  Ostrand::ctfpack::CTFArchiveWriteOptions options;
  options.reproducible = true;
  for (const std::string& extra : request.extraSources) {
    const std::string name = packedName(extra);
    if (component.find(name) != nullptr) {
      throw InputError(extra + ": the component folder already holds \"" + name + "\"");
    }
    const stdfs::path extraReal = stdfs::canonical(extra, error);
    if (error) throw InputError(extra + ": " + error.message());
    addFromDisk(component, extraReal, name, withoutTrailingSlashes(extra), warnings);
    added.insert(name);
    options.extraSources.push_back({extraReal.string(), name});
  }
  ComponentTree preferences;
  std::string preferencesReal;
  if (request.preferences) {
    addFolderContents(preferences, *request.preferences,
                      withoutTrailingSlashes(*request.preferences), warnings);
    preferencesReal = stdfs::canonical(*request.preferences).string();
  }
  checkLinks(component);
  checkLinks(preferences);
  const std::map<std::string, bool> qFiles = parseQFiles(component);

  checkPacked(component, contents.searchPath, "--search-path", true);
  checkPacked(component, contents.pathEntries, "--path-entry", true);
  checkPacked(component, contents.javaClassPath, "--java-class-path", false);

  // The functions the component promises must be there for a caller to find.
  std::vector<std::string> folders = {""};
  for (const PathEntry& entry : contents.searchPath) {
    std::string resolved;
    if (!entry.keep && component.resolve(entry.value, resolved)) folders.push_back(resolved);
  }
  contents.publicFunctions = request.publicFunctions.empty()
                                 ? topFunctionFiles(component, qFiles, added, warnings)
                                 : withoutRepeats(request.publicFunctions);
  const auto find = [&](const std::string& function, const char* role) {
    try {
      findFunction(component, qFiles, folders, function);
    } catch (const InputError& error) {
      throw InputError(role + std::string(error.what()));
    }
  };
  for (const std::string& function : contents.publicFunctions) find(function, "public ");
  if (request.mainFunction) find(*request.mainFunction, "main ");

  std::string identifier;
  if (request.identifier) {
    identifier = *request.identifier;
    if (identifierHalfStartsWithZero(identifier)) {
      warnings << "wzd: warning: --id " << identifier
               << ": a half of its hexadecimal part starts with 0, which the component cache "
                  "cannot read back from the component's folder name\n";
    }
  } else {
    const std::string placeholder = placeholderIdentifier(contents.name);
    identifier = contentIdentifier(
        contents.name, component, preferences,
        Ostrand::ctfpack::writeSettingsManifest(makeSettings(request, contents, placeholder)));
  }
  Ostrand::ctfpack::writeArchive(request.output, makeSettings(request, contents, identifier),
                                 sourceReal.string(), preferencesReal, options);
  return identifier;
}

}  // namespace wzd
