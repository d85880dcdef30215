// Files and the system: fopen and the functions on file ids (the table of open_files.hpp),
// fileread, and the functions on names on disk (exist is in builtins_core.cpp), folders and the
// environment. Text is UTF-8 on disk; bytes read by fread stay bytes.

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

#include "engine/array_access.hpp"
#include "engine/dispatcher.hpp"
#include "engine/instance.hpp"
#include "engine/interpreter.hpp"
#include "util/temporary_names.hpp"

namespace q {

namespace {

// A directory listing, or a recursive removal, stops at this many entries or levels.
constexpr std::size_t kMaxListing = 1000000;
constexpr int kMaxRemovalDepth = 64;
// fread's [m n] form allocates m rows at least.
constexpr double kMaxReadRows = 1e6;

Value text(const std::string& utf8) { return Value::adopt(makeString(utf8)); }
Value logical(bool value) { return Value::adopt(makeLogicalScalar(value)); }

// A name on disk: text without zero characters (which the OS would cut the name at).
std::string pathOf(const Value& value, const char* function) {
  if (!isText(value)) {
    raise("Q:invalidInput", std::string(function) + ": the name must be a text.");
  }
  const std::string path = value.isEmpty() ? std::string() : textOf(value, "a name");
  if (path.find('\0') != std::string::npos) {
    raise("Q:invalidInput", std::string(function) + ": the name holds a zero character.");
  }
  return path;
}

OpenFiles::File& fileOf(Interpreter& interpreter, const Value& id, const char* function) {
  double number = 0;
  if (!id.asRealDouble(number)) {
    raise("Q:invalidFid", std::string(function) + ": the file identifier must be a number.");
  }
  return interpreter.openFiles().get(number, function);
}

std::string osError(const std::string& what) { return what + ": " + std::strerror(errno); }

// The built-in body, run only when the host lets code touch the file system.
template <InterpreterBuiltin body, const char* name>
void withFileAccess(Interpreter& interpreter, int nargout, ValueList& results,
                    ValueList& inputs) {
  if (!interpreter.fileAccess()) {
    raise("Q:fileAccessDenied",
          std::string(name) + ": this instance may not use files (its host turned that off).");
  }
  body(interpreter, nargout, results, inputs);
}
constexpr char kDelete[] = "delete", kDir[] = "dir", kFileread[] = "fileread",
               kFopen[] = "fopen", kMkdir[] = "mkdir", kRmdir[] = "rmdir", kSetenv[] = "setenv";

// ---- Opening and closing ----

void builtinFopen(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, 3, "fopen");
  requireOutputs(nargout, 2, "fopen");
  OpenFiles& files = interpreter.openFiles();
  double id = 0;
  if (!inputs[0].isChar() && inputs[0].asRealDouble(id)) {
    // [name, permission] = fopen(fid)
    requireInputs(inputs, 1, 1, "fopen");
    const OpenFiles::File* file = id == std::floor(id) && std::fabs(id) < 1e9
                                      ? files.find(static_cast<int>(id))
                                      : nullptr;
    results.push_back(text(file ? file->name : ""));
    if (nargout > 1) results.push_back(text(file ? file->permission : ""));
    return;
  }
  const std::string name = pathOf(inputs[0], "fopen");
  if (inputs.size() == 1 && name == "all") {
    const std::vector<int> ids = files.ids();
    ArrayPtr list = checked(zyCreateDoubleMatrix(ids.empty() ? 0 : 1, ids.size(), zyREAL));
    std::copy(ids.begin(), ids.end(), zyGetPr(list.get()));
    results.push_back(Value::adopt(std::move(list)));
    return;
  }
  // A third input (the byte order) is accepted when it names the machine's own order.
  if (inputs.size() == 3) {
    const std::string order = lower(textOf(inputs[2], "a byte order"));
    if (order != "n" && order != "native" && order != "l" && order != "ieee-le") {
      raise("Q:invalidInput", "fopen: only the native (little-endian) byte order is supported.");
    }
  }
  const std::string permission = inputs.size() >= 2 ? textOf(inputs[1], "a permission") : "r";
  std::string message;
  const int opened = files.open(name, permission, message);
  results.push_back(Value(static_cast<double>(opened)));
  if (nargout > 1) results.push_back(text(message));
}

void builtinFclose(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, 1, "fclose");
  requireOutputs(nargout, 1, "fclose");
  OpenFiles& files = interpreter.openFiles();
  if (inputs[0].isChar()) {
    if (lower(textOf(inputs[0], "'all'")) != "all") {
      raise("Q:invalidInput", "fclose: the input must be a file identifier or 'all'.");
    }
    files.closeAll();
    results.push_back(Value(0.0));
    return;
  }
  fileOf(interpreter, inputs[0], "fclose");  // raises unless the id is open
  double id = 0;
  inputs[0].asRealDouble(id);
  results.push_back(Value(files.close(static_cast<int>(id)) ? 0.0 : -1.0));
}

