#include "rtkkvn/instances/component_setup.hpp"

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <iostream>
#include <new>

#include "base/application.hpp"
#include "base/exceptions.hpp"
#include "base/path_macros.hpp"
#include "msg/message.hpp"
#include "rtkkvn.h"
#include "rtkkvn/components/extracted_component.hpp"
#include "rtkkvn/instances/kvn_instance.hpp"
#include "rtkkvn/instances/user_data.hpp"
#include "util/messages.hpp"
#include "util/services.hpp"
#include "util/text_conversion.hpp"
#include "util/warnings.hpp"
#include "zy/matrix.hpp"

namespace {

constexpr char kPathVariable[] = "PATH";
constexpr char kPathSeparator = ':';
constexpr char kJarExtension[] = ".jar";
constexpr char kAlreadySpecifiedWarning[] = "Sorvel:javaclasspath:jarAlreadySpecified";

std::vector<std::string> splitPath(const std::string& value) {
  std::vector<std::string> elements;
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type stop = value.find(kPathSeparator, start);
    elements.push_back(value.substr(start, stop - start));
    if (stop == std::string::npos) return elements;
    start = stop + 1;
  }
}

std::string joinPath(const std::vector<std::string>& elements) {
  std::string value;
  for (std::size_t i = 0; i < elements.size(); ++i) {
    if (i > 0) value += kPathSeparator;
    value += elements[i];
  }
  return value;
}

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A char row vector holding the bytes one per element, so that bytes that are not text pass
// through unchanged.
matrix::unique_array byteArray(const std::string& bytes) {
  std::u16string units;
  units.reserve(bytes.size());
  for (const char byte : bytes) units.push_back(static_cast<unsigned char>(byte));
  return matrix::create(units);
}

// A 1-by-N cell of char arrays.
matrix::unique_array cellOfStrings(const std::vector<std::wstring>& entries) {
  matrix::unique_array cell(zyCreateCellMatrix(1, entries.size()));
  if (!cell) throw std::bad_alloc();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (zySetCell(cell.get(), i, matrix::create(entries[i]).release()) != 0) throw std::bad_alloc();
  }
  return cell;
}

zyArray* classPathArgument(const char* text) {
  zyArray* array = zyCreateString(text);
  if (!array) {
    throw rtkUserException(kComponentSetupErrorId,
                           KVN::rtkkvn::RTKKVN_ERROR_CONSTRUCTING_CLASS_PATH());
  }
  return array;
}

// Adds the class path to the end of the instance's dynamic Java class path, with the warning
// about entries already there switched off meanwhile: a second instance of a component finds its
// entries there already, which is expected.
void addToJavaClassPath(RtkKvnInstance& instance, const std::vector<std::wstring>& classPath) {
  const matrix::unique_array entries = cellOfStrings(classPath);
  const matrix::unique_array end = matrix::create(std::string("-end"));
  const matrix::unique_array query(classPathArgument("query"));
  const matrix::unique_array identifier(classPathArgument(kAlreadySpecifiedWarning));
  const matrix::unique_array off(classPathArgument("off"));

  zyArray* queryInputs[] = {query.get(), identifier.get()};
  zyArray* savedState = nullptr;
  rtkInternalFeval(&instance, "warning", 1, &savedState, 2, queryInputs);
  const matrix::unique_array saved(savedState);
  zyArray* offInputs[] = {off.get(), identifier.get()};
  rtkInternalFeval(&instance, "warning", 0, nullptr, 2, offInputs);
  zyArray* addInputs[] = {entries.get(), end.get()};
  rtkInternalFeval(&instance, "javaaddpath", 0, nullptr, 2, addInputs);
  zyArray* restoreInputs[] = {saved.get()};
  rtkInternalFeval(&instance, "warning", 0, nullptr, 1, restoreInputs);
}

}  // namespace

