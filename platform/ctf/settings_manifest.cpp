#include "ctf/settings_manifest.hpp"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <set>
#include <utility>
#include <vector>

#include "ctf/opc_exception.hpp"
#include "util/text_conversion.hpp"

namespace Ostrand::ctfpack {

namespace {

using Json = nlohmann::json;
// The writer keeps the documented field order; the reader does not care about order.
using OrderedJson = nlohmann::ordered_json;

// The version-1 schema: a flat object of these fields and "manifestVersion", all required.
constexpr char kVersionField[] = "manifestVersion";
constexpr char kComponentIdField[] = "componentId";
constexpr char kComponentNameField[] = "componentName";
constexpr char kMainFunctionField[] = "mainFunction";
constexpr char kStartTextField[] = "startText";
constexpr char kBlobAField[] = "componentBlobA";
constexpr char kBlobBField[] = "componentBlobB";
constexpr char kSearchPathField[] = "searchPath";
constexpr char kJavaClassPathField[] = "javaClassPath";
constexpr char kPathEntriesField[] = "pathEntries";
constexpr char kPublicFunctionsField[] = "publicFunctions";
constexpr char kFunctionNameField[] = "name";
constexpr char kWarningStatesField[] = "warningStates";
constexpr char kRuntimeOptionsField[] = "runtimeOptions";
constexpr char kOutputNamesField[] = "outputNames";

constexpr const char* kTopLevelFields[] = {
    kVersionField,        kComponentIdField, kComponentNameField,   kMainFunctionField,
    kStartTextField,      kBlobAField,       kBlobBField,           kSearchPathField,
    kJavaClassPathField,  kPathEntriesField, kPublicFunctionsField, kWarningStatesField,
    kRuntimeOptionsField, kOutputNamesField};

// Containers nest at most three deep in the schema (the root, a list, a public function entry);
// anything deeper is not a manifest, and refusing it early bounds the work a hostile file can
// cause.
constexpr int kMaxNesting = 3;

constexpr std::size_t kIdentifierDigits = 32;

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string encodeBase64(const ctfdata::CTFByteArray& bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  const unsigned char* data = bytes.data();
  std::size_t index = 0;
  for (; index + 3 <= bytes.size(); index += 3) {
    const std::uint32_t group = data[index] << 16 | data[index + 1] << 8 | data[index + 2];
    text += kBase64Alphabet[group >> 18];
    text += kBase64Alphabet[(group >> 12) & 63];
    text += kBase64Alphabet[(group >> 6) & 63];
    text += kBase64Alphabet[group & 63];
  }
  const std::size_t rest = bytes.size() - index;
  if (rest > 0) {
    std::uint32_t group = data[index] << 16;
    if (rest == 2) group |= data[index + 1] << 8;
    text += kBase64Alphabet[group >> 18];
    text += kBase64Alphabet[(group >> 12) & 63];
    text += rest == 2 ? kBase64Alphabet[(group >> 6) & 63] : '=';
    text += '=';
  }
  return text;
}

int base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Strict: padded to a multiple of four, no white space, "=" only at the end, and the unused low
// bits of the last group zero. Each byte string then has exactly one spelling, which the
// writer produces. Returns false for anything else.
bool decodeBase64(const std::string& text, std::vector<unsigned char>& bytes) {
  if (text.size() % 4 != 0) return false;
  bytes.clear();
  bytes.reserve(text.size() / 4 * 3);
  for (std::size_t index = 0; index < text.size(); index += 4) {
    const bool last = index + 4 == text.size();
    int padding = 0;
    if (last && text[index + 3] == '=') padding = text[index + 2] == '=' ? 2 : 1;
    std::uint32_t group = 0;
    for (int offset = 0; offset < 4; ++offset) {
      int value = 0;
      if (offset < 4 - padding) {
        value = base64Value(text[index + offset]);
        if (value < 0) return false;
      }
      group = group << 6 | static_cast<std::uint32_t>(value);
    }
    if (padding == 2 && (group & 0xFFFF) != 0) return false;
    if (padding == 1 && (group & 0xFF) != 0) return false;
    bytes.push_back(static_cast<unsigned char>(group >> 16));
    if (padding < 2) bytes.push_back(static_cast<unsigned char>(group >> 8));
    if (padding < 1) bytes.push_back(static_cast<unsigned char>(group));
  }
  return true;
}

bool isHexDigit(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

// Reads one parsed manifest; every complaint names the source and the field.
class ManifestReader {
 public:
  ManifestReader(const Json& root, const std::string& source) : root_(root), source_(source) {}

  CTFSettings read() {
    if (!root_.is_object()) fail("the manifest must be a JSON object");
    checkVersion();
    for (const auto& member : root_.items()) {
      if (!isTopLevelField(member.key())) fail("unknown field \"" + member.key() + "\"");
    }
    CTFSettings settings;
    settings.componentId = string(kComponentIdField);
    settings.componentName = string(kComponentNameField);
    settings.mainFunction = string(kMainFunctionField);
    settings.startText = string(kStartTextField);
    settings.componentBlobA = blob(kBlobAField);
    settings.componentBlobB = blob(kBlobBField);
    settings.searchPath = stringList(kSearchPathField);
    settings.javaClassPath = stringList(kJavaClassPathField);
    settings.pathEntries = stringList(kPathEntriesField);
    settings.publicFunctions = publicFunctions();
    settings.warningStates = stringList(kWarningStatesField);
    settings.runtimeOptions = stringList(kRuntimeOptionsField);
    settings.outputNames = stringList(kOutputNamesField);
    try {
      checkComponentIdentity(settings.componentId, settings.componentName);
    } catch (const opc::Exception& error) {
      fail(error.what());
    }
    return settings;
  }

  [[noreturn]] void fail(const std::string& problem) const {
    throw opc::Exception("component settings manifest " + source_ + ": " + problem);
  }

 private:
  static bool isTopLevelField(const std::string& key) {
    for (const char* field : kTopLevelFields) {
      if (key == field) return true;
    }
    return false;
  }

  // The version decides how everything else is read, so it is checked before anything else.
  void checkVersion() const {
    const auto found = root_.find(kVersionField);
    if (found == root_.end()) fail("field \"manifestVersion\" is missing");
    if (!found->is_number_integer()) fail("field \"manifestVersion\" must be an integer");
    if (found->is_number_unsigned() ? found->get<std::uint64_t>() != kSettingsManifestVersion
                                    : found->get<std::int64_t>() != kSettingsManifestVersion) {
      fail("unsupported manifest version " + found->dump() + " (this runtime reads version " +
           std::to_string(kSettingsManifestVersion) + ")");
    }
  }

  const Json& member(const char* field) const {
    const auto found = root_.find(field);
    if (found == root_.end()) fail("field \"" + std::string(field) + "\" is missing");
    return *found;
  }

  std::wstring string(const char* field) const {
    const Json& value = member(field);
    if (!value.is_string()) fail("field \"" + std::string(field) + "\" must be a string");
    return fl::i18n::to_ustring(value.get_ref<const std::string&>());
  }

  ctfdata::CTFByteArray blob(const char* field) const {
    const Json& value = member(field);
    std::vector<unsigned char> bytes;
    if (!value.is_string() || !decodeBase64(value.get_ref<const std::string&>(), bytes)) {
      fail("field \"" + std::string(field) + "\" must be a base64 string");
    }
    return ctfdata::CTFByteArray(bytes.data(), bytes.size());
  }

  std::vector<std::wstring> stringList(const char* field) const {
    const Json& value = member(field);
    if (!value.is_array()) fail("field \"" + std::string(field) + "\" must be a list of strings");
    std::vector<std::wstring> list;
    list.reserve(value.size());
    for (std::size_t index = 0; index < value.size(); ++index) {
      if (!value[index].is_string()) {
        fail("field \"" + std::string(field) + "\" element " + std::to_string(index) +
             " must be a string");
      }
      list.push_back(fl::i18n::to_ustring(value[index].get_ref<const std::string&>()));
    }
    return list;
  }

  std::vector<CTFPublicFunction> publicFunctions() const {
    const Json& value = member(kPublicFunctionsField);
    const std::string where = "field \"" + std::string(kPublicFunctionsField) + "\"";
    if (!value.is_array()) fail(where + " must be a list of objects");
    std::vector<CTFPublicFunction> functions;
    functions.reserve(value.size());
    for (std::size_t index = 0; index < value.size(); ++index) {
      const Json& entry = value[index];
      const std::string element = where + " element " + std::to_string(index);
      if (!entry.is_object()) fail(element + " must be an object");
      for (const auto& item : entry.items()) {
        if (item.key() != kFunctionNameField) {
          fail(element + " has an unknown field \"" + item.key() + "\"");
        }
      }
      const auto name = entry.find(kFunctionNameField);
      if (name == entry.end() || !name->is_string()) {
        fail(element + " needs a string field \"name\"");
      }
      functions.push_back(CTFPublicFunction{fl::i18n::to_ustring(name->get<std::string>())});
    }
    return functions;
  }

  const Json& root_;
  const std::string& source_;
};

}  // namespace

void checkComponentIdentity(const std::wstring& componentId, const std::wstring& componentName) {
  if (componentName.empty()) throw opc::Exception("the component name is empty");
  if (componentName == L"." || componentName == L"..") {
    throw opc::Exception("the component name \"" + fl::i18n::to_string(componentName) +
                         "\" is not a folder name");
  }
  for (const wchar_t c : componentName) {
    if (c == L'/' || c == L'\\' || c < 0x20 || c == 0x7F) {
      throw opc::Exception("the component name \"" + fl::i18n::to_string(componentName) +
                           "\" holds a separator or a control character");
    }
  }
  const std::size_t prefix = componentName.size() + 1;
  bool valid = componentId.size() == prefix + kIdentifierDigits &&
               componentId.compare(0, componentName.size(), componentName) == 0 &&
               componentId[componentName.size()] == L'_';
  for (std::size_t index = prefix; valid && index < componentId.size(); ++index) {
    valid = isHexDigit(componentId[index]);
  }
  if (!valid) {
    throw opc::Exception("the component identifier \"" + fl::i18n::to_string(componentId) +
                         "\" is not the component name, \"_\" and 32 hexadecimal digits");
  }
}

std::string writeSettingsManifest(const CTFSettings& settings) {
  checkComponentIdentity(settings.componentId, settings.componentName);
  const auto narrowList = [](const std::vector<std::wstring>& list) {
    OrderedJson::array_t narrow;
    narrow.reserve(list.size());
    for (const std::wstring& text : list) narrow.emplace_back(fl::i18n::to_string(text));
    return narrow;
  };
  OrderedJson::array_t functions;
  for (const CTFPublicFunction& function : settings.publicFunctions) {
    functions.push_back(OrderedJson{{kFunctionNameField, fl::i18n::to_string(function.name)}});
  }
  // Written in the order of the documentation, so a manifest reads top to bottom.
  OrderedJson manifest;
  manifest[kVersionField] = kSettingsManifestVersion;
  manifest[kComponentIdField] = fl::i18n::to_string(settings.componentId);
  manifest[kComponentNameField] = fl::i18n::to_string(settings.componentName);
  manifest[kMainFunctionField] = fl::i18n::to_string(settings.mainFunction);
  manifest[kStartTextField] = fl::i18n::to_string(settings.startText);
  manifest[kBlobAField] = encodeBase64(settings.componentBlobA);
  manifest[kBlobBField] = encodeBase64(settings.componentBlobB);
  manifest[kSearchPathField] = narrowList(settings.searchPath);
  manifest[kJavaClassPathField] = narrowList(settings.javaClassPath);
  manifest[kPathEntriesField] = narrowList(settings.pathEntries);
  manifest[kPublicFunctionsField] = functions;
  manifest[kWarningStatesField] = narrowList(settings.warningStates);
  manifest[kRuntimeOptionsField] = narrowList(settings.runtimeOptions);
  manifest[kOutputNamesField] = narrowList(settings.outputNames);
  return manifest.dump(2) + "\n";
}

CTFSettings readSettingsManifest(const std::string& text, const std::string& source) {
  if (text.size() > kSettingsManifestMaxBytes) {
    throw opc::Exception("component settings manifest " + source + ": larger than " +
                         std::to_string(kSettingsManifestMaxBytes) + " bytes");
  }
  // The parser keeps the last of two equal keys without a word; a manifest that says one thing
  // twice is refused instead, since two readers could disagree about which one counts.
  std::vector<std::set<std::string>> keysSeen;
  const Json::parser_callback_t check = [&](int depth, Json::parse_event_t event,
                                            Json& parsed) -> bool {
    switch (event) {
      case Json::parse_event_t::object_start:
      case Json::parse_event_t::array_start:
        if (depth >= kMaxNesting) {
          throw opc::Exception("component settings manifest " + source +
                               ": nested deeper than any field of the manifest");
        }
        if (event == Json::parse_event_t::object_start) keysSeen.emplace_back();
        break;
      case Json::parse_event_t::key:
        if (!keysSeen.back().insert(parsed.get<std::string>()).second) {
          throw opc::Exception("component settings manifest " + source + ": field \"" +
                               parsed.get<std::string>() + "\" appears twice");
        }
        break;
      case Json::parse_event_t::object_end:
        keysSeen.pop_back();
        break;
      default:
        break;
    }
    return true;
  };
  Json root;
  try {
    root = Json::parse(text, check, /*allow_exceptions=*/true, /*ignore_comments=*/false);
  } catch (const Json::exception& error) {
    throw opc::Exception("component settings manifest " + source +
                         ": not valid JSON: " + error.what());
  }
  return ManifestReader(root, source).read();
}

}  // namespace Ostrand::ctfpack