// ---- Reading text ----

// The next line (with its newline when keepNewline) or false at the end of the file.
bool readLine(OpenFiles::File& file, bool keepNewline, std::string& line, const char* function) {
  OpenFiles::startRead(file, function);
  line.clear();
  bool any = false;
  int c;
  // Each pass consumes a byte of a regular file, so the loop ends with the file.
  while ((c = std::getc(file.stream)) != EOF) {
    any = true;
    if (c == '\n') {
      if (keepNewline) line += '\n';
      break;
    }
    line += static_cast<char>(c);
  }
  std::clearerr(file.stream);
  OpenFiles::noteEnd(file);
  return any;
}

template <bool keepNewline>
void builtinFgetLine(Interpreter& interpreter, int nargout, ValueList& results,
                     ValueList& inputs) {
  const char* name = keepNewline ? "fgets" : "fgetl";
  requireInputs(inputs, 1, 1, name);
  requireOutputs(nargout, 1, name);
  OpenFiles::File& file = fileOf(interpreter, inputs[0], name);
  std::string line;
  if (!readLine(file, keepNewline, line, name)) {
    results.push_back(Value(-1.0));
    return;
  }
  results.push_back(text(line));
}

// The bytes from the position to the end of the file (at most its size).
std::string readRest(OpenFiles::File& file, const char* function) {
  const std::int64_t size = OpenFiles::size(file);
  OpenFiles::startRead(file, function);
  const std::int64_t position = ftello(file.stream);
  std::string bytes;
  if (size > position && position >= 0) {
    bytes.resize(static_cast<std::size_t>(size - position));
    bytes.resize(std::fread(&bytes[0], 1, bytes.size(), file.stream));
  }
  std::clearerr(file.stream);
  OpenFiles::noteEnd(file);
  return bytes;
}

// [A, count] = fscanf(fid, format, size): sscanf on the rest of the file.
void builtinFscanf(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 2, 3, "fscanf");
  requireOutputs(nargout, 2, "fscanf");
  OpenFiles::File& file = fileOf(interpreter, inputs[0], "fscanf");
  if (!isText(inputs[1])) raise("Q:invalidInput", "fscanf: the format must be a text.");
  const TargetPtr sscanf = interpreter.dispatcher().findBuiltin("sscanf");
  if (!sscanf) raise("Q:undefined", "sscanf is not available.");
  ValueList arguments;
  arguments.push_back(text(readRest(file, "fscanf")));
  for (std::size_t i = 1; i < inputs.size(); ++i) arguments.push_back(std::move(inputs[i]));
  // What the format did not use is not given back: the file stays at its end.
  file.atEnd = true;
  interpreter.call(*sscanf, std::max(nargout, 1), arguments, results);
}

void builtinFileread(Interpreter&, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, 1, "fileread");
  requireOutputs(nargout, 1, "fileread");
  const std::string name = pathOf(inputs[0], "fileread");
  // Non-blocking, and regular files only: a FIFO or a device could block or never end.
  const int descriptor = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (descriptor < 0) raise("Q:fileOpen", osError("fileread: cannot open '" + name + "'"));
  struct stat info;
  if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(descriptor);
    raise("Q:fileOpen", "fileread: '" + name + "' is not a regular file.");
  }
  std::string bytes;
  try {
    bytes.resize(static_cast<std::size_t>(info.st_size));
  } catch (...) {
    ::close(descriptor);
    throw;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t count = ::read(descriptor, &bytes[done], bytes.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      const std::string message = osError("fileread: cannot read '" + name + "'");
      ::close(descriptor);
      raise("Q:fileRead", message);
    }
    if (count == 0) break;  // the file shrank meanwhile
    done += static_cast<std::size_t>(count);
  }
  ::close(descriptor);
  bytes.resize(done);
  results.push_back(text(bytes));
}

// ---- Position ----

void builtinFeof(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, 1, "feof");
  requireOutputs(nargout, 1, "feof");
  const OpenFiles::File& file = fileOf(interpreter, inputs[0], "feof");
  results.push_back(Value(file.atEnd ? 1.0 : 0.0));
}

