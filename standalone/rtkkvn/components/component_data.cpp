#include "rtkkvn/components/component_data.hpp"

#include "ctf/ctf_package.hpp"
#include "util/text_conversion.hpp"

namespace {

std::vector<std::string> narrowList(const std::vector<std::wstring>& list) {
  std::vector<std::string> narrow;
  narrow.reserve(list.size());
  for (const std::wstring& text : list) narrow.push_back(fl::i18n::to_string(text));
  return narrow;
}

}  // namespace

rtkComponentData::rtkComponentData(const char* directory) {
  const Ostrand::ctfpack::CTFSettings settings =
      Ostrand::ctfpack::CTFPackage::getCTFSettingsFromExtractedCTFLocation(
          fl::i18n::to_ustring(directory));
  componentBlobA.assign(settings.componentBlobA.begin(), settings.componentBlobA.end());
  componentBlobB.assign(settings.componentBlobB.begin(), settings.componentBlobB.end());
  searchPathEntries = settings.searchPath;
  javaClassPathEntries = settings.javaClassPath;
  pathEnvEntries = narrowList(settings.pathEntries);
  for (const Ostrand::ctfpack::CTFPublicFunction& function : settings.publicFunctions) {
    publicFunctions.insert(fl::i18n::to_string(function.name));
  }
  uuid = fl::i18n::to_string(settings.componentId);
  warningStates = narrowList(settings.warningStates);
}

bool rtkComponentData::isPublicFunction(const char* name) const {
  return name != nullptr && isPublicFunction(std::string(name));
}

bool rtkComponentData::isPublicFunction(const std::string& name) const {
  return publicFunctions.count(name) != 0;
}
