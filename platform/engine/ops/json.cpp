// jsonencode and jsondecode: values to JSON text and back, with nlohmann-json. JSON text is
// UTF-8; char arrays hold UTF-16, converted with the helpers of support.hpp. Objects keep the
// order of their members (ordered_json).

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>
#include <nlohmann/json.hpp>

#include "engine/ops/support.hpp"

namespace q::ops::detail {
namespace {

using Json = nlohmann::ordered_json;

// Deeper values are refused: both directions recurse once per level.
constexpr int kMaximumDepth = 200;

// ---- jsonencode -----------------------------------------------------------------------------

// A number: whole doubles below 2^53 as integers (so 3 reads "3", not "3.0"); NaN and Inf as
// null.
Json numberJson(double v) {
  if (!std::isfinite(v)) return Json(nullptr);
  if (v == std::floor(v) && std::fabs(v) < 9007199254740992.0) {
    return Json(static_cast<std::int64_t>(v));
  }
  return Json(v);
}

// A single: the double of its shortest decimal form, so that single(0.1) reads "0.1".
Json singleJson(float f) {
  if (!std::isfinite(f) || f == std::floor(f)) return numberJson(f);
  char buffer[32];
  for (int digits = 6; digits < 9; ++digits) {
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, static_cast<double>(f));
    if (std::strtof(buffer, nullptr) == f) return Json(std::strtod(buffer, nullptr));
  }
  return Json(static_cast<double>(f));
}

// The element i of a full numeric or logical array.
Json elementJson(const zyArray* a, const DoubleValues& values, size_t i) {
  switch (a->classId()) {
    case zyLOGICAL_CLASS:
      return Json(constData<zyLogical>(a)[i] != 0);
    case zyINT64_CLASS:
      return Json(constData<std::int64_t>(a)[i]);
    case zyUINT64_CLASS:
      return Json(constData<std::uint64_t>(a)[i]);
    case zySINGLE_CLASS:
      return singleJson(constData<float>(a)[i]);
    default:
      return numberJson(values[i]);
  }
}

// Nested arrays along the dimensions from k on: the first dimension outermost, so a matrix is
// an array of its rows.
Json nestedJson(const zyArray* a, const DoubleValues& values, const Dims& dims, size_t k,
                size_t offset, size_t stride) {
  Json out = Json::array();
  for (size_t i = 0; i < dims[k]; ++i) {
    const size_t at = offset + i * stride;
    out.push_back(k + 1 == dims.size()
                      ? elementJson(a, values, at)
                      : nestedJson(a, values, dims, k + 1, at, stride * dims[k]));
  }
  return out;
}

Json encode(const zyArray* a, int depth) {
  if (depth > kMaximumDepth) {
    raise("Q:invalidInput", "jsonencode: the value is nested more than 200 levels deep.");
  }
  if (a == nullptr || (a->numberOfElements() == 0 && a->classId() != zyCHAR_CLASS)) {
    return Json::array();
  }
  const zyClassID c = a->classId();
  if (c == zyCHAR_CLASS) {
    if (a->numberOfDimensions() != 2) {
      raise("Q:invalidInput", "jsonencode: char arrays must be 2-D.");
    }
    const size_t m = a->dimensions()[0], n = a->dimensions()[1];
    if (m <= 1) return Json(utf8(unitsOf(a)));
    // A char matrix: its rows.
    Json out = Json::array();
    const zyChar* units = constData<zyChar>(a);
    for (size_t i = 0; i < m; ++i) {
      std::u16string row(n, u' ');
      for (size_t j = 0; j < n; ++j) row[j] = units[i + m * j];
      out.push_back(utf8(row));
    }
    return out;
  }
  if (c == zyCELL_CLASS) {
    Json out = Json::array();
    for (size_t i = 0; i < a->numberOfElements(); ++i) {
      out.push_back(encode(zyGetCellConst(a, i), depth + 1));
    }
    return out;
  }
  if (c == zySTRUCT_CLASS) {
    const std::vector<std::string>& names = a->get_struct_field_info();
    // Element k's field f is slot f + fields * k (read by number: a lookup by name is linear).
    const auto* slots = static_cast<const zyArray* const*>(zyGetDataConst(a));
    Json out = Json::array();
    for (size_t k = 0; k < a->numberOfElements(); ++k) {
      Json object = Json::object();
      for (size_t f = 0; f < names.size(); ++f) {
        // Field names differ: append without the ordered map's search for an equal name.
        object.get_ref<Json::object_t&>().Json::object_t::Container::emplace_back(
            names[f], encode(slots[f + names.size() * k], depth + 1));
      }
      if (a->numberOfElements() == 1) return object;
      out.push_back(std::move(object));
    }
    return out;
  }
  if (!isNumericClass(c) && c != zyLOGICAL_CLASS) {
    raise("Q:invalidInput", "jsonencode: values of class " + className(c) + " cannot be encoded.");
  }
  if (isComplex(a)) raise("Q:invalidInput", "jsonencode: complex numbers cannot be encoded.");
  FullArray full(a);
  const DoubleValues values(full.get());
  if (a->numberOfElements() == 1) return elementJson(full.get(), values, 0);
  if (isVector(a)) {
    Json out = Json::array();
    for (size_t i = 0; i < a->numberOfElements(); ++i) {
      out.push_back(elementJson(full.get(), values, i));
    }
    return out;
  }
  return nestedJson(full.get(), values, dimsOf(a), 0, 0, 1);
}

// jsonencode(value[, 'PrettyPrint', tf]).
void jsonencodeBuiltin(Call& call) {
  call.check(1, 3, 1);
  bool pretty = false;
  if (call.nargin == 2) raise("Q:invalidInput", "jsonencode: an option needs a value.");
  if (call.nargin == 3) {
    if (lower(textArgument(call.in(1), "jsonencode")) != "prettyprint") {
      raise("Q:invalidInput", "jsonencode: the only option is 'PrettyPrint'.");
    }
    pretty = scalarArgument(call.in(2), "jsonencode", "'PrettyPrint'") != 0;
  }
  const Json value = encode(call.in(0), 0);
  call.out(0, text(value.dump(pretty ? 2 : -1, ' ', false, Json::error_handler_t::replace)));
}

// ---- jsondecode -----------------------------------------------------------------------------

// Builds the value the parser reads. Members are appended without looking for an equal name,
// so an object of n members costs n steps (the ordered map's own insertion searches the members
// it has); members of one name are all kept. Refuses nesting deeper than kMaximumDepth.
class TreeBuilder : public Json::json_sax_t {
 public:
  explicit TreeBuilder(Json& root) : root_(root) {}
  std::string error;