void builtinFtell(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, 1, "ftell");
  requireOutputs(nargout, 1, "ftell");
  OpenFiles::File& file = fileOf(interpreter, inputs[0], "ftell");
  results.push_back(Value(static_cast<double>(ftello(file.stream))));
}

// status = fseek(fid, offset, origin): 0, or -1 (position unchanged) when the new position
// would lie before the start or past the end of the file.
void builtinFseek(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 3, 3, "fseek");
  requireOutputs(nargout, 1, "fseek");
  OpenFiles::File& file = fileOf(interpreter, inputs[0], "fseek");
  double offset = 0;
  if (!inputs[1].asRealDouble(offset) || offset != std::floor(offset) || std::isinf(offset)) {
    raise("Q:invalidInput", "fseek: the offset must be a whole number.");
  }
  int origin = 2;  // not known yet
  double code = 0;
  if (inputs[2].isChar()) {
    const std::string name = lower(textOf(inputs[2], "an origin"));
    origin = name == "bof" ? -1 : name == "cof" ? 0 : name == "eof" ? 1 : 2;
  } else if (inputs[2].asRealDouble(code) && (code == -1 || code == 0 || code == 1)) {
    origin = static_cast<int>(code);
  }
  if (origin == 2) {
    raise("Q:invalidInput", "fseek: the origin must be 'bof', 'cof', 'eof', -1, 0 or 1.");
  }
  const std::int64_t size = OpenFiles::size(file);
  const double base = origin == -1 ? 0.0
                      : origin == 0 ? static_cast<double>(ftello(file.stream))
                                    : static_cast<double>(size);
  const double target = base + offset;
  if (size < 0 || target < 0 || target > static_cast<double>(size)) {
    results.push_back(Value(-1.0));
    return;
  }
  if (file.lastWrote) std::fflush(file.stream);
  const bool moved = fseeko(file.stream, static_cast<off_t>(target), SEEK_SET) == 0;
  file.lastRead = file.lastWrote = false;
  if (moved) file.atEnd = false;
  results.push_back(Value(moved ? 0.0 : -1.0));
}

void builtinFrewind(Interpreter& interpreter, int nargout, ValueList&, ValueList& inputs) {
  requireInputs(inputs, 1, 1, "frewind");
  requireOutputs(nargout, 0, "frewind");
  OpenFiles::File& file = fileOf(interpreter, inputs[0], "frewind");
  std::rewind(file.stream);
  file.lastRead = file.lastWrote = file.atEnd = false;
}

// ---- Binary data ----

// How fread and fwrite store an element: its class in the file and its size in bytes.
struct Precision {
  zyClassID source = zyUINT8_CLASS;
  std::size_t bytes = 1;
  zyClassID output = zyDOUBLE_CLASS;  // fread's result class
  bool text = false;                  // 'char': the text in UTF-8 for fwrite
};

bool typeOf(const std::string& name, zyClassID& type, std::size_t& bytes, bool& text) {
  static const struct {
    const char* name;
    zyClassID type;
    std::size_t bytes;
  } kTypes[] = {
      {"uint8", zyUINT8_CLASS, 1},   {"uchar", zyUINT8_CLASS, 1},   {"char", zyCHAR_CLASS, 1},
      {"int8", zyINT8_CLASS, 1},     {"schar", zyINT8_CLASS, 1},    {"uint16", zyUINT16_CLASS, 2},
      {"int16", zyINT16_CLASS, 2},   {"uint32", zyUINT32_CLASS, 4}, {"int32", zyINT32_CLASS, 4},
      {"uint64", zyUINT64_CLASS, 8}, {"int64", zyINT64_CLASS, 8},   {"single", zySINGLE_CLASS, 4},
      {"float32", zySINGLE_CLASS, 4}, {"double", zyDOUBLE_CLASS, 8},
      {"float64", zyDOUBLE_CLASS, 8},
  };
  for (const auto& entry : kTypes) {
    if (name == entry.name) {
      type = entry.type;
      bytes = entry.bytes;
      text = type == zyCHAR_CLASS;
      return true;
    }
  }
  return false;
}

// 'type', '*type' (the result keeps the type) or 'type=>class'.
Precision precisionOf(const Value& value, const char* function) {
  const std::string name = lower(textOf(value, "a precision"));
  std::string source = name, output = "double";
  const std::size_t arrow = name.find("=>");
  if (arrow != std::string::npos) {
    source = name.substr(0, arrow);
    output = name.substr(arrow + 2);
  } else if (!name.empty() && name[0] == '*') {
    source = output = name.substr(1);
  }
  Precision precision;
  std::size_t ignoredBytes = 0;
  bool ignoredText = false;
  if (!typeOf(source, precision.source, precision.bytes, precision.text) ||
      !typeOf(output, precision.output, ignoredBytes, ignoredText)) {
    raise("Q:invalidInput", std::string(function) + ": unsupported precision '" + name + "'.");
  }
  return precision;
}

