// The versioned binary form of arrays (docs/array-serialization.md). Writing measures first and
// then fills the result array's bytes in place; reading checks every count against the bytes
// that remain before it allocates anything, since the bytes may come from anywhere.

#include <cstring>
#include <string>
#include <vector>

#include "zy/core.hpp"
#include "zy/payload.hpp"
#include "zy/sparse_elements.hpp"

namespace zy::detail {
namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ && sizeof(size_t) == 8,
              "the serialized form is little-endian with 64-bit counts, written with plain copies");

constexpr char kMagic[4] = {'Z', 'Y', 'A', 'R'};
constexpr uint8_t kVersion = 1;
constexpr uint8_t kComplex = 1;
constexpr uint8_t kSparse = 2;
constexpr uint8_t kHasPayload = 4;
// Class, attributes, dimension count and two dimensions: the smallest record there is.
constexpr size_t kMinimumRecordSize = 1 + 1 + 4 + 2 * 8;

class Writer {
 public:
  Writer(bool canonical, uint8_t* out) : canonical_(canonical), out_(out) {}

  // Measures (out_ null) or writes the record of array; false when it cannot be written.
  bool record(const zyArray* array, int depth) {
    if (depth > kMaxNestingDepth) return false;
    if (array == nullptr) return emptyDouble();
    const Storage& storage = Core::storage(array);
    uint8_t attributes = 0;
    if (array->isComplex()) attributes |= kComplex;
    if (array->isSparse()) attributes |= kSparse;
    if (storage.kind == StorageKind::Payload && storage.payload()) attributes |= kHasPayload;
    u8(static_cast<uint8_t>(array->classId()));
    u8(attributes);
    u32(static_cast<uint32_t>(array->numberOfDimensions()));
    bytes(array->dimensions(), array->numberOfDimensions() * sizeof(size_t));
    const size_t count = array->numberOfElements();
    const size_t size = elementSize(array->classId());
    switch (storage.kind) {
      case StorageKind::None:
        return true;
      case StorageKind::Full:
        bytes(storage.real, count * size);
        if (storage.imag) bytes(storage.imag, count * size);
        return true;
      case StorageKind::Sparse:
        return sparse(array, size);
      case StorageKind::Arrays: {
        if (array->classId() == zySTRUCT_CLASS) {
          u32(static_cast<uint32_t>(storage.fieldNames().size()));
          for (const std::string& name : storage.fieldNames()) text32(name);
        }
        const auto* slots = static_cast<zyArray* const*>(storage.real);
        const size_t slotCount = Core::slotCount(array);
        for (size_t i = 0; i < slotCount; ++i) {
          if (!record(slots[i], depth + 1)) return false;
        }
        return true;
      }
      case StorageKind::Payload:
        return payload(array);
    }
    return false;
  }

  void streamHeader() {
    bytes(kMagic, sizeof kMagic);
    u8(kVersion);
    u8(canonical_ ? zySERIALIZE_CANONICAL : 0);
    u8(0);
    u8(0);
  }

  size_t size() const { return size_; }

 private:
  bool emptyDouble() {
    const size_t dims[2] = {0, 0};
    u8(zyDOUBLE_CLASS);
    u8(0);
    u32(2);
    bytes(dims, sizeof dims);
    return true;
  }

  bool sparse(const zyArray* array, size_t size) {
    const size_t columns = array->dimensions()[1];
    if (!canonical_) {
      const size_t stored = array->jc()[columns];
      u64(stored);
      bytes(array->jc(), (columns + 1) * sizeof(size_t));
      bytes(array->ir(), stored * sizeof(size_t));
      bytes(array->realData(), stored * size);
      if (array->imagData()) bytes(array->imagData(), stored * size);
      return true;
    }
    // Canonical: only the non-zero elements, so column starts are counted afresh.
    size_t nonzeros = 0;
    std::vector<size_t> starts(columns + 1, 0);
    for (size_t column = 0; column < columns; ++column) {
      SparseColumnReader reader(array, column);
      while (reader.nextNonzero()) ++nonzeros;
      starts[column + 1] = nonzeros;
    }
    u64(nonzeros);
    bytes(starts.data(), starts.size() * sizeof(size_t));
    for (int part = 0; part < 3; ++part) {
      if (part == 2 && !array->imagData()) break;
      for (size_t column = 0; column < columns; ++column) {
        SparseColumnReader reader(array, column);
        while (reader.nextNonzero()) {
          if (part == 0) {
            const size_t row = reader.row();
            bytes(&row, sizeof row);
          } else {
            bytes(part == 1 ? reader.real() : reader.imag(), size);
          }
        }
      }
    }
    return true;
  }

  bool payload(const zyArray* array) {
    const Storage& storage = Core::storage(array);
    text32(storage.objectClassName());
    if (!storage.payload()) return true;
    // The type may produce its bytes only once per pass; keep them for the writing pass.
    std::string typeName, payloadBytes;
    if (!zy::detail::payloadBytes(array, typeName, payloadBytes)) return false;
    text32(typeName);
    u64(payloadBytes.size());
    bytes(payloadBytes.data(), payloadBytes.size());
    return true;
  }

