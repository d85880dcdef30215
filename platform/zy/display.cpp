// The display form of arrays and the process-wide print function (docs/arrays.md describes the
// form with examples; display_test.cpp pins it).

#include "zy/display.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "zy/core.hpp"
#include "zy/payload.hpp"
#include "zy/text.hpp"

namespace zy::detail {
namespace {

constexpr size_t kLineWidth = 80;
const char* const kGap = "   ";  // before every column of numbers
const char* const kCellGap = "    ";

std::string sizeText(const zyArray* array) {
  std::string text;
  for (size_t i = 0; i < array->numberOfDimensions(); ++i) {
    if (i) text += 'x';
    text += std::to_string(array->dimensions()[i]);
  }
  return text;
}

std::string padLeft(const std::string& text, size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string padRight(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

// ---- Numbers ----------------------------------------------------------------------------------

// How the numbers of one display are written: whole numbers, fixed decimals (under a common
// power-of-ten scale when exponent is not 0), or each with its own exponent (scalars only).
struct Style {
  enum Kind { Whole, Fixed, Exponent } kind = Whole;
  int decimals = 4;
  int exponent = 0;
};

int decimalsFor(zyClassID classId, DisplayFormat format) {
  if (format == DisplayFormat::Short) return 4;
  return classId == zySINGLE_CLASS ? 7 : 15;
}

Style chooseStyle(const std::vector<double>& values, bool scalar, int decimals) {
  double largest = 0;
  bool whole = true;
  for (double value : values) {
    if (!std::isfinite(value)) continue;
    largest = std::max(largest, std::fabs(value));
    whole = whole && value == std::floor(value);
  }
  Style style;
  style.decimals = decimals;
  if (whole && largest < 1e10) return style;
  style.kind = Style::Fixed;
  if (largest >= 1e5 || largest < 1e-3) {
    if (scalar) {
      style.kind = Style::Exponent;
    } else {
      int exponent = static_cast<int>(std::floor(std::log10(largest)));
      if (largest / std::pow(10.0, exponent) >= 10) ++exponent;
      if (largest / std::pow(10.0, exponent) < 1) --exponent;
      style.exponent = exponent;
    }
  }
  return style;
}

// "-0.0000" says nothing a reader needs: a value that shows as zero shows without a sign.
std::string withoutNegativeZero(std::string text) {
  if (!text.empty() && text[0] == '-' && text.find_first_not_of("0.", 1) == std::string::npos) {
    text.erase(0, 1);
  }
  return text;
}

std::string numberText(double value, const Style& style) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Inf" : "Inf";
  char buffer[64];
  switch (style.kind) {
    case Style::Whole:
      std::snprintf(buffer, sizeof buffer, "%.0f", value + 0.0);
      break;
    case Style::Fixed:
      std::snprintf(buffer, sizeof buffer, "%.*f", style.decimals,
                    style.exponent ? value / std::pow(10.0, style.exponent) : value);
      break;
    case Style::Exponent:
      std::snprintf(buffer, sizeof buffer, "%.*e", style.decimals, value);
      break;
  }
  return withoutNegativeZero(buffer);
}

std::string scaleLine(const Style& style) {
  if (style.kind != Style::Fixed || style.exponent == 0) return std::string();
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "  1.0e%+03d *\n\n", style.exponent);
  return buffer;
}

bool isFloating(zyClassID classId) {
  return classId == zyDOUBLE_CLASS || classId == zySINGLE_CLASS;
}

double floatingAt(const void* block, zyClassID classId, size_t index) {
  return classId == zySINGLE_CLASS ? static_cast<const float*>(block)[index]
                                   : static_cast<const double*>(block)[index];
}

// Sign and digits of an integer element (logical elements are 0 or 1).
void integerAt(const void* block, zyClassID classId, size_t index, bool& negative,
               std::string& digits) {
  int64_t signedValue = 0;
  uint64_t unsignedValue = 0;
  bool isSigned = true;
  switch (classId) {
    case zyINT8_CLASS:
      signedValue = static_cast<const int8_t*>(block)[index];
      break;
    case zyINT16_CLASS:
      signedValue = static_cast<const int16_t*>(block)[index];
      break;
    case zyINT32_CLASS:
      signedValue = static_cast<const int32_t*>(block)[index];
      break;
    case zyINT64_CLASS:
      signedValue = static_cast<const int64_t*>(block)[index];
      break;
    case zyUINT8_CLASS:
      unsignedValue = static_cast<const uint8_t*>(block)[index];
      isSigned = false;
      break;
    case zyUINT16_CLASS:
      unsignedValue = static_cast<const uint16_t*>(block)[index];
      isSigned = false;
      break;
    case zyUINT32_CLASS:
      unsignedValue = static_cast<const uint32_t*>(block)[index];
      isSigned = false;
      break;
    case zyUINT64_CLASS:
      unsignedValue = static_cast<const uint64_t*>(block)[index];
      isSigned = false;
      break;
    default:
      unsignedValue = static_cast<const uint8_t*>(block)[index] != 0;
      isSigned = false;
      break;
  }
  negative = isSigned && signedValue < 0;
  if (isSigned) {
    unsignedValue =
        negative ? 0 - static_cast<uint64_t>(signedValue) : static_cast<uint64_t>(signedValue);
  }
  digits = std::to_string(unsignedValue);
}

// The texts of count elements from start of the real (and imaginary) blocks, with the scale
// line they need (if any) in header.
std::vector<std::string> numberTexts(zyClassID classId, const void* real, const void* imag,
                                     size_t start, size_t count, bool scalar, DisplayFormat format,
                                     std::string& header) {
  std::vector<std::string> texts(count);
  if (isFloating(classId)) {
    std::vector<double> values;
    values.reserve(imag ? 2 * count : count);
    for (size_t i = 0; i < count; ++i) values.push_back(floatingAt(real, classId, start + i));
    for (size_t i = 0; imag && i < count; ++i) {
      values.push_back(floatingAt(imag, classId, start + i));
    }
    const Style style = chooseStyle(values, scalar, decimalsFor(classId, format));
    header = scaleLine(style);
    for (size_t i = 0; i < count; ++i) {
      texts[i] = numberText(values[i], style);
      if (!imag) continue;
      const double part = values[count + i];
      const bool negative = std::signbit(part) && !std::isnan(part);
      texts[i] += (negative ? " - " : " + ") + numberText(std::fabs(part), style) + "i";
    }
    return texts;
  }
  header.clear();
  for (size_t i = 0; i < count; ++i) {
    bool negative = false;
    std::string digits;
    integerAt(real, classId, start + i, negative, digits);
    texts[i] = negative ? "-" + digits : digits;
    if (!imag) continue;
    integerAt(imag, classId, start + i, negative, digits);
    texts[i] += (negative ? " - " : " + ") + digits + "i";
  }
  return texts;
}

// Rows of right-aligned numbers in a common width, split into column groups that fit a line.
std::string numberGrid(const std::vector<std::string>& texts, size_t rows, size_t columns) {
  size_t width = 0;
  for (const std::string& text : texts) width = std::max(width, text.size());
  const size_t perLine = std::max<size_t>(1, kLineWidth / (width + 3));
  std::string out;
  for (size_t first = 0; first < columns; first += perLine) {
    const size_t last = std::min(columns, first + perLine);
    if (columns > perLine) {
      if (first) out += '\n';
      out += last - first == 1
                 ? "  Column " + std::to_string(first + 1)
                 : "  Columns " + std::to_string(first + 1) + " through " + std::to_string(last);
      out += "\n\n";
    }
    for (size_t row = 0; row < rows; ++row) {
      for (size_t column = first; column < last; ++column) {
        out += kGap;
        out += padLeft(texts[row + rows * column], width);
      }
      out += '\n';
    }
  }
  return out;
}

// ---- Element summaries (cells and struct fields) ----------------------------------------------

std::string classWords(const zyArray* array) {
  std::string words;
  if (array->isSparse()) words += "sparse ";
  if (zyIsComplex(array)) words += "complex ";
  return words + zyGetClassName(array);
}

bool isPlainScalar(const zyArray* array) {
  return (isNumericClass(array->classId()) || array->classId() == zyLOGICAL_CLASS) &&
         !array->isSparse() && array->numberOfElements() == 1;
}

std::string scalarText(const zyArray* array, DisplayFormat format) {
  std::string header;
  return numberTexts(array->classId(), array->realData(), array->imagData(), 0, 1, true, format,
                     header)[0];
}

// Text the payload's type gives for display, or empty.
std::string describedPayload(const zyArray* array) {
  const Storage& storage = Core::storage(array);
  if (storage.kind != StorageKind::Payload || !storage.payload() ||
      !storage.payloadType()->describe) {
    return std::string();
  }
  char* text = storage.payloadType()->describe(storage.payload());
  if (text == nullptr) return std::string();
  std::string result(text);
  zyFree(text);
  return result;
}

std::string payloadName(const zyArray* array) {
  const char* className = zyGetObjectClassName(array);
  return array->classId() == zyOBJECT_CLASS && className && *className ? className
                                                                       : zyGetClassName(array);
}

// One element inside a cell or a struct: its value when that is short, else its size and class.
std::string summary(const zyArray* element, DisplayFormat format) {
  if (element == nullptr) return "[]";
  const zyClassID classId = element->classId();
  const size_t* dims = element->dimensions();
  const bool zeroByZero = element->numberOfDimensions() == 2 && dims[0] == 0 && dims[1] == 0;
  if (element->numberOfElements() == 0 && zeroByZero && !element->isSparse()) {
    if (classId == zyDOUBLE_CLASS && !element->isComplex()) return "[]";
    if (classId == zyCELL_CLASS) return "{}";
    if (classId == zyCHAR_CLASS) return "''";
  }
  if (classId == zyCHAR_CLASS && element->numberOfDimensions() == 2 && dims[0] == 1) {
    return "'" + utf16ToUtf8(element->elements<zyChar>(), element->numberOfElements()) + "'";
  }
  if (isPlainScalar(element)) return "[" + scalarText(element, format) + "]";
  if (isPayloadClass(classId)) {
    const std::string described = describedPayload(element);
    if (!described.empty()) return described;
    return "[" + sizeText(element) + " " + payloadName(element) + "]";
  }
  if (classId == zyCELL_CLASS) return "{" + sizeText(element) + " cell}";
  return "[" + sizeText(element) + " " + classWords(element) + "]";
}

std::string fieldValue(const zyArray* value, DisplayFormat format) {
  return value && isPlainScalar(value) ? scalarText(value, format) : summary(value, format);
}

// ---- Forms by kind -----------------------------------------------------------------------------

std::string emptyForm(const zyArray* array) {
  if (array->classId() == zySTRUCT_CLASS) return std::string();  // structs list their fields
  return "  " + sizeText(array) + " empty " + classWords(array) + " array\n";
}

std::string charPage(const zyArray* array, size_t start, size_t rows, size_t columns) {
  const zyChar* chars = array->elements<zyChar>();
  std::string out;
  std::u16string row;
  for (size_t r = 0; r < rows; ++r) {
    row.clear();
    for (size_t c = 0; c < columns; ++c) row += chars[start + r + rows * c];
    if (r) out += '\n';
    out += utf16ToUtf8(row.data(), row.size());
  }
  return out;
}

std::string cellPage(const zyArray* array, size_t start, size_t rows, size_t columns,
                     DisplayFormat format) {
  const auto* slots = static_cast<zyArray* const*>(array->realData());
  std::vector<std::string> texts(rows * columns);
  std::vector<size_t> widths(columns, 0);
  for (size_t c = 0; c < columns; ++c) {
    for (size_t r = 0; r < rows; ++r) {
      std::string& text = texts[r + rows * c];
      text = "{" + summary(slots[start + r + rows * c], format) + "}";
      widths[c] = std::max(widths[c], text.size());
    }
  }
  std::string out;
  for (size_t r = 0; r < rows; ++r) {
    std::string line;
    for (size_t c = 0; c < columns; ++c) {
      line += kCellGap;
      line += c + 1 < columns ? padRight(texts[r + rows * c], widths[c]) : texts[r + rows * c];
    }
    out += line + '\n';
  }
  return out;
}

std::string numericPage(const zyArray* array, size_t start, size_t rows, size_t columns,
                        DisplayFormat format) {
  std::string header;
  const std::vector<std::string> texts =
      numberTexts(array->classId(), array->realData(), array->imagData(), start, rows * columns,
                  rows * columns == 1, format, header);
  return header + numberGrid(texts, rows, columns);
}

std::string structForm(const zyArray* array, DisplayFormat format) {
  const std::vector<std::string>& fields = array->get_struct_field_info();
  if (array->numberOfElements() != 1) {
    std::string out = "  " + sizeText(array) + (array->numberOfElements() ? "" : " empty") +
                      " struct array with ";
    if (fields.empty()) return out + "no fields.\n";
    out += "fields:\n\n";
    for (const std::string& field : fields) out += "    " + field + "\n";
    return out;
  }
  if (fields.empty()) return "  1x1 struct array with no fields.\n";
  size_t width = 0;
  for (const std::string& field : fields) width = std::max(width, field.size());
  const auto* slots = static_cast<zyArray* const*>(array->realData());
  std::string out;
  for (size_t f = 0; f < fields.size(); ++f) {
    out += "    " + padLeft(fields[f], width) + ": " + fieldValue(slots[f], format) + "\n";
  }
  return out;
}

std::string sparseForm(const zyArray* array, DisplayFormat format) {
  const size_t columns = array->dimensions()[1];
  const size_t stored = array->jc()[columns];
  if (stored == 0) return "  All zero sparse: " + sizeText(array) + "\n";
  std::vector<std::string> indices;
  indices.reserve(stored);
  for (size_t column = 0; column < columns; ++column) {
    for (size_t k = array->jc()[column]; k < array->jc()[column + 1]; ++k) {
      indices.push_back("(" + std::to_string(array->ir()[k] + 1) + "," +
                        std::to_string(column + 1) + ")");
    }
  }
  std::string header;
  const zyClassID classId = array->classId();
  const std::vector<std::string> values =
      numberTexts(classId, array->realData(), array->imagData(), 0, stored, false, format, header);
  size_t indexWidth = 0, valueWidth = 0;
  for (const std::string& text : indices) indexWidth = std::max(indexWidth, text.size());
  for (const std::string& text : values) valueWidth = std::max(valueWidth, text.size());
  std::string out = header;
  for (size_t k = 0; k < stored; ++k) {
    out += kGap + padLeft(indices[k], indexWidth) + kGap + padLeft(values[k], valueWidth) + "\n";
  }
  return out;
}

std::string payloadForm(const zyArray* array) {
  const std::string described = describedPayload(array);
  if (!described.empty()) return "    " + described + "\n";
  return "  " + sizeText(array) + " " + payloadName(array) + "\n";
}

// The form of one page: a 2-D array, or one rows-by-columns page of an N-d array.
std::string pageForm(const zyArray* array, size_t start, size_t rows, size_t columns,
                     DisplayFormat format) {
  switch (array->classId()) {
    case zyCHAR_CLASS:
      return charPage(array, start, rows, columns);
    case zyCELL_CLASS:
      return cellPage(array, start, rows, columns, format);
    default:
      return numericPage(array, start, rows, columns, format);
  }
}

std::string form(const zyArray* array, DisplayFormat format) {
  const zyClassID classId = array->classId();
  if (classId == zySTRUCT_CLASS) return structForm(array, format);
  if (array->numberOfElements() == 0) return emptyForm(array);
  if (array->isSparse()) return sparseForm(array, format);
  if (isPayloadClass(classId)) return payloadForm(array);
  if (!isFullDataClass(classId) && classId != zyCELL_CLASS) {
    return "  " + sizeText(array) + " " + zyGetClassName(array) + "\n";
  }
  return pageForm(array, 0, array->dimensions()[0], array->dimensions()[1], format);
}

bool isPaged(const zyArray* array) {
  const zyClassID classId = array->classId();
  return array->numberOfDimensions() > 2 && array->numberOfElements() > 0 && !array->isSparse() &&
         (isFullDataClass(classId) || classId == zyCELL_CLASS);
}

// An N-d array as its pages, each headed "name(:,:,k) =".
std::string pagedForm(const char* name, const zyArray* array, DisplayFormat format) {
  const size_t* dims = array->dimensions();
  const size_t pageSize = dims[0] * dims[1];
  const size_t pages = array->numberOfElements() / pageSize;
  std::string out;
  for (size_t page = 0; page < pages; ++page) {
    std::string subscripts = "(:,:";
    size_t rest = page;
    for (size_t d = 2; d < array->numberOfDimensions(); ++d) {
      subscripts += "," + std::to_string(rest % dims[d] + 1);
      rest /= dims[d];
    }
    std::string body = pageForm(array, page * pageSize, dims[0], dims[1], format);
    if (body.empty() || body.back() != '\n') body += '\n';
    out += (name ? name : "") + subscripts + ") =\n\n" + body + "\n";
  }
  return out;
}

// ---- The print function ------------------------------------------------------------------------

void printToStandardOutput(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

std::atomic<ioPrintFunction> printFunction{printToStandardOutput};

}  // namespace
}  // namespace zy::detail

std::string zyFormatArray(const char* name, const zyArray* array, zy::DisplayFormat format) {
  using namespace zy::detail;
  zy::detail::ArrayOwner placeholder = own(nullptr);
  if (array == nullptr) {
    placeholder.reset(zyCreateDoubleMatrix(0, 0, zyREAL));
    if (placeholder == nullptr) throw std::bad_alloc();
    array = placeholder.get();
  }
  if (isPaged(array)) return pagedForm(name, array, format);
  std::string body = form(array, format);
  if (name == nullptr) return body;
  if (body.empty() || body.back() != '\n') body += '\n';
  return std::string(name) + " =\n\n" + body + "\n";
}

extern "C" {

ioPrintFunction ioSetPrintFunction(ioPrintFunction function) {
  return zy::detail::printFunction.exchange(function ? function
                                                     : zy::detail::printToStandardOutput);
}

void ioPrintText(const char* text) {
  if (text) zy::detail::printFunction.load()(text);
}

void ioPrintArray(const char* name, const zyArray* array) {
  std::string text;
  try {
    text = zyFormatArray(name, array);
  } catch (...) {
    return;  // out of memory: nothing can be shown
  }
  ioPrintText(text.c_str());
}

}  // extern "C"