// An element of class type at data, as a number (a char in the file is an unsigned byte).
long double loadElement(zyClassID type, const unsigned char* data) {
  auto as = [data](auto zero) {
    std::memcpy(&zero, data, sizeof zero);
    return static_cast<long double>(zero);
  };
  switch (type) {
    case zyINT8_CLASS: return as(std::int8_t());
    case zyINT16_CLASS: return as(std::int16_t());
    case zyUINT16_CLASS: return as(std::uint16_t());
    case zyINT32_CLASS: return as(std::int32_t());
    case zyUINT32_CLASS: return as(std::uint32_t());
    case zyINT64_CLASS: return as(std::int64_t());
    case zyUINT64_CLASS: return as(std::uint64_t());
    case zySINGLE_CLASS: return as(float());
    case zyDOUBLE_CLASS: return as(double());
    default: return as(std::uint8_t());
  }
}

// Rounded to the nearest whole number and held within T's range (NaN gives 0).
template <typename T>
T saturate(long double value) {
  if (std::isnan(value)) return 0;
  value = std::round(value);
  if (value <= static_cast<long double>(std::numeric_limits<T>::min())) {
    return std::numeric_limits<T>::min();
  }
  if (value >= static_cast<long double>(std::numeric_limits<T>::max())) {
    return std::numeric_limits<T>::max();
  }
  return static_cast<T>(value);
}

// Stores value as an element of class type (a char: an unsigned byte in a file, a UTF-16 unit
// in an array, as unitBytes says) at data.
void storeElement(zyClassID type, long double value, unsigned char* data, std::size_t unitBytes) {
  auto put = [data](auto element) { std::memcpy(data, &element, sizeof element); };
  switch (type) {
    case zyINT8_CLASS: return put(saturate<std::int8_t>(value));
    case zyINT16_CLASS: return put(saturate<std::int16_t>(value));
    case zyUINT16_CLASS: return put(saturate<std::uint16_t>(value));
    case zyINT32_CLASS: return put(saturate<std::int32_t>(value));
    case zyUINT32_CLASS: return put(saturate<std::uint32_t>(value));
    case zyINT64_CLASS: return put(saturate<std::int64_t>(value));
    case zyUINT64_CLASS: return put(saturate<std::uint64_t>(value));
    case zySINGLE_CLASS: return put(static_cast<float>(value));
    case zyDOUBLE_CLASS: return put(static_cast<double>(value));
    case zyCHAR_CLASS:
      if (unitBytes == 2) return put(saturate<std::uint16_t>(value));
      return put(saturate<std::uint8_t>(value));
    default: return put(saturate<std::uint8_t>(value));
  }
}

// count = fwrite(fid, data, precision): the elements of data in column order.
void builtinFwrite(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 2, 3, "fwrite");
  requireOutputs(nargout, 1, "fwrite");
  OpenFiles::File& file = fileOf(interpreter, inputs[0], "fwrite");
  ArrayPtr holder;
  const zyArray* data = inputs[1].view(holder);
  const zyClassID type = data->classId();
  const bool numeric = type == zyLOGICAL_CLASS || type == zyCHAR_CLASS ||
                       (type >= zyDOUBLE_CLASS && type <= zyUINT64_CLASS);
  if (!numeric || data->isComplex()) {
    raise("Q:invalidInput", "fwrite: the data must be real numbers, logical values or text.");
  }
  Precision precision;
  if (inputs.size() == 3) precision = precisionOf(inputs[2], "fwrite");
  const ArrayPtr full = fullArray(data);
  const std::size_t count = full->numberOfElements();
  std::string bytes;
  if (precision.text && type == zyCHAR_CLASS) {
    bytes = count ? matrix::get_string(full.get()) : std::string();
  } else {
    const std::size_t size = zyGetElementSize(full.get());
    const auto* source = static_cast<const unsigned char*>(zyGetDataConst(full.get()));
    const zyClassID sourceType = type == zyLOGICAL_CLASS ? zyUINT8_CLASS
                                 : type == zyCHAR_CLASS  ? zyUINT16_CLASS
                                                         : type;
    bytes.resize(count * precision.bytes);
    for (std::size_t i = 0; i < count; ++i) {
      storeElement(precision.source, loadElement(sourceType, source + i * size),
                   reinterpret_cast<unsigned char*>(&bytes[i * precision.bytes]), 1);
    }
  }
  OpenFiles::write(file, bytes.data(), bytes.size(), "fwrite");
  results.push_back(Value(static_cast<double>(count)));
}