  void bytes(const void* data, size_t length) {
    if (out_ && length) std::memcpy(out_ + size_, data, length);
    size_ += length;
  }
  void u8(uint8_t value) { bytes(&value, 1); }
  void u32(uint32_t value) { bytes(&value, 4); }
  void u64(uint64_t value) { bytes(&value, 8); }
  void text32(const std::string& text) {
    u32(static_cast<uint32_t>(text.size()));
    bytes(text.data(), text.size());
  }

  bool canonical_;
  uint8_t* out_;
  size_t size_ = 0;
};

zyArray* serialize(const zyArray* array, int flags) {
  const bool canonical = (flags & zySERIALIZE_CANONICAL) != 0;
  Writer measure(canonical, nullptr);
  measure.streamHeader();
  if (!measure.record(array, 0)) return nullptr;
  ArrayOwner result = own(zyCreateNumericMatrix(1, measure.size(), zyUINT8_CLASS, zyREAL));
  if (result == nullptr) return nullptr;
  Writer write(canonical, static_cast<uint8_t*>(Core::storage(result.get()).real));
  write.streamHeader();
  // A payload whose bytes changed between the passes cannot be written sensibly.
  if (!write.record(array, 0) || write.size() != measure.size()) return nullptr;
  return result.release();
}

class Reader {
 public:
  Reader(const uint8_t* data, size_t length) : data_(data), remaining_(length) {}

  bool streamHeader() {
    char magic[4];
    uint8_t version = 0, flags = 0, reserved[2];
    return bytes(magic, 4) && std::memcmp(magic, kMagic, 4) == 0 && u8(version) &&
           version == kVersion && u8(flags) && (flags & ~zySERIALIZE_CANONICAL) == 0 &&
           bytes(reserved, 2) && reserved[0] == 0 && reserved[1] == 0;
  }

  bool atEnd() const { return remaining_ == 0; }

  // The next record as a new array, or null when it is malformed.
  zyArray* record(int depth) {
    if (depth > kMaxNestingDepth) return nullptr;
    uint8_t classByte = 0, attributes = 0;
    uint32_t ndims = 0;
    if (!u8(classByte) || !u8(attributes) || !u32(ndims)) return nullptr;
    const auto classId = static_cast<zyClassID>(classByte);
    if (classByte > zyOBJECT_CLASS || ndims < 2 || ndims > remaining_ / sizeof(uint64_t)) {
      return nullptr;
    }
    std::vector<size_t> dims(ndims);
    if (!bytes(dims.data(), ndims * sizeof(size_t))) return nullptr;
    size_t count = 1;
    for (size_t dim : dims) {
      if (!multiply(count, dim, count)) return nullptr;
    }
    const bool complex = attributes & kComplex;
    const bool sparse = attributes & kSparse;
    if ((attributes & ~(kComplex | kSparse | kHasPayload)) != 0) return nullptr;
    if (complex && !isNumericClass(classId)) return nullptr;
    if ((attributes & kHasPayload) && !isPayloadClass(classId)) return nullptr;
    if (sparse) {
      if ((classId != zyDOUBLE_CLASS && classId != zyLOGICAL_CLASS) || ndims != 2) {
        return nullptr;
      }
      return sparseRecord(classId, dims[0], dims[1], complex);
    }
    if (isFullDataClass(classId)) return full(classId, dims, count, complex);
    if (classId == zyCELL_CLASS) return cell(dims, count, depth);
    if (classId == zySTRUCT_CLASS) return structure(dims, count, depth);
    if (isPayloadClass(classId)) return payload(classId, dims, attributes & kHasPayload);
    return zyCreateNumericArray(ndims, dims.data(), classId, zyREAL);
  }

 private:
  zyArray* full(zyClassID classId, const std::vector<size_t>& dims, size_t count, bool complex) {
    const size_t size = elementSize(classId);
    size_t bytesNeeded = 0;
    if (!multiply(count, size * (complex ? 2 : 1), bytesNeeded) || bytesNeeded > remaining_) {
      return nullptr;
    }
    zyArray* array =
        zyCreateNumericArray(dims.size(), dims.data(), classId, complex ? zyCOMPLEX : zyREAL);
    if (array == nullptr) return nullptr;
    bytes(Core::storage(array).real, count * size);
    if (complex) bytes(Core::storage(array).imag, count * size);
    return array;
  }

