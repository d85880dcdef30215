#pragma once
// rtkComponentData: the part of an unpacked component's settings record that the runtime uses,
// copied once when the record is made and read-only afterwards, so it may be read from any
// thread without a lock. Held through a boost::shared_ptr (boost::make_shared, one allocation
// with its count) and shared by the component record and whoever asks it for the data.

#include <set>
#include <string>
#include <vector>

class rtkComponentData {
 public:
  // Reads the settings manifest of the component unpacked in directory. Throws
  // dsNoSuchDirectory when directory is not an existing folder, and opc::Exception when the
  // manifest is missing or unusable.
  explicit rtkComponentData(const char* directory);

  // The component identifier (the record's first wide string), narrow.
  std::string getUUID() const { return uuid; }
  // Byte for byte as in the record; neither is interpreted here.
  std::string getComponentBlobA() const { return componentBlobA; }
  std::string getComponentBlobB() const { return componentBlobB; }
  std::vector<std::wstring> getSearchPathEntries() const { return searchPathEntries; }
  std::vector<std::wstring> getJavaClassPathEntries() const { return javaClassPathEntries; }
  std::vector<std::string> getPathEnvEntries() const { return pathEnvEntries; }
  std::vector<std::string> getWarningStates() const { return warningStates; }

  // Whether name is one of the component's public functions: the whole name, letter case
  // included. A null name is no function.
  bool isPublicFunction(const char* name) const;
  bool isPublicFunction(const std::string& name) const;

 private:
  std::string componentBlobA;
  std::string componentBlobB;
  std::vector<std::wstring> searchPathEntries;
  std::vector<std::wstring> javaClassPathEntries;
  std::vector<std::string> pathEnvEntries;
  std::set<std::string> publicFunctions;
  std::string uuid;
  std::vector<std::string> warningStates;
};