// [A, count] = fread(fid, size, precision): size n (a column of at most n), Inf (the rest of
// the file) or [m n] (m rows filled column by column, n may be Inf; a last column that is not
// full is padded with zeros).
void builtinFread(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, 3, "fread");
  requireOutputs(nargout, 2, "fread");
  OpenFiles::File& file = fileOf(interpreter, inputs[0], "fread");
  double wanted = INFINITY, rows = 0;
  if (inputs.size() >= 2 && !inputs[1].isEmpty()) {
    ArrayPtr holder;
    const zyArray* size = inputs[1].view(holder);
    const std::size_t n = size->numberOfElements();
    if (size->classId() != zyDOUBLE_CLASS || size->isComplex() || size->isSparse() ||
        (n != 1 && n != 2)) {
      raise("Q:invalidInput", "fread: the size must be n, Inf or [m n].");
    }
    const double* v = static_cast<const double*>(zyGetDataConst(size));
    for (std::size_t i = 0; i < n; ++i) {
      if (!(v[i] >= 0) || (std::isfinite(v[i]) && v[i] != std::floor(v[i]))) {
        raise("Q:invalidInput", "fread: the size must hold nonnegative whole numbers or Inf.");
      }
    }
    if (n == 2) {
      if (!(v[0] >= 1 && v[0] <= kMaxReadRows)) {
        raise("Q:invalidInput", "fread: the number of rows must be a whole number from 1 to 1e6.");
      }
      rows = v[0];
      wanted = v[0] * v[1];
    } else {
      wanted = v[0];
    }
  }
  Precision precision;
  if (inputs.size() == 3) precision = precisionOf(inputs[2], "fread");
  // No more elements than the file holds from here on.
  const std::int64_t size = OpenFiles::size(file);
  OpenFiles::startRead(file, "fread");
  const std::int64_t position = ftello(file.stream);
  const double left = size > position && position >= 0
                          ? std::floor(static_cast<double>(size - position) / precision.bytes)
                          : 0.0;
  const auto count = static_cast<std::size_t>(std::min(wanted, left));
  std::string bytes(count * precision.bytes, '\0');
  const std::size_t got =
      count ? std::fread(&bytes[0], precision.bytes, count, file.stream) : std::size_t(0);
  std::clearerr(file.stream);
  OpenFiles::noteEnd(file);
  if (wanted > static_cast<double>(got)) file.atEnd = true;

  std::size_t m = got, n = got ? 1 : 0;
  if (rows > 0) {
    m = static_cast<std::size_t>(rows);
    n = (got + m - 1) / m;
  } else if (got == 0) {
    m = 0;
  }
  ArrayPtr result = precision.output == zyCHAR_CLASS
                        ? checked(zyCreateCharMatrix(m, n))
                        : checked(zyCreateNumericMatrix(m, n, precision.output, zyREAL));
  auto* out = static_cast<unsigned char*>(zyGetData(result.get()));
  const std::size_t outSize = zyGetElementSize(result.get());
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  for (std::size_t i = 0; i < got; ++i) {
    storeElement(precision.output, loadElement(precision.source, in + i * precision.bytes),
                 out + i * outSize, outSize);
  }
  results.push_back(Value::adopt(std::move(result)));
  if (nargout > 1) results.push_back(Value(static_cast<double>(got)));
}

// ---- Names on disk ----

bool statOf(const std::string& path, struct stat& info) {
  return !path.empty() && stat(path.c_str(), &info) == 0;
}

void builtinIsfile(Interpreter&, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, 1, "isfile");
  requireOutputs(nargout, 1, "isfile");
  struct stat info;
  results.push_back(logical(statOf(pathOf(inputs[0], "isfile"), info) && S_ISREG(info.st_mode)));
}

void builtinIsfolder(Interpreter&, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, 1, "isfolder");
  requireOutputs(nargout, 1, "isfolder");
  struct stat info;
  results.push_back(
      logical(statOf(pathOf(inputs[0], "isfolder"), info) && S_ISDIR(info.st_mode)));
}

