// The function-signature gateway. It asks the engine instance current on the thread ("which",
// "exist", "help" and the engine's signature lookup); a file path outside the search path is
// found by putting its folder on the path for the duration of the call.

#include "rtkkvn/instances/signature_gateway.hpp"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/dispatcher.hpp"
#include "engine/instance.hpp"
#include "fs/file_operations.hpp"
#include "msg/message.hpp"
#include "zy/errors.hpp"
#include "zy/matrix.hpp"

namespace {

using namespace KVN::rtkkvn;

struct ArrayDeleter {
  void operator()(zyArray* array) const {
    if (array) zyDestroyArray(array);
  }
};
using OwnedArray = std::unique_ptr<zyArray, ArrayDeleter>;

OwnedArray checked(zyArray* array) {
  if (array == nullptr) zyErrMsgId(RTKKVN_UNEXPECTED_ERROR());
  return OwnedArray(array);
}

// The one output of the script function called with name.
OwnedArray askEngine(kvnInstance& engine, const char* function, const std::string& name) {
  OwnedArray input = checked(zyCreateString(name.c_str()));
  zyArray* inputs[1] = {input.get()};
  zyArray* output = nullptr;
  if (!engine.CallSorvelFunction(function, 1, &output, 1, inputs) || output == nullptr) {
    if (output) zyDestroyArray(output);
    zyErrMsgId(RTKKVN_UNEXPECTED_ERROR());
  }
  return OwnedArray(output);
}

std::string textOf(const zyArray* array) {
  char* text = zyArrayToString(array);
  if (text == nullptr) zyErrMsgId(RTKKVN_UNEXPECTED_ERROR());
  std::string result(text);
  zyFree(text);
  return result;
}

OwnedArray cellOfStrings(const std::vector<std::string>& texts) {
  OwnedArray cell = checked(zyCreateCellMatrix(1, texts.size()));
  for (size_t index = 0; index < texts.size(); ++index) {
    zySetCell(cell.get(), index, checked(zyCreateString(texts[index].c_str())).release());
  }
  return cell;
}

// Puts a folder on the search path and takes it off again when it ends.
class TemporaryPathFolder {
 public:
  explicit TemporaryPathFolder(qpPath* path) : path_(path) {}
  TemporaryPathFolder(const TemporaryPathFolder&) = delete;
  TemporaryPathFolder& operator=(const TemporaryPathFolder&) = delete;
  ~TemporaryPathFolder() {
    if (!folder_.empty()) qpRemoveDir(path_, folder_);
  }
  void add(const std::string& folder) {
    if (qpAddDir(path_, folder, kQpAddAtFront)) folder_ = folder;
  }

 private:
  qpPath* path_;
  std::string folder_;
};

}  // namespace

void rtkFunctionSignatureGateway(int nlhs, zyArray** plhs, int nrhs, zyArray** prhs) {
  if (nlhs > 1) matrix::detail::error_maxlhs();
  if (nrhs > 1) matrix::detail::error_maxrhs();
  if (nrhs < 1) matrix::detail::error_minrhs();
  if (prhs[0] == nullptr || !zyIsChar(prhs[0])) {
    zyErrMsgId(RTKKVN_WRONG_USER_DATA_KEY_TYPE(prhs[0] ? zyGetClassName(prhs[0]) : "double"));
  }
  kvnInstance* engine = kvnInstance::GetKVN();
  if (engine == nullptr) zyErrMsgId(RTKKVN_UNEXPECTED_ERROR());
  const std::string name = textOf(prhs[0]);

  OwnedArray fullName = askEngine(*engine, "which", name);
  qpPath* path = engine->GetDispatcher().get_path();
  TemporaryPathFolder added(path);
  if (textOf(fullName.get()).empty()) {
    // Perhaps the path of a file whose folder is not on the search path.
    const std::string parent = std::filesystem::path(name).parent_path().string();
    const std::string folder = dsCanonicalizePath(parent.empty() ? "." : parent);
    if (dsFileOrDirExists(folder) && qpGetDirType(qpFindDirFullName(path, folder)) == 0) {
      added.add(folder);
    }
    if (qpGetDirType(qpFindDirFullName(path, folder)) != 0) {
      fullName = askEngine(*engine, "which", name);
    }
    if (textOf(fullName.get()).empty()) zyErrMsgId(RTKKVN_NO_SIGNATURE_ON_SORVEL_PATH(name));
  }

  OwnedArray fileType = askEngine(*engine, "exist", name);
  std::vector<kvnFunctionSignature> signatures;
  if (!engine->find_signature(signatures, name) || signatures.empty()) {
    zyErrMsgId(RTKKVN_NO_SIGNATURE_INFO(name));
  }
  OwnedArray help = askEngine(*engine, "help", name);
  textOf(help.get());  // help must read as a string
  const kvnFunctionSignature& signature = signatures.front();

  static const char* const kFields[] = {"vhInputs",  "vhOutputs", "bVarargin", "bVarargout",
                                        "bScript",   "hFuncname", "hFullname", "hClassname",
                                        "nFileType", "hFuncHelp"};
  OwnedArray record = checked(zyCreateStructMatrix(1, 1, 10, const_cast<const char**>(kFields)));
  auto set = [&](const char* field, OwnedArray value) {
    zySetField(record.get(), 0, field, value.release());
  };
  set("vhInputs", cellOfStrings(signature.input_names));
  set("vhOutputs", cellOfStrings(signature.output_names));
  set("bVarargin", checked(zyCreateLogicalScalar(signature.takes_varargin)));
  set("bVarargout", checked(zyCreateLogicalScalar(signature.returns_varargout)));
  set("bScript", checked(zyCreateLogicalScalar(signature.is_script)));
  set("hFuncname", checked(zyCreateString(signature.function_name.c_str())));
  set("hFullname", std::move(fullName));
  set("hClassname", checked(zyCreateString(signature.class_name.c_str())));
  set("nFileType", std::move(fileType));
  set("hFuncHelp", std::move(help));
  plhs[0] = record.release();
}