  zyArray* sparseRecord(zyClassID classId, size_t rows, size_t columns, bool complex) {
    const size_t size = elementSize(classId);
    uint64_t stored = 0;
    size_t columnStarts = 0, perElement = sizeof(size_t) + size * (complex ? 2 : 1);
    size_t startBytes = 0, elementBytes = 0;
    if (!u64(stored) || __builtin_add_overflow(columns, 1, &columnStarts) ||
        !multiply(columnStarts, sizeof(size_t), startBytes) ||
        !multiply(stored, perElement, elementBytes) || startBytes > remaining_ ||
        elementBytes > remaining_ - startBytes) {
      return nullptr;
    }
    ArrayOwner array =
        own(classId == zyLOGICAL_CLASS
                ? zyCreateSparseLogicalMatrix(rows, columns, stored)
                : zyCreateSparse(rows, columns, stored, complex ? zyCOMPLEX : zyREAL));
    if (array == nullptr) return nullptr;
    Storage& storage = Core::storage(array.get());
    bytes(storage.jc, startBytes);
    bytes(storage.ir, stored * sizeof(size_t));
    bytes(storage.real, stored * size);
    if (complex) bytes(storage.imag, stored * size);
    // The column starts must rise from 0 to the stored count, and the rows of each column must
    // rise and lie inside the array.
    bool valid = storage.jc[0] == 0 && storage.jc[columns] == stored;
    for (size_t column = 0; valid && column < columns; ++column) {
      const size_t begin = storage.jc[column], end = storage.jc[column + 1];
      valid = begin <= end && end <= stored;
      for (size_t k = begin; valid && k < end; ++k) {
        valid = storage.ir[k] < rows && (k == begin || storage.ir[k - 1] < storage.ir[k]);
      }
    }
    return valid ? array.release() : nullptr;
  }

  zyArray* cell(const std::vector<size_t>& dims, size_t count, int depth) {
    if (count > remaining_ / kMinimumRecordSize) return nullptr;
    ArrayOwner array = own(zyCreateCellArray(dims.size(), dims.data()));
    if (array == nullptr) return nullptr;
    return fillSlots(std::move(array), count, depth);
  }

  zyArray* structure(const std::vector<size_t>& dims, size_t count, int depth) {
    uint32_t fieldCount = 0;
    if (!u32(fieldCount) || fieldCount > remaining_ / sizeof(uint32_t)) return nullptr;
    std::vector<std::string> names(fieldCount);
    std::vector<const char*> pointers(fieldCount);
    for (uint32_t i = 0; i < fieldCount; ++i) {
      if (!text32(names[i])) return nullptr;
      pointers[i] = names[i].c_str();
      // An embedded zero would make the name differ from what the create function sees.
      if (names[i].size() != std::strlen(pointers[i])) return nullptr;
    }
    size_t slotCount = 0;
    if (!multiply(count, fieldCount, slotCount) || slotCount > remaining_ / kMinimumRecordSize) {
      return nullptr;
    }
    ArrayOwner array = own(zyCreateStructArray(dims.size(), dims.data(),
                                               static_cast<int>(fieldCount), pointers.data()));
    if (array == nullptr) return nullptr;
    return fillSlots(std::move(array), slotCount, depth);
  }

  zyArray* fillSlots(ArrayOwner container, size_t slotCount, int depth) {
    auto** slots = static_cast<zyArray**>(Core::storage(container.get()).real);
    for (size_t i = 0; i < slotCount; ++i) {
      slots[i] = record(depth + 1);
      if (slots[i] == nullptr) return nullptr;
    }
    return container.release();
  }

  zyArray* payload(zyClassID classId, const std::vector<size_t>& dims, bool hasPayload) {
    std::string className;
    if (!text32(className)) return nullptr;
    if (!hasPayload) {
      if (!className.empty()) return nullptr;
      return zyCreateNumericArray(dims.size(), dims.data(), classId, zyREAL);
    }
    if (dims.size() != 2 || dims[0] != 1 || dims[1] != 1) return nullptr;
    std::string typeName, payloadBytes;
    uint64_t length = 0;
    if (!text32(typeName) || !u64(length) || length > remaining_) return nullptr;
    payloadBytes.resize(length);
    bytes(payloadBytes.data(), length);
    return createStoredPayloadArray(classId, className, typeName, payloadBytes);
  }

  bool bytes(void* out, size_t length) {
    if (length > remaining_) return false;
    if (length) std::memcpy(out, data_, length);
    data_ += length;
    remaining_ -= length;
    return true;
  }
  bool u8(uint8_t& value) { return bytes(&value, 1); }
  bool u32(uint32_t& value) { return bytes(&value, 4); }
  bool u64(uint64_t& value) { return bytes(&value, 8); }
  bool text32(std::string& text) {
    uint32_t length = 0;
    if (!u32(length) || length > remaining_) return false;
    text.resize(length);
    return bytes(text.data(), length);
  }

  const uint8_t* data_;
  size_t remaining_;
};

zyArray* deserialize(const void* data, size_t length) {
  Reader reader(static_cast<const uint8_t*>(data), length);
  if (!reader.streamHeader()) return nullptr;
  ArrayOwner array = own(reader.record(0));
  return reader.atEnd() ? array.release() : nullptr;
}

}  // namespace
}  // namespace zy::detail

using zy::detail::guarded;

extern "C" {

zyArray* zySerializeEx(const zyArray* array, int flags) {
  if (array == nullptr) return nullptr;
  return guarded<zyArray*>(nullptr, [&] { return zy::detail::serialize(array, flags); });
}

zyArray* zySerialize(const zyArray* array) { return zySerializeEx(array, 0); }

zyArray* zyDeserialize(const void* bytes, size_t length) {
  if (bytes == nullptr) return nullptr;
  return guarded<zyArray*>(nullptr, [&] { return zy::detail::deserialize(bytes, length); });
}

}  // extern "C"