std::string currentFolder() {
  char buffer[PATH_MAX];
  if (!getcwd(buffer, sizeof buffer)) raise("Q:invalidInput", osError("pwd"));
  return buffer;
}

void builtinPwd(Interpreter&, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 0, 0, "pwd");
  requireOutputs(nargout, 1, "pwd");
  results.push_back(text(currentFolder()));
}

std::string variableName(const Value& value, const char* function) {
  const std::string name = pathOf(value, function);
  if (name.empty() || name.find('=') != std::string::npos) {
    raise("Q:invalidInput",
          std::string(function) + ": the variable name must be a nonempty text without '='.");
  }
  return name;
}

void builtinGetenv(Interpreter&, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, 1, "getenv");
  requireOutputs(nargout, 1, "getenv");
  const char* value = std::getenv(variableName(inputs[0], "getenv").c_str());
  results.push_back(text(value ? value : ""));
}

void builtinSetenv(Interpreter&, int nargout, ValueList&, ValueList& inputs) {
  requireInputs(inputs, 1, 2, "setenv");
  requireOutputs(nargout, 0, "setenv");
  const std::string name = variableName(inputs[0], "setenv");
  const std::string value = inputs.size() == 2 ? pathOf(inputs[1], "setenv") : std::string();
  if (::setenv(name.c_str(), value.c_str(), 1) != 0) raise("Q:invalidInput", osError("setenv"));
}

std::string temporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  std::string path = folder && *folder ? folder : "/tmp";
  if (path.back() != '/') path += '/';
  return path;
}

void builtinTempdir(Interpreter&, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 0, 0, "tempdir");
  requireOutputs(nargout, 1, "tempdir");
  results.push_back(text(temporaryFolder()));
}

// tempname or tempname(folder): a path that names nothing yet.
void builtinTempname(Interpreter&, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 0, 1, "tempname");
  requireOutputs(nargout, 1, "tempname");
  char buffer[UT_TMPNAM_BUFFER_SIZE];
  if (!utTmpnam(buffer)) raise("Q:invalidInput", osError("tempname"));
  // The fresh name utTmpnam made, in the folder tempdir gives (or the one asked for).
  const std::string path = buffer;
  std::string folder = inputs.empty() ? temporaryFolder() : pathOf(inputs[0], "tempname");
  if (folder.empty()) folder = ".";
  if (folder.back() != '/') folder += '/';
  results.push_back(text(folder + path.substr(path.rfind('/') + 1)));
}

// The outputs [status, message, messageId] of mkdir and rmdir; with none asked for, a failure
// is an error.
void reportStatus(Interpreter& interpreter, int nargout, ValueList& results, bool done,
                  const std::string& message, const std::string& identifier) {
  if (nargout == 0) {
    if (!done) raise(identifier, message);
    if (!message.empty()) issueWarning(interpreter, identifier, message);
    return;
  }
  results.push_back(logical(done));
  if (nargout > 1) results.push_back(text(message));
  if (nargout > 2) results.push_back(text(identifier));
}

// mkdir(folder) or mkdir(parent, folder): makes the folder and any missing folder above it.
void builtinMkdir(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, 2, "mkdir");
  requireOutputs(nargout, 3, "mkdir");
  std::string path = pathOf(inputs[0], "mkdir");
  if (inputs.size() == 2) path += "/" + pathOf(inputs[1], "mkdir");
  if (path.empty()) raise("Q:invalidInput", "mkdir: the folder name is empty.");
  struct stat info;
  if (statOf(path, info) && S_ISDIR(info.st_mode)) {
    reportStatus(interpreter, nargout, results, true, "Directory already exists.",
                 "Q:mkdir:DirectoryExists");
    return;
  }
  // Each folder of the path in turn, from the top.
  for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    const std::string part = path.substr(0, end);
    if (!part.empty() && part.back() != '/' && mkdir(part.c_str(), 0777) != 0 &&
        !(errno == EEXIST && statOf(part, info) && S_ISDIR(info.st_mode))) {
      const std::string message = osError("mkdir: cannot make '" + part + "'");
      reportStatus(interpreter, nargout, results, false, message, "Q:mkdir:OSError");
      return;
    }
    if (end == std::string::npos) break;
  }
  reportStatus(interpreter, nargout, results, true, "", "");
}

bool removeContents(int folder, int depth);

