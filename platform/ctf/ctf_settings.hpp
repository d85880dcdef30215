#pragma once
// Ostrand::ctfpack::CTFSettings: the settings record of a component archive, written by the
// packer into the archive's settings manifest and read back by the runtime from an archive or
// from an unpacked component (see settings_manifest.hpp and ctf_package.hpp).
//
// The component identifier is the record's first wide string and the component name its
// second; the identifier is the name, "_", and 32 hexadecimal digits, and it names the folder
// that holds the component's files. Text is wide (one code point per element); the runtime
// converts to narrow where it needs narrow text.
// A value: copy freely; not synchronised.

#include <string>
#include <vector>

#include "ctf/ctf_byte_array.hpp"

namespace Ostrand::ctfpack {

// One function that a host may call by name on a component instance.
struct CTFPublicFunction {
  std::wstring name;

  friend bool operator==(const CTFPublicFunction& a, const CTFPublicFunction& b) {
    return a.name == b.name;
  }
  friend bool operator!=(const CTFPublicFunction& a, const CTFPublicFunction& b) {
    return !(a == b);
  }
};

struct CTFSettings {
  std::wstring componentId;
  std::wstring componentName;
  // The function a standalone application runs as its main, and the text it prints first
  // (nothing when empty).
  std::wstring mainFunction;
  std::wstring startText;
  // Handed unread to the engine when a component instance starts.
  ctfdata::CTFByteArray componentBlobA;
  ctfdata::CTFByteArray componentBlobB;
  // Entries of the instance's search path and of the Java class path; path macros allowed,
  // relative entries are relative to the unpacked component's folder.
  std::vector<std::wstring> searchPath;
  std::vector<std::wstring> javaClassPath;
  // Folders, relative to the unpacked component's folder, added to the PATH variable.
  std::vector<std::wstring> pathEntries;
  std::vector<CTFPublicFunction> publicFunctions;
  // "on:<identifier>" or "off:<identifier>", applied in order when an instance starts.
  std::vector<std::wstring> warningStates;
  // Options the runtime application of a standalone application starts with.
  std::vector<std::wstring> runtimeOptions;
  // Output names of the main function; their count is the number of outputs it is asked for.
  std::vector<std::wstring> outputNames;

  friend bool operator==(const CTFSettings& a, const CTFSettings& b) {
    return a.componentId == b.componentId && a.componentName == b.componentName &&
           a.mainFunction == b.mainFunction && a.startText == b.startText &&
           a.componentBlobA == b.componentBlobA && a.componentBlobB == b.componentBlobB &&
           a.searchPath == b.searchPath && a.javaClassPath == b.javaClassPath &&
           a.pathEntries == b.pathEntries && a.publicFunctions == b.publicFunctions &&
           a.warningStates == b.warningStates && a.runtimeOptions == b.runtimeOptions &&
           a.outputNames == b.outputNames;
  }
  friend bool operator!=(const CTFSettings& a, const CTFSettings& b) { return !(a == b); }
};

}  // namespace Ostrand::ctfpack
