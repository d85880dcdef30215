// The function-signature gateway of the built-in table, bound as a host callback and called the
// way a host calls any function: its record for a function with varargin and varargout, a file
// path outside the search path, and its errors.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/dispatcher.hpp"
#include "engine/instance.hpp"
#include "rtkbase.h"
#include "rtkkvn.h"
#include "util/services.hpp"

namespace {

namespace stdfs = std::filesystem;

std::string textOf(const zyArray* array) {
  char* text = array ? zyArrayToString(array) : nullptr;
  std::string result = text ? text : "<not text>";
  zyFree(text);
  return result;
}

std::vector<std::string> stringsOf(const zyArray* cell) {
  std::vector<std::string> texts;
  for (size_t index = 0; cell && index < zyGetNumberOfElements(cell); ++index) {
    texts.push_back(textOf(zyGetCellConst(cell, index)));
  }
  return texts;
}

bool flag(const zyArray* record, const char* field) {
  const zyArray* value = zyGetFieldConst(record, 0, field);
  EXPECT_TRUE(value && zyIsLogical(value)) << field;
  return value && zyIsLogical(value) && zyGetLogicals(value)[0];
}

class SignatureGateway : public ::testing::Test {
 protected:
  void SetUp() override {
    svSetStandaloneMode(true);
    rtkClearLastError();
    const std::string id = std::to_string(::getpid());
    folder_ = stdfs::temp_directory_path() / ("rtkkvn_sig_" + id);
    outside_ = stdfs::temp_directory_path() / ("rtkkvn_sig_outside_" + id);
    stdfs::create_directories(folder_);
    stdfs::create_directories(outside_);
    std::ofstream(folder_ / "vsig.q") << "function [total, varargout] = vsig(first, second, "
                                         "varargin)\n% VSIG adds things up.\ntotal = first;\n";
    std::ofstream(outside_ / "hidden.q") << "function r = hidden(v)\n% HIDDEN is off the path.\n"
                                            "r = v;\n";
    instance_ = rtkInitializeInstance({}, {}, {});
    ASSERT_NE(instance_, nullptr);
    path_ = rtkHandleToKvnInstancePtr(instance_)->GetDispatcher().get_path();
    ASSERT_TRUE(qpAddDir(path_, folder_.string(), kQpAddAtFront));
    ASSERT_TRUE(rtkRegisterExternalFunction(instance_, "fnsignature",
                                            QueryTNFcnTable_rtkkvn()->gateways[0]));
  }
  void TearDown() override {
    EXPECT_TRUE(rtkTerminateInstance(&instance_));
    stdfs::remove_all(folder_);
    stdfs::remove_all(outside_);
  }

  // The record for name, or null with the last error set.
  zyArray* signatureOf(zyArray* input) {
    zyArray* record = nullptr;
    if (!rtkFeval(instance_, "fnsignature", 1, &record, 1, &input)) return nullptr;
    return record;
  }
  zyArray* signatureOf(const std::string& name) {
    zyArray* input = zyCreateString(name.c_str());
    zyArray* record = signatureOf(input);
    zyDestroyArray(input);
    return record;
  }

  stdfs::path folder_, outside_;
  qpPath* path_ = nullptr;
  HKVNINSTANCE instance_ = nullptr;
};

TEST_F(SignatureGateway, RecordOfAFunctionWithVararginAndVarargout) {
  zyArray* record = signatureOf("vsig");
  ASSERT_NE(record, nullptr) << rtkGetLastErrorMessage();
  const std::vector<std::string> fields = {"vhInputs",  "vhOutputs", "bVarargin", "bVarargout",
                                           "bScript",   "hFuncname", "hFullname", "hClassname",
                                           "nFileType", "hFuncHelp"};
  ASSERT_EQ(zyGetNumberOfFields(record), 10);
  for (int index = 0; index < 10; ++index) {
    EXPECT_EQ(zyGetFieldNameByNumber(record, index), fields[index]);
  }
  EXPECT_EQ(stringsOf(zyGetFieldConst(record, 0, "vhInputs")),
            (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(stringsOf(zyGetFieldConst(record, 0, "vhOutputs")),
            (std::vector<std::string>{"total"}));
  EXPECT_TRUE(flag(record, "bVarargin"));
  EXPECT_TRUE(flag(record, "bVarargout"));
  EXPECT_FALSE(flag(record, "bScript"));
  EXPECT_EQ(textOf(zyGetFieldConst(record, 0, "hFuncname")), "vsig");
  EXPECT_EQ(stdfs::path(textOf(zyGetFieldConst(record, 0, "hFullname"))),
            stdfs::canonical(folder_ / "vsig.q"));
  EXPECT_EQ(textOf(zyGetFieldConst(record, 0, "hClassname")), "");
  EXPECT_EQ(zyGetPr(zyGetField(record, 0, "nFileType"))[0], 2.0);
  EXPECT_NE(textOf(zyGetFieldConst(record, 0, "hFuncHelp")).find("VSIG adds things up."),
            std::string::npos);
  zyDestroyArray(record);
}

TEST_F(SignatureGateway, FilePathOutsideTheSearchPathIsFoundAndThePathRestored) {
  const std::string file = (outside_ / "hidden.q").string();
  zyArray* record = signatureOf(file);
  ASSERT_NE(record, nullptr) << rtkGetLastErrorMessage();
  EXPECT_EQ(textOf(zyGetFieldConst(record, 0, "hFuncname")), "hidden");
  EXPECT_EQ(stringsOf(zyGetFieldConst(record, 0, "vhInputs")), (std::vector<std::string>{"v"}));
  EXPECT_FALSE(flag(record, "bVarargin"));
  zyDestroyArray(record);
  EXPECT_EQ(qpGetDirType(qpFindDirFullName(path_, outside_.string())), 0);
  EXPECT_EQ(qpGetDirType(qpFindDirFullName(path_, folder_.string())), 1);
}

TEST_F(SignatureGateway, ErrorsForUnknownNamesWrongInputsAndArgumentCounts) {
  EXPECT_EQ(signatureOf("no_such_function_here"), nullptr);
  EXPECT_NE(std::string(rtkGetLastErrorMessage()).find("was not found on the search path"),
            std::string::npos)
      << rtkGetLastErrorMessage();
  EXPECT_EQ(signatureOf((outside_ / "missing.q").string()), nullptr);
  EXPECT_EQ(qpGetDirType(qpFindDirFullName(path_, outside_.string())), 0);

  zyArray* number = zyCreateDoubleScalar(3);
  EXPECT_EQ(signatureOf(number), nullptr);
  EXPECT_NE(std::string(rtkGetLastErrorMessage()).find("\"double\""), std::string::npos)
      << rtkGetLastErrorMessage();
  zyArray* records[2] = {};
  EXPECT_FALSE(rtkFeval(instance_, "fnsignature", 1, records, 0, nullptr));
  EXPECT_NE(std::string(rtkGetLastErrorMessage()).find("Not enough input arguments"),
            std::string::npos);
  zyArray* two[2] = {number, number};
  EXPECT_FALSE(rtkFeval(instance_, "fnsignature", 1, records, 2, two));
  EXPECT_NE(std::string(rtkGetLastErrorMessage()).find("Too many input arguments"),
            std::string::npos);
  zyDestroyArray(number);
}

}  // namespace