// Removes the entry name of the open folder parent and, for a folder, all it holds. Everything
// is reached relative to an open folder and opened with O_NOFOLLOW, so a folder swapped for a
// link meanwhile is removed as a link, never followed. False with errno set on a failure.
bool removeEntry(int parent, const char* name, int depth) {
  if (unlinkat(parent, name, 0) == 0) return true;
  if (errno != EISDIR && errno != EPERM) return false;
  if (depth >= kMaxRemovalDepth) {
    errno = ELOOP;
    return false;
  }
  const int child = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (child < 0) return false;
  const bool emptied = removeContents(child, depth + 1);
  const int error = errno;
  close(child);
  errno = error;
  return emptied && unlinkat(parent, name, AT_REMOVEDIR) == 0;
}

// Removes everything the open folder holds.
bool removeContents(int folder, int depth) {
  const int listed = dup(folder);
  if (listed < 0) return false;
  DIR* listing = fdopendir(listed);
  if (!listing) {
    close(listed);
    return false;
  }
  std::vector<std::string> names;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
    if (names.size() > kMaxListing) break;
  }
  closedir(listing);
  for (const std::string& name : names) {
    if (!removeEntry(folder, name.c_str(), depth)) return false;
  }
  return true;
}

// Removes the folder path and everything in it, without following symbolic links.
bool removeTree(const std::string& path) {
  const int folder = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return false;
  const bool emptied = removeContents(folder, 1);
  const int error = errno;
  close(folder);
  errno = error;
  return emptied && ::rmdir(path.c_str()) == 0;
}

// rmdir(folder) removes an empty folder; rmdir(folder, 's') the folder and all it holds.
void builtinRmdir(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, 2, "rmdir");
  requireOutputs(nargout, 3, "rmdir");
  const std::string path = pathOf(inputs[0], "rmdir");
  bool tree = false;
  if (inputs.size() == 2) {
    if (lower(textOf(inputs[1], "'s'")) != "s") {
      raise("Q:invalidInput", "rmdir: the second input must be 's'.");
    }
    tree = true;
  }
  struct stat info;
  if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    reportStatus(interpreter, nargout, results, false,
                 "rmdir: '" + path + "' is not a folder.", "Q:rmdir:NotADirectory");
    return;
  }
  const bool done = tree ? removeTree(path) : ::rmdir(path.c_str()) == 0;
  reportStatus(interpreter, nargout, results, done,
               done ? "" : osError("rmdir: cannot remove '" + path + "'"),
               done ? "" : "Q:rmdir:OSError");
}

// delete(name, ...): removes files (names are taken as they are, without wildcards).
void builtinDelete(Interpreter& interpreter, int nargout, ValueList&, ValueList& inputs) {
  requireInputs(inputs, 1, 1000, "delete");
  requireOutputs(nargout, 0, "delete");
  for (const Value& input : inputs) {
    const std::string path = pathOf(input, "delete");
    struct stat info;
    if (path.empty() || lstat(path.c_str(), &info) != 0) {
      issueWarning(interpreter, "Q:delete:FileNotFound", "File '" + path + "' not found.");
      continue;
    }
    if (S_ISDIR(info.st_mode)) {
      raise("Q:invalidInput", "delete: '" + path + "' is a folder; use rmdir.");
    }
    if (unlink(path.c_str()) != 0) {
      raise("Q:delete:OSError", osError("delete: cannot delete '" + path + "'"));
    }
  }
}

// ---- dir ----

struct Entry {
  std::string name;
  std::string folder;
  struct stat info;
};

// The serial day number of a time (days from the year 0, so that 1-Jan-1970 is 719529), in
// local time, and its text dd-Mmm-yyyy HH:MM:SS.
double dayNumber(std::time_t time, std::string& date) {
  std::tm local{};
  if (!localtime_r(&time, &local)) return 0;
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%02d-%s-%04d %02d:%02d:%02d", local.tm_mday,
                kMonths[local.tm_mon], local.tm_year + 1900, local.tm_hour, local.tm_min,
                local.tm_sec);
  date = buffer;
  // Days from 1-Mar-0000 by the proleptic Gregorian calendar (years counted from March).
  const long long month = local.tm_mon + 1;
  const long long year = local.tm_year + 1900 - (month <= 2);
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const long long yearOfEra = year - era * 400;
  const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + local.tm_mday - 1;
  const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  const long long days = era * 146097 + dayOfEra;  // 1-Mar-0000 is 0
  // 1-Mar-0000 is day 61 of the count where 1-Jan-0000 is day 1.
  return static_cast<double>(days + 61) +
         (local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec) / 86400.0;
}