  bool null() override { return add(Json(nullptr)); }
  bool boolean(bool v) override { return add(Json(v)); }
  bool number_integer(number_integer_t v) override { return add(Json(v)); }
  bool number_unsigned(number_unsigned_t v) override { return add(Json(v)); }
  bool number_float(number_float_t v, const string_t&) override { return add(Json(v)); }
  bool string(string_t& v) override { return add(Json(std::move(v))); }
  bool binary(binary_t&) override { return add(Json(nullptr)); }
  bool start_object(std::size_t) override { return open(Json::object()); }
  bool key(string_t& k) override {
    key_ = std::move(k);
    return true;
  }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override { return open(Json::array()); }
  bool end_array() override { return close(); }
  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception& e) override {
    error = e.what();
    return false;
  }

 private:
  // Adds a value to the open array or object (or makes it the root); where it went.
  Json* place(Json&& v) {
    if (open_.empty()) {
      root_ = std::move(v);
      return &root_;
    }
    Json& container = *open_.back();
    if (container.is_array()) {
      container.push_back(std::move(v));
      return &container.back();
    }
    auto& members = container.get_ref<Json::object_t&>();
    members.Json::object_t::Container::emplace_back(std::move(key_), std::move(v));
    return &members.Container::back().second;
  }
  bool add(Json&& v) {
    place(std::move(v));
    return true;
  }
  // A container stays where it is while it is open: only the innermost one grows.
  bool open(Json&& v) {
    if (open_.size() >= static_cast<size_t>(kMaximumDepth)) {
      error = "the text is nested more than 200 levels deep";
      return false;
    }
    open_.push_back(place(std::move(v)));
    return true;
  }
  bool close() {
    open_.pop_back();
    return true;
  }

  Json& root_;
  std::vector<Json*> open_;
  std::string key_;
};

// A valid field name for a member name: characters other than ASCII letters, digits and '_'
// become '_' (one per character), a name that does not start with a letter gets an 'x' in front,
// and names are cut to 63 characters.
std::string fieldNameFor(const std::string& key) {
  std::string name;
  for (size_t i = 0; i < key.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(key[i]);
    if ((c & 0xC0) == 0x80) continue;  // the rest of a character already replaced
    name += c < 0x80 && std::isalnum(c) ? static_cast<char>(c) : '_';
  }
  if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) name = "x" + name;
  return name.substr(0, 63);
}

// The field names of an object's members, made valid and unique ("_1", "_2", ... added to a
// name already taken).
std::vector<std::string> fieldNamesFor(const Json& object) {
  std::vector<std::string> names;
  std::set<std::string> taken;
  std::map<std::string, size_t> nextSuffix;  // where the search for a free suffix goes on
  for (auto it = object.begin(); it != object.end(); ++it) {
    const std::string base = fieldNameFor(it.key());
    std::string name = base;
    for (size_t& k = nextSuffix[base]; taken.count(name) != 0;) {
      const std::string suffix = "_" + std::to_string(++k);
      name = base.substr(0, 63 - suffix.size()) + suffix;
    }
    taken.insert(name);
    names.push_back(name);
  }
  return names;
}

ArrayPtr decode(const Json& j);

