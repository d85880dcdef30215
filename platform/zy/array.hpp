#pragma once
// The array itself: struct zyArray_tag behind the C handle zyArray, for C++ code (the engine)
// that wants inline reads on its hot paths. Everything that changes an array goes through the
// C API of zy.h, which keeps the sharing rules: a header writes only to data no other header
// uses.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zy.h"

namespace zy::detail {

struct Core;

// The most dimensions an array may have (after trailing singletons are dropped).
constexpr size_t kMaxDimensions = 65535;

// How a storage holds its elements, which decides how it is copied and freed.
enum class StorageKind : unsigned char {
  None,     // classes without data (ids 0, 5, payload classes without a payload)
  Full,     // numeric, char and logical: real (and imaginary) element blocks
  Sparse,   // compressed columns: ir, jc, real (and imaginary) blocks of capacity elements
  Arrays,   // cells and structs: real is a block of capacity zyArray* element pointers
  Payload,  // function-handle, opaque and object arrays
};

// What only struct and payload storages have, kept apart so that every other storage is small
// (a tree of cells is mostly storages).
struct StorageExtra {
  std::vector<std::string> fieldNames;  // structs; element data is field + nfields * element
  const zyPayloadType* payloadType = nullptr;
  void* payload = nullptr;
  std::string objectClassName;
};

// The data of one or more array headers. Headers made by zyCreateSharedDataCopy share it, and
// `headers` counts them; a header writes only while it is the only one (Core::makeWritable).
struct Storage {
  std::atomic<size_t> headers{1};
  StorageKind kind = StorageKind::None;
  // Cells and structs whose element pointers were handed out for writing: the element is then
  // the container's alone, so this storage is never shared again (copies copy the headers).
  bool pinned = false;
  // Made in one block with its first header (Core::newHeaderWithStorage): the block goes when
  // both the header and the storage have gone, which blockUsers counts (2, 1, 0).
  bool embedded = false;
  // The one storage of every empty cell (Core::emptyCells): never freed, never written, its
  // count of headers neither kept nor ever 1, so that whoever would write it copies it first.
  bool immortal = false;
  std::atomic<std::uint32_t> blockUsers{0};
  void* real = nullptr;
  void* imag = nullptr;
  size_t capacity = 0;   // elements allocated in real and imag (sparse: nzmax)
  size_t* ir = nullptr;  // sparse: row of each stored element, capacity entries
  size_t* jc = nullptr;  // sparse: column starts, columns + 1 entries
  std::unique_ptr<StorageExtra> extra;  // null until something is put in it
  // The element pointers of a container with two slots ({l, r}, the node of a tree), which real
  // then points to: one block less to make, free and follow. Moved out to a block of their own
  // before they are handed out (zyGetData) or the block is replaced or grown.
  zyArray* pair[2] = {nullptr, nullptr};

  const std::vector<std::string>& fieldNames() const {
    static const std::vector<std::string> none;
    return extra ? extra->fieldNames : none;
  }
  const zyPayloadType* payloadType() const { return extra ? extra->payloadType : nullptr; }
  void* payload() const { return extra ? extra->payload : nullptr; }
  const char* objectClassName() const { return extra ? extra->objectClassName.c_str() : ""; }
  // The extra part, made on first use; throws std::bad_alloc when memory runs out.
  StorageExtra& extras() {
    if (!extra) extra = std::make_unique<StorageExtra>();
    return *extra;
  }
};

}  // namespace zy::detail

// Not copyable: arrays are made and copied only through the create and copy functions.
struct ZY_EXPORT zyArray_tag {
 public:
  zyArray_tag(const zyArray_tag&) = delete;
  zyArray_tag& operator=(const zyArray_tag&) = delete;

  // The class id; arrays above id 16 are answered by _get_class_id_non_trivial.
  zyClassID classId() const noexcept {
    return classId_ <= zyFUNCTION_CLASS ? classId_
                                        : static_cast<zyClassID>(_get_class_id_non_trivial());
  }
  int _get_class_id_non_trivial() const;

  size_t numberOfDimensions() const noexcept { return ndims_; }
  const size_t* get_dimensions() const;
  const size_t* dimensions() const noexcept { return dims_; }
  size_t numberOfElements() const noexcept { return numberOfElements_; }
  bool isSparse() const noexcept { return storage_->kind == zy::detail::StorageKind::Sparse; }
  bool isComplex() const noexcept { return storage_->imag != nullptr; }
  zyArrayScope scope() const noexcept { return static_cast<zyArrayScope>(scope_); }

  // Read access (never copies). Valid until the array is written or destroyed.
  const void* realData() const noexcept { return storage_->real; }
  const void* imagData() const noexcept { return storage_->imag; }
  template <typename Element>
  const Element* elements() const noexcept {
    return static_cast<const Element*>(storage_->real);
  }
  const size_t* ir() const noexcept { return storage_->ir; }
  const size_t* jc() const noexcept { return storage_->jc; }
  // Field names of a struct array in field order (empty for other arrays).
  const std::vector<std::string>& get_struct_field_info() const;
  // Whether another header shares this array's data.
  bool sharesData() const noexcept { return storage_->headers.load(std::memory_order_acquire) > 1; }

  // Records how many elements the data blocks hold after the caller installed larger blocks
  // with zySetData/zySetImagData, so that a later zySetDimensions may grow into them. Gives the
  // array private data first; throws std::bad_alloc when that runs out of memory.
  void set_nelements_allocated(size_t count);

 private:
  friend struct zy::detail::Core;
  zyArray_tag() = default;
  ~zyArray_tag() = default;

  // 56 bytes in all: a header with its storage, or a header alone, fills a small heap chunk.
  zyClassID classId_ = zyUNKNOWN_CLASS;
  unsigned char scope_ = zySCOPE_OWNED;  // a zyArrayScope
  bool hostsStorage_ = false;            // its block holds a storage too (Storage::embedded)
  std::uint16_t ndims_ = 2;              // at most zy::detail::kMaxDimensions
  size_t numberOfElements_ = 0;
  size_t* dims_ = inlineDims_;  // inlineDims_ for up to three dimensions, else a heap block
  size_t inlineDims_[3] = {0, 0, 0};
  zy::detail::Storage* storage_ = nullptr;  // never null
};