Value listing(const std::vector<Entry>& entries) {
  static const char* kFields[] = {"name", "folder", "date", "bytes", "isdir", "datenum"};
  ArrayPtr result = checked(zyCreateStructMatrix(entries.size(), 1, 6, kFields));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Entry& entry = entries[i];
    const bool folder = S_ISDIR(entry.info.st_mode);
    std::string date;
    const double day = dayNumber(entry.info.st_mtime, date);
    replaceField(result.get(), i, 0, makeString(entry.name).release());
    replaceField(result.get(), i, 1, makeString(entry.folder).release());
    replaceField(result.get(), i, 2, makeString(date).release());
    replaceField(result.get(), i, 3,
                 checked(zyCreateDoubleScalar(folder ? 0.0 : entry.info.st_size)).release());
    replaceField(result.get(), i, 4, makeLogicalScalar(folder).release());
    replaceField(result.get(), i, 5, checked(zyCreateDoubleScalar(day)).release());
  }
  return Value::adopt(std::move(result));
}

// The absolute form of a folder that exists (the name as given when that fails).
std::string absoluteFolder(const std::string& folder) {
  char buffer[PATH_MAX];
  return realpath(folder.c_str(), buffer) ? std::string(buffer) : folder;
}

// The entries of folder whose names match pattern (all of them when it is empty), sorted by
// name.
std::vector<Entry> folderEntries(const std::string& folder, const std::string& pattern) {
  std::vector<Entry> entries;
  DIR* stream = opendir(folder.c_str());
  if (!stream) return entries;
  const std::string absolute = absoluteFolder(folder);
  while (const dirent* found = readdir(stream)) {
    Entry entry;
    entry.name = found->d_name;
    if (!pattern.empty() && (entry.name == "." || entry.name == ".." ||
                             fnmatch(pattern.c_str(), entry.name.c_str(), 0) != 0)) {
      continue;
    }
    const std::string path = folder + "/" + entry.name;
    if (stat(path.c_str(), &entry.info) != 0 && lstat(path.c_str(), &entry.info) != 0) continue;
    entry.folder = absolute;
    entries.push_back(std::move(entry));
    if (entries.size() > kMaxListing) {
      closedir(stream);
      raise("Q:invalidInput", "dir: the folder holds more than 1e6 entries.");
    }
  }
  closedir(stream);
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.name < b.name; });
  return entries;
}

// dir(path): the entries of a folder, the files a pattern with * or ? in its last part
// matches, or the one file named.
void builtinDir(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 0, 1, "dir");
  requireOutputs(nargout, 1, "dir");
  std::string path = inputs.empty() ? "." : pathOf(inputs[0], "dir");
  if (path.empty()) path = ".";
  std::vector<Entry> entries;
  struct stat info;
  const std::size_t slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
  if (statOf(path, info) && S_ISDIR(info.st_mode)) {
    entries = folderEntries(path, "");
  } else if (last.find_first_of("*?") != std::string::npos) {
    entries = folderEntries(folder, last);
  } else if (statOf(path, info)) {
    entries.push_back({last, absoluteFolder(folder), info});
  }
  if (nargout == 0) {
    std::string names;
    for (const Entry& entry : entries) names += entry.name + "\n";
    interpreter.print(names);
    return;
  }
  results.push_back(listing(entries));
}

}  // namespace

bool Interpreter::fileAccess() const { return control_.fileAccess(); }

void addFileBuiltins(std::vector<InterpreterBuiltinEntry>& table) {
  table.insert(table.end(), {
                                {"delete", withFileAccess<builtinDelete, kDelete>},       {"dir", withFileAccess<builtinDir, kDir>},
                                {"fclose", builtinFclose},       {"feof", builtinFeof},
                                {"fgetl", builtinFgetLine<false>},
                                {"fgets", builtinFgetLine<true>},
                                {"fileread", withFileAccess<builtinFileread, kFileread>},   {"fopen", withFileAccess<builtinFopen, kFopen>},
                                {"fread", builtinFread},         {"frewind", builtinFrewind},
                                {"fscanf", builtinFscanf},       {"fseek", builtinFseek},
                                {"ftell", builtinFtell},         {"fwrite", builtinFwrite},
                                {"getenv", builtinGetenv},       {"isfile", builtinIsfile},
                                {"isfolder", builtinIsfolder},   {"mkdir", withFileAccess<builtinMkdir, kMkdir>},
                                {"pwd", builtinPwd},             {"rmdir", withFileAccess<builtinRmdir, kRmdir>},
                                {"setenv", withFileAccess<builtinSetenv, kSetenv>},       {"tempdir", builtinTempdir},
                                {"tempname", builtinTempname},
                            });
}

}  // namespace q