void applyWarningStates(const std::vector<std::string>& states) {
  utWarningContext* const context = utGetWarningContext();
  for (const std::string& state : states) {
    const std::string::size_type colon = state.find(':');
    if (colon == std::string::npos) {
      throw rtkUserException(kComponentSetupErrorId,
                             KVN::rtkkvn::RTKKVN_MALFORMED_WARNING_STATUS_STRING(state));
    }
    std::string::size_type start = colon + 1;
    while (start < state.size() && std::isspace(static_cast<unsigned char>(state[start]))) ++start;
    const std::string identifier = state.substr(start);
    if (state.compare(0, 2, "on") == 0) {
      ut_set_warning_status_id(context, identifier.c_str(), 1);
    } else if (state.compare(0, 3, "off") == 0) {
      ut_set_warning_status_id(context, identifier.c_str(), 0);
    } else {
      throw rtkUserException(kComponentSetupErrorId,
                             KVN::rtkkvn::RTKKVN_INVALID_WARNING_STATE(identifier, state));
    }
  }
}

bool addPathEntries(const dsPathString& extractionFolder, const std::vector<std::string>& entries) {
  if (entries.empty()) return true;
  const char* const current = std::getenv(kPathVariable);
  std::vector<std::string> elements = current ? splitPath(current) : std::vector<std::string>();
  bool changed = false;
  for (const std::string& entry : entries) {
    if (entry.empty()) continue;
    const std::string candidate = (extractionFolder / dsPathString(entry)).str();
    bool present = false;
    for (const std::string& element : elements) present = present || element == candidate;
    if (present) continue;
    elements.push_back(candidate);
    changed = true;
  }
  return !changed || ::setenv(kPathVariable, joinPath(elements).c_str(), 1) == 0;
}

bool rtkConstructKvnPath(const dsPathString& extractionFolder,
                         const std::vector<std::wstring>& entries, std::vector<std::wstring>& out,
                         bool allowJars) {
  const rtkRuntimePathMacros& macros = rtkRuntimePathMacros::getInstance();
  for (const std::wstring& entry : entries) {
    std::string path = macros.expand_path_macros(fl::i18n::to_string(entry));
    if (path.empty() || path[0] != '/') path = extractionFolder.str() + "/" + path;
    if (endsWith(path, "/.")) path.erase(path.size() - 2);
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) continue;
    if (S_ISDIR(status.st_mode) || (allowJars && endsWith(path, kJarExtension))) {
      out.push_back(fl::i18n::to_ustring(path));
    } else if (ut_get_warning_status_id(utGetWarningContext(), kInvalidPathWarning)) {
      Ostrand::rtki18nutil::printmln(std::cerr, KVN::rtkkvn::RTKKVN_BAD_FILE_FOR_PATH(path));
    }
  }
  return true;
}

void prepareJavaVMConfiguration() {
  // Nothing to install until the Java bridge can find a Java VM deployed with the runtime.
}

void runComponentStartup(RtkKvnInstance& instance, const std::vector<std::wstring>& classPath) {
  if (svIsJavaEnabled()) addToJavaClassPath(instance, classPath);
  instance.evalString(kComponentStartupScript);
}

void prepareComponentInstance(RtkKvnInstance& instance, const rtkExtractedComponent& component) {
  const boost::shared_ptr<rtkComponentData> data = component.getComponentData();
  if (!gUseZvm) applyWarningStates(data->getWarningStates());

  const matrix::unique_array blobA = byteArray(data->getComponentBlobA());
  const matrix::unique_array blobB = byteArray(data->getComponentBlobB());
  const matrix::unique_array folder = matrix::create(component.getExtractDir().str());
  zyArray* componentInputs[] = {blobA.get(), blobB.get(), folder.get()};
  rtkInternalFeval(&instance, "rtksetcomponentdata", 0, nullptr, 3, componentInputs);

  std::vector<std::wstring> classPath;
  if (!rtkConstructKvnPath(component.getExtractDir(), data->getJavaClassPathEntries(), classPath,
                           true)) {
    return;
  }
  runComponentStartup(instance, classPath);
  const matrix::unique_array useCache(zyCreateLogicalScalar(component.IsUseComponentCache()));
  if (!useCache) throw std::bad_alloc();
  setUserData(&instance, "UseComponentCache", useCache.get());
  setUserData(&instance, "AppComponentUUID", matrix::create(data->getUUID()).get());
}