ArrayPtr structOf(const std::vector<const Json*>& objects, const std::vector<std::string>& names) {
  std::vector<const char*> pointers;
  for (const std::string& name : names) pointers.push_back(name.c_str());
  const Dims dims = {1, objects.size()};
  ArrayPtr out = checked(zyCreateStructArray(dims.size(), dims.data(),
                                             static_cast<int>(pointers.size()), pointers.data()));
  for (size_t k = 0; k < objects.size(); ++k) {
    int f = 0;
    for (auto it = objects[k]->begin(); it != objects[k]->end(); ++it, ++f) {
      zyArray* value = decode(it.value()).release();
      if (zySetFieldByNumber(out.get(), k, f, value) != 0) {
        zyDestroyArray(value);
        outOfMemory();
      }
    }
  }
  return out;
}

// Numbers and nulls (at least one number) or booleans only: a row of them.
enum class Kind { Numbers, Booleans, Other };

Kind kindOf(const Json& array) {
  if (!array.is_array() || array.empty()) return Kind::Other;
  bool numbers = true, booleans = true, anyNumber = false;
  for (const Json& e : array) {
    numbers = numbers && (e.is_number() || e.is_null());
    anyNumber = anyNumber || e.is_number();
    booleans = booleans && e.is_boolean();
  }
  if (numbers && anyNumber) return Kind::Numbers;
  return booleans ? Kind::Booleans : Kind::Other;
}

// An m-by-n double or logical array from m rows of n values.
ArrayPtr matrixOf(const std::vector<const Json*>& rows, Kind kind) {
  const size_t m = rows.size(), n = rows[0]->size();
  ArrayPtr out = create(kind == Kind::Booleans ? zyLOGICAL_CLASS : zyDOUBLE_CLASS, {m, n});
  for (size_t i = 0; i < m; ++i) {
    for (size_t j = 0; j < n; ++j) {
      const Json& e = (*rows[i])[j];
      if (kind == Kind::Booleans) {
        dataOf<zyLogical>(out.get())[i + m * j] = e.get<bool>();
      } else {
        dataOf<double>(out.get())[i + m * j] = e.is_null() ? NAN : e.get<double>();
      }
    }
  }
  return out;
}

ArrayPtr decodeArray(const Json& j) {
  if (j.empty()) return emptyDouble();
  const Kind kind = kindOf(j);
  if (kind != Kind::Other) return matrixOf({&j}, kind);
  std::vector<const Json*> elements;
  for (const Json& e : j) elements.push_back(&e);
  // Rows of one kind and length: a matrix.
  const Kind rowKind = kindOf(j[0]);
  bool matrix = rowKind != Kind::Other;
  for (const Json& e : j) {
    matrix = matrix && kindOf(e) == rowKind && e.size() == j[0].size();
  }
  if (matrix) return matrixOf(elements, rowKind);
  // Objects with the same members in the same order: a struct row.
  bool sameObjects = j[0].is_object();
  std::vector<std::string> names;
  if (sameObjects) names = fieldNamesFor(j[0]);
  for (const Json& e : j) {
    if (!sameObjects) break;
    sameObjects = e.is_object() && e.size() == j[0].size() && fieldNamesFor(e) == names;
  }
  if (sameObjects) return structOf(elements, names);
  const Dims dims = {1, j.size()};
  ArrayPtr out = checked(zyCreateCellArray(dims.size(), dims.data()));
  for (size_t i = 0; i < j.size(); ++i) {
    zyArray* element = decode(j[i]).release();
    if (zySetCell(out.get(), i, element) != 0) {
      zyDestroyArray(element);
      outOfMemory();
    }
  }
  return out;
}

ArrayPtr decode(const Json& j) {
  switch (j.type()) {
    case Json::value_t::null:
      return emptyDouble();
    case Json::value_t::boolean:
      return logicalScalar(j.get<bool>());
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float:
      return scalar(j.get<double>());
    case Json::value_t::string:
      return text(j.get<std::string>());
    case Json::value_t::object:
      return structOf({&j}, fieldNamesFor(j));
    case Json::value_t::array:
      return decodeArray(j);
    default:
      raise("Q:jsonDecode", "jsondecode: the text holds a value JSON does not define.");
  }
}

void jsondecodeBuiltin(Call& call) {
  call.check(1, 1, 1);
  const std::string json = textArgument(call.in(0), "jsondecode");
  Json value;
  TreeBuilder builder(value);
  if (!Json::sax_parse(json, &builder)) {
    raise("Q:jsonDecode", "jsondecode: the text is not valid JSON: " + builder.error);
  }
  call.out(0, decode(value));
}

}  // namespace

void addJsonBuiltins(std::vector<BuiltinEntry>& table) {
  table.push_back({"jsondecode", builtin<jsondecodeBuiltin>});
  table.push_back({"jsonencode", builtin<jsonencodeBuiltin>});
}

}  // namespace q::ops::detail
