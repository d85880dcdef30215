#include "examine.hpp"

#include <iomanip>

#include "archive_entries.hpp"
#include "component_identifier.hpp"
#include "component_tree.hpp"
#include "ctf/opc_exception.hpp"
#include "ctf/settings_manifest.hpp"
#include "pack.hpp"
#include "util/text_conversion.hpp"

namespace wzd {

namespace {

constexpr char kPreferencesFolder[] = ".sorvel";

const char* typeWord(ArchiveEntry::Type type) {
  switch (type) {
    case ArchiveEntry::Type::File:
      return "file";
    case ArchiveEntry::Type::Folder:
      return "folder";
    case ArchiveEntry::Type::Link:
      return "link";
    default:
      return "other";
  }
}

std::string readManifest(const std::string& archivePath) {
  try {
    return Ostrand::ctfpack::readArchiveManifest(archivePath,
                                                 Ostrand::ctfdata::CTFFileReaderFactory());
  } catch (const opc::Exception& error) {
    throw InputError(error.what());
  }
}

Ostrand::ctfpack::CTFSettings parseManifest(const std::string& archivePath,
                                            const std::string& manifest) {
  try {
    return Ostrand::ctfpack::readSettingsManifest(
        manifest, archivePath + " (" + Ostrand::ctfpack::kSettingsManifestName + ")");
  } catch (const opc::Exception& error) {
    throw InputError(error.what());
  }
}

// A relative entry of the settings as a name in the component tree; false when it does not
// lie in the component folder. Entries kept as given (absolute, path macros) are not checked.
bool componentName(const std::string& entry, const std::string& identifier, std::string& name) {
  std::string normalized;
  if (!normalizeRelative(entry, normalized)) return false;
  if (normalized == identifier) {
    name.clear();
    return true;
  }
  if (normalized.compare(0, identifier.size() + 1, identifier + "/") != 0) return false;
  name = normalized.substr(identifier.size() + 1);
  return true;
}

}  // namespace

void inspect(const std::string& archivePath, std::ostream& out) {
  const ArchiveListing listing =
      readArchiveEntries(archivePath, [](const std::string&) { return false; });
  const std::string manifest = readManifest(archivePath);
  out << "archive: " << archivePath;
  if (listing.span.offset > 0) {
    out << " (appended to " << listing.span.offset << " bytes of something else; the archive is "
        << listing.span.size << " bytes)";
  }
  out << "\nmanifest (" << Ostrand::ctfpack::kSettingsManifestName << "):\n" << manifest;
  if (manifest.empty() || manifest.back() != '\n') out << "\n";
  out << "entries:\n";
  for (const ArchiveEntry& entry : listing.entries) {
    out << "  " << std::left << std::setw(7) << typeWord(entry.type) << std::right << std::oct
        << std::setw(4) << std::setfill('0') << entry.mode << std::dec << std::setfill(' ')
        << std::setw(12) << entry.size << "  " << entry.name;
    if (entry.type == ArchiveEntry::Type::Link) out << " -> " << entry.linkTarget;
    out << "\n";
  }
  out << listing.entries.size() << " entries\n";
  parseManifest(archivePath, manifest);
}

void verify(const std::string& archivePath, std::ostream& out, std::ostream& warnings) {
  const Ostrand::ctfpack::CTFSettings settings =
      parseManifest(archivePath, readManifest(archivePath));
  const std::string identifier = fl::i18n::to_string(settings.componentId);
  const std::string componentPrefix = identifier + "/";
  const auto wanted = [&](const std::string& name) {
    return name.compare(0, componentPrefix.size(), componentPrefix) == 0 && name.size() > 2 &&
           name.compare(name.size() - 2, 2, ".q") == 0;
  };
  const ArchiveListing listing = readArchiveEntries(archivePath, wanted);

  ComponentTree component;
  ComponentTree preferences;
  bool componentFolder = false;
  bool preferencesFolder = false;
  const auto fail = [&](const std::string& entry, const std::string& problem) {
    return InputError(archivePath + ": entry \"" + entry + "\" " + problem);
  };
  for (const ArchiveEntry& stored : listing.entries) {
    std::string name;
    if (!normalizeRelative(stored.name, name) || name.empty()) {
      throw fail(stored.name, "would land outside the folder it is unpacked into");
    }
    const std::size_t slash = name.find('/');
    const std::string top = name.substr(0, slash);
    const std::string inside = slash == std::string::npos ? "" : name.substr(slash + 1);
    if (stored.type == ArchiveEntry::Type::Other) {
      throw fail(stored.name, "is not a file, folder or link");
    }
    if (name == Ostrand::ctfpack::kSettingsManifestName) continue;  // read above
    TreeEntry entry;
    entry.type = stored.type == ArchiveEntry::Type::File     ? EntryType::File
                 : stored.type == ArchiveEntry::Type::Folder ? EntryType::Folder
                                                             : EntryType::Link;
    entry.mode = stored.mode;
    entry.size = stored.size;
    entry.linkTarget = stored.linkTarget;
    entry.displayName = name;
    entry.contents = stored.contents;
    if (top == identifier || top == kPreferencesFolder) {
      const bool isComponent = top == identifier;
      (isComponent ? componentFolder : preferencesFolder) = true;
      if (inside.empty()) {
        if (entry.type != EntryType::Folder) throw fail(stored.name, "must be a folder");
      } else {
        (isComponent ? component : preferences).add(inside, std::move(entry));
      }
    } else {
      throw fail(stored.name, "does not belong at the root of a component archive");
    }
  }
  if (!componentFolder) {
    throw InputError(archivePath + ": no component folder \"" + componentPrefix + "\"");
  }
  if (!preferencesFolder) {
    throw InputError(archivePath + ": no preferences folder \"" + kPreferencesFolder +
                     "/\" (the runtime needs one, even empty)");
  }
  checkLinks(component);
  checkLinks(preferences);
  const std::map<std::string, bool> qFiles = parseQFiles(component);

  const auto check = [&](const std::vector<std::wstring>& entries, const char* field, bool folder,
                         std::vector<std::string>* folders) {
    for (const std::wstring& wideEntry : entries) {
      const std::string entry = fl::i18n::to_string(wideEntry);
      if (keptAsGiven(entry)) continue;
      std::string name;
      std::string resolved;
      const bool inComponent = componentName(entry, identifier, name);
      const bool exists = inComponent && component.resolve(name, resolved);
      const TreeEntry* found = exists ? component.find(resolved) : nullptr;
      const bool isFolder = exists && (found == nullptr || found->type == EntryType::Folder);
      if (folder ? !isFolder : !exists) {
        throw InputError(archivePath + ": " + field + " entry \"" + entry + "\" names no " +
                         (folder ? "folder" : "file or folder") + " of the component");
      }
      if (folders) folders->push_back(resolved);
    }
  };
  std::vector<std::string> searchFolders;
  check(settings.searchPath, "searchPath", true, &searchFolders);
  check(settings.pathEntries, "pathEntries", true, nullptr);
  check(settings.javaClassPath, "javaClassPath", false, nullptr);
  for (const std::wstring& state : settings.warningStates) {
    const std::string text = fl::i18n::to_string(state);
    if (text.rfind("on:", 0) != 0 && text.rfind("off:", 0) != 0) {
      throw InputError(archivePath + ": warning state \"" + text +
                       "\" is neither on:<id> nor off:<id>");
    }
  }
  const auto found = [&](const std::wstring& function, const char* role) {
    try {
      findFunction(component, qFiles, searchFolders, fl::i18n::to_string(function));
    } catch (const InputError& error) {
      throw InputError(archivePath + ": " + role + " " + error.what());
    }
  };
  for (const auto& function : settings.publicFunctions) found(function.name, "public");
  if (!settings.mainFunction.empty()) found(settings.mainFunction, "main");
  if (identifierHalfStartsWithZero(identifier)) {
    warnings << "wzd: warning: " << archivePath << ": identifier " << identifier
             << ": a half of its hexadecimal part starts with 0, which the component cache "
                "cannot read back from the component's folder name\n";
  }
  out << archivePath << ": " << identifier
      << " is complete (entries: " << component.entries().size()
      << ", public functions: " << settings.publicFunctions.size() << ", main function: "
      << (settings.mainFunction.empty() ? "none" : fl::i18n::to_string(settings.mainFunction))
      << ")\n";
}

}  // namespace wzd
