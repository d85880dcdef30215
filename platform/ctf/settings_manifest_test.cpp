#include "ctf/settings_manifest.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "ctf/opc_exception.hpp"

namespace {

using Ostrand::ctfdata::CTFByteArray;
using Ostrand::ctfpack::checkComponentIdentity;
using Ostrand::ctfpack::CTFSettings;
using Ostrand::ctfpack::readSettingsManifest;
using Ostrand::ctfpack::writeSettingsManifest;
using ::testing::HasSubstr;

CTFSettings fullSettings() {
  CTFSettings settings;
  settings.componentName = L"Prüfstand_東京";
  settings.componentId = settings.componentName + L"_0123456789abcdefABCDEF0123456789";
  settings.mainFunction = L"main";
  settings.startText = L"Willkommen \U0001F600\nline two\ttab \"quoted\" back\\slash";
  std::string blobA;
  for (int byte = 255; byte >= 0; --byte) blobA += static_cast<char>(byte);
  settings.componentBlobA = CTFByteArray(blobA);
  settings.componentBlobB = CTFByteArray(std::string("\0\0x\0", 4));
  settings.searchPath = {L"$(ROOT)/toolbox", L"fonctions/été", L"."};
  settings.javaClassPath = {L"lib/app.jar", L"classes"};
  settings.pathEntries = {L"bin", L"native/данные"};
  settings.publicFunctions = {{L"add"}, {L"Add"}, {L"größe"}};
  settings.warningStates = {L"off:Sorvel:divideByZero", L"on: all"};
  settings.runtimeOptions = {L"-nojvm", L"-logfile", L"ausgabe.log"};
  settings.outputNames = {L"result", L"varargout"};
  return settings;
}

// The settings' comparison looks at every field, so one comparison covers them all.
TEST(CtfSettingsManifest, EveryFieldSurvivesWriteAndRead) {
  const CTFSettings original = fullSettings();
  const CTFSettings back = readSettingsManifest(writeSettingsManifest(original), "round trip");
  EXPECT_EQ(back.componentBlobB.size(), 4u) << "zero bytes are part of a blob";
  EXPECT_TRUE(back == original);

  CTFSettings empty;
  empty.componentName = L"x";
  empty.componentId = L"x_00000000000000000000000000000000";
  EXPECT_TRUE(readSettingsManifest(writeSettingsManifest(empty), "empty") == empty);
}

TEST(CtfSettingsManifest, WritesStandardBase64AndUtf8) {
  CTFSettings settings = fullSettings();
  const std::vector<std::pair<std::string, std::string>> blobs = {
      {"", ""},        {std::string(1, '\0'), "AA=="}, {std::string("\0\xff", 2), "AP8="},
      {"abc", "YWJj"}, {"abcd", "YWJjZA=="},           {"\xfb\xff\xbf", "+/+/"}};
  for (const auto& [bytes, encoded] : blobs) {
    settings.componentBlobA = CTFByteArray(bytes);
    const nlohmann::json manifest = nlohmann::json::parse(writeSettingsManifest(settings));
    EXPECT_EQ(manifest["componentBlobA"], encoded);
    EXPECT_EQ(manifest["manifestVersion"], 1);
    EXPECT_EQ(manifest["componentName"], "Prüfstand_東京") << "names are written as UTF-8";
    EXPECT_EQ(readSettingsManifest(manifest.dump(), "blob").componentBlobA, CTFByteArray(bytes));
  }
}

// A valid manifest as JSON, to be spoilt one way per case.
nlohmann::json validManifest() {
  return nlohmann::json::parse(writeSettingsManifest(fullSettings()));
}

void expectRejected(const std::string& text, const std::string& complaint) {
  try {
    readSettingsManifest(text, "\"/unpacked/ctfsettings.json\"");
    ADD_FAILURE() << "accepted: " << text.substr(0, 200);
  } catch (const opc::Exception& error) {
    EXPECT_THAT(error.what(), HasSubstr("\"/unpacked/ctfsettings.json\"")) << text.substr(0, 200);
    EXPECT_THAT(error.what(), HasSubstr(complaint)) << text.substr(0, 200);
  }
}

TEST(CtfSettingsManifest, MalformedTextIsRejectedWithItsReason) {
  expectRejected("", "not valid JSON");
  expectRejected("manifest", "not valid JSON");
  expectRejected(validManifest().dump().substr(0, 100), "not valid JSON");
  expectRejected("{\"startText\": \"\xff\xfe\"}", "not valid JSON");
  expectRejected("{} trailing", "not valid JSON");
  expectRejected("[]", "must be a JSON object");
  expectRejected("\"text\"", "must be a JSON object");
  expectRejected(std::string(100000, '[') + std::string(100000, ']'), "nested deeper");
  expectRejected(std::string(Ostrand::ctfpack::kSettingsManifestMaxBytes + 1, ' '), "larger than");

  std::string twice = validManifest().dump();
  twice.insert(1, "\"mainFunction\": \"other\", ");
  expectRejected(twice, "field \"mainFunction\" appears twice");
}

TEST(CtfSettingsManifest, WrongVersionsAndFieldsAreRejectedWithTheField) {
  const auto spoilt = [](const std::string& field, nlohmann::json value) {
    nlohmann::json manifest = validManifest();
    if (value.is_discarded()) {
      manifest.erase(field);
    } else {
      manifest[field] = std::move(value);
    }
    return manifest.dump();
  };
  const nlohmann::json missing = nlohmann::json::value_t::discarded;

  expectRejected(spoilt("manifestVersion", missing), "field \"manifestVersion\" is missing");
  expectRejected(spoilt("manifestVersion", 2), "unsupported manifest version 2");
  expectRejected(spoilt("manifestVersion", -1), "unsupported manifest version -1");
  expectRejected(spoilt("manifestVersion", "1"), "\"manifestVersion\" must be an integer");
  expectRejected(spoilt("manifestVersion", 1.0), "\"manifestVersion\" must be an integer");
  // The version is judged first: a future manifest is "unsupported", not "malformed".
  nlohmann::json future = {{"manifestVersion", 2}, {"newField", true}};
  expectRejected(future.dump(), "unsupported manifest version 2");

  expectRejected(spoilt("startText", missing), "field \"startText\" is missing");
  expectRejected(spoilt("outputNames", missing), "field \"outputNames\" is missing");
  expectRejected(spoilt("mainFunction", 7), "field \"mainFunction\" must be a string");
  expectRejected(spoilt("componentId", nullptr), "field \"componentId\" must be a string");
  expectRejected(spoilt("searchPath", "toolbox"), "field \"searchPath\" must be a list");
  expectRejected(spoilt("pathEntries", {"bin", 3}), "field \"pathEntries\" element 1 must be");
  expectRejected(spoilt("warningStates", nlohmann::json::array({nlohmann::json::array({"on"})})),
                 "\"warningStates\" element 0 must be");
  expectRejected(spoilt("extra", true), "unknown field \"extra\"");

  expectRejected(spoilt("publicFunctions", {"add"}), "\"publicFunctions\" element 0 must be an");
  expectRejected(spoilt("publicFunctions", {{{"name", 1}}}), "needs a string field \"name\"");
  expectRejected(spoilt("publicFunctions", {nlohmann::json::object()}), "needs a string field");
  expectRejected(spoilt("publicFunctions", {{{"name", "f"}, {"args", 2}}}),
                 "unknown field \"args\"");

  // Base64 has one spelling per byte string: no missing padding, stray characters, white
  // space or set bits after the last byte.
  for (const char* blob :
       {"A", "AAA", "AA=A", "A===", "AB==", "AAB=", "AA AA==", "AA\nA", "*A=="}) {
    expectRejected(spoilt("componentBlobB", blob), "field \"componentBlobB\" must be a base64");
  }
  expectRejected(spoilt("componentBlobA", 12), "field \"componentBlobA\" must be a base64");
}

TEST(CtfSettingsManifest, IdentityMustBeUsableAsFolderNames) {
  EXPECT_NO_THROW(checkComponentIdentity(L"app_0123456789ABCDEF0123456789abcdef", L"app"));
  EXPECT_NO_THROW(checkComponentIdentity(L"a b_00000000000000000000000000000000", L"a b"));
  const std::vector<std::pair<std::wstring, std::wstring>> refused = {
      {L"_00000000000000000000000000000000", L""},
      {L"app_0000000000000000000000000000000", L"app"},    // 31 digits
      {L"app_000000000000000000000000000000000", L"app"},  // 33 digits
      {L"app_0000000000000000000000000000000g", L"app"},
      {L"app-00000000000000000000000000000000", L"app"},
      {L"other_00000000000000000000000000000000", L"app"},
      {L"../x_00000000000000000000000000000000", L"../x"},
      {L"a\\b_00000000000000000000000000000000", L"a\\b"},
      {L".._00000000000000000000000000000000", L".."},
      {std::wstring(L"a\0b_00000000000000000000000000000000", 36), std::wstring(L"a\0b", 3)},
  };
  for (const auto& [id, name] : refused) {
    EXPECT_THROW(checkComponentIdentity(id, name), opc::Exception);
  }

  nlohmann::json manifest = validManifest();
  manifest["componentName"] = "../../etc";
  manifest["componentId"] = "../../etc_00000000000000000000000000000000";
  expectRejected(manifest.dump(), "separator");

  CTFSettings settings = fullSettings();
  settings.componentId = L"something else";
  EXPECT_THROW(writeSettingsManifest(settings), opc::Exception)
      << "nothing is written that reading would refuse";
}

}  // namespace
