// Array headers and their reference-counted storage: making, sharing, copying on write,
// freeing, and the queries and data access of the C API.

#include <cstdlib>
#include <cstring>
#include <new>

#include "zy/core.hpp"

namespace zy::detail {

size_t elementSize(zyClassID classId) {
  switch (classId) {
    case zyDOUBLE_CLASS:
    case zyINT64_CLASS:
    case zyUINT64_CLASS:
      return 8;
    case zySINGLE_CLASS:
    case zyINT32_CLASS:
    case zyUINT32_CLASS:
      return 4;
    case zyINT16_CLASS:
    case zyUINT16_CLASS:
    case zyCHAR_CLASS:
      return 2;
    case zyINT8_CLASS:
    case zyUINT8_CLASS:
    case zyLOGICAL_CLASS:
      return 1;
    case zyCELL_CLASS:
    case zySTRUCT_CLASS:
      return sizeof(zyArray*);
    default:
      return 0;
  }
}

namespace {

// Where the storage lies in a block made by Core::newHeaderWithStorage.
constexpr size_t kHostedStorageOffset =
    (sizeof(zyArray_tag) + alignof(Storage) - 1) / alignof(Storage) * alignof(Storage);
constexpr size_t kHeaderAndStorageSize = kHostedStorageOffset + sizeof(Storage);

Storage& hostedStorage(zyArray* header) {
  return *std::launder(
      reinterpret_cast<Storage*>(reinterpret_cast<char*>(header) + kHostedStorageOffset));
}

void* hostBlock(Storage& storage) {
  return reinterpret_cast<char*>(&storage) - kHostedStorageOffset;
}

}  // namespace

Storage* Core::newStorage(StorageKind kind) {
  void* block = keptBlock(sizeof(Storage), Block::storage);
  if (block == nullptr) return nullptr;
  Storage* storage = new (block) Storage;
  storage->kind = kind;
  return storage;
}

Storage* Core::emptyCells() {
  static Storage* const storage = [] {
    auto* cells = new Storage;
    cells->kind = StorageKind::Arrays;
    cells->immortal = true;
    cells->headers.store(2, std::memory_order_relaxed);
    return cells;
  }();
  return storage;
}

zyArray* Core::newHeaderWithStorage(zyClassID classId, StorageKind kind) {
  void* block = keptBlock(kHeaderAndStorageSize, Block::headerAndStorage);
  if (block == nullptr) return nullptr;
  zyArray* array = new (block) zyArray_tag;
  Storage* storage = new (static_cast<char*>(block) + kHostedStorageOffset) Storage;
  storage->kind = kind;
  storage->embedded = true;
  storage->blockUsers.store(2, std::memory_order_relaxed);
  array->classId_ = classId;
  array->storage_ = storage;
  array->hostsStorage_ = true;
  return array;
}

void Core::releaseContent(Storage& storage) {
  switch (storage.kind) {
    case StorageKind::Arrays:
      if (auto** elements = static_cast<zyArray**>(storage.real)) {
        for (size_t i = 0; i < storage.capacity; ++i) destroy(elements[i]);
        freeSlots(storage);
      }
      break;
    case StorageKind::Payload:
      if (storage.payload() && storage.payloadType()->destroy) {
        storage.payloadType()->destroy(storage.payload());
      }
      break;
    default:
      for (void* block : {storage.real, storage.imag, static_cast<void*>(storage.ir),
                          static_cast<void*>(storage.jc)}) {
        if (block) zyFree(block);
      }
  }
  storage.extra.reset();
}

void Core::leaveBlock(Storage& storage) {
  // The last user needs no read-modify-write: nobody else can reach the block.
  if (storage.blockUsers.load(std::memory_order_acquire) != 1 &&
      storage.blockUsers.fetch_sub(1, std::memory_order_acq_rel) != 1) {
    return;
  }
  void* block = hostBlock(storage);
  storage.~Storage();
  keepBlock(block, Block::headerAndStorage);
}

void Core::releaseStorage(Storage* storage) {
  if (storage == nullptr || storage->immortal) return;
  // The last header needs no read-modify-write: no other header can reach the storage to share
  // it meanwhile.
  if (storage->headers.load(std::memory_order_acquire) != 1 &&
      storage->headers.fetch_sub(1, std::memory_order_acq_rel) != 1) {
    return;
  }
  releaseContent(*storage);
  if (storage->embedded) {
    leaveBlock(*storage);
    return;
  }
  storage->~Storage();
  keepBlock(storage, Block::storage);
}

zyArray* Core::newHeader(zyClassID classId, size_t ndim, const size_t* dims, Storage* storage) {
  if (storage == nullptr) return nullptr;
  void* block = keptBlock(sizeof(zyArray_tag), Block::header);
  if (block == nullptr) {
    releaseStorage(storage);
    return nullptr;
  }
  zyArray* array = new (block) zyArray_tag;
  array->classId_ = classId;
  array->storage_ = storage;
  if (!setDimensions(array, ndim, dims)) {
    destroy(array);
    return nullptr;
  }
  return array;
}

bool Core::setDimensions(zyArray* array, size_t ndim, const size_t* dims) {
  if (ndim == 2 && dims != nullptr && array->dims_ == array->inlineDims_) {
    // Most arrays are matrices: no shape to normalise, no block to free.
    size_t count = dims[0];
    if (!multiply(count, dims[1], count)) return false;
    array->inlineDims_[0] = dims[0];
    array->inlineDims_[1] = dims[1];
    array->ndims_ = 2;
    array->numberOfElements_ = count;
    return true;
  }
  const Shape shape = normalizeShape(ndim, dims);
  if (shape.ndims > kMaxDimensions) return false;
  size_t count = 1;
  for (size_t i = 0; i < shape.ndims; ++i) {
    if (!multiply(count, shape.dims[i], count)) return false;
  }
  size_t* target = array->inlineDims_;
  if (shape.ndims > std::size(array->inlineDims_)) {
    target = new (std::nothrow) size_t[shape.ndims];
    if (target == nullptr) return false;
  }
  std::memmove(target, shape.dims, shape.ndims * sizeof(size_t));
  if (array->dims_ != array->inlineDims_ && array->dims_ != target) delete[] array->dims_;
  array->dims_ = target;
  array->ndims_ = static_cast<std::uint16_t>(shape.ndims);
  array->numberOfElements_ = count;
  return true;
}

namespace {

// Real double scalars are made and freed by the million (every scalar a host call gets back is
// one): the last few freed on a thread are kept whole, header, storage and data block, and the
// next ones are made from them. Likewise the memory of the last headers and storages freed (a
// cell {l, r} or a shared copy c{1} makes one of each): up to 16,384 of each kind, at most
// about 5 MiB a thread, as programs free whole trees of cells and then make the next. The list
// of each kind grows as blocks are kept. Not in sanitizer builds, which must see every use after
// free.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr size_t kKeptScalars = 0;
constexpr size_t kKeptBlocks = 0;
#else
constexpr size_t kKeptScalars = 16;
constexpr size_t kKeptBlocks = 16384;
#endif
constexpr size_t kFirstBlockList = 256;

// Plain data, so that a thread's first use needs no guard and every later use no check of one;
// ThreadEnd frees what the thread kept when it ends, armed by the first block kept.
struct KeptOnThread {
  // Double scalars in [0], logical ones (what comparisons and isempty give) in [1].
  zyArray* arrays[2][kKeptScalars + 1];
  size_t count[2];
  // Raw memory of freed blocks by their kind (Core::Block: storages, headers, both in one), in
  // lists of blockRoom[kind] entries (null before the first block of that kind is kept).
  void** blocks[3];
  size_t blockCount[3];
  size_t blockRoom[3];
  bool armed;  // ThreadEnd will run, or has run (then nothing more is kept)
};
thread_local KeptOnThread keptStore;
// keptStore once the thread has kept something, else null: an access is then one load from the
// thread's static block, where keptStore itself (too large for that block, which a library
// loaded later must share) costs a call of the dynamic linker's resolver.
thread_local KeptOnThread* keptHere __attribute__((tls_model("initial-exec"))) = nullptr;

struct ThreadEnd {
  ~ThreadEnd() {
    KeptOnThread& kept = keptStore;
    keptHere = nullptr;
    for (int kind = 0; kind < 2; ++kind) {
      size_t& arrays = kept.count[kind];
      while (arrays > 0) Core::destroy(kept.arrays[kind][--arrays], false);
    }
    for (int kind = 0; kind < 3; ++kind) {
      size_t& blocks = kept.blockCount[kind];
      while (blocks > 0) ::operator delete(kept.blocks[kind][--blocks]);
      std::free(kept.blocks[kind]);
    }
  }
};

// What the thread keeps, when it may keep what it frees (null once it is ending); the first
// time, arms ThreadEnd.
KeptOnThread* mayKeepOnThread() {
  if (__builtin_expect(keptHere != nullptr, true)) return keptHere;
  if (keptStore.armed) return nullptr;  // the thread is ending
  thread_local ThreadEnd end;
  (void)end;
  keptStore.armed = true;
  keptHere = &keptStore;
  return keptHere;
}

int keptKind(zyClassID classId) {
  return classId == zyDOUBLE_CLASS ? 0 : classId == zyLOGICAL_CLASS ? 1 : -1;
}

}  // namespace

void* Core::keptBlock(std::size_t size, Block kind) {
  KeptOnThread* kept = keptHere;
  const int k = static_cast<int>(kind);
  if (kKeptBlocks > 0 && kept && kept->blockCount[k] > 0) {
    return kept->blocks[k][--kept->blockCount[k]];
  }
  return ::operator new(size, std::nothrow);
}

bool Core::moveSlotsOut(Storage& storage) {
  if (storage.real != storage.pair) return true;
  void* block = zyMalloc(sizeof(storage.pair));
  if (block == nullptr) return false;
  std::memcpy(block, storage.pair, sizeof(storage.pair));
  storage.pair[0] = storage.pair[1] = nullptr;
  storage.real = block;
  return true;
}

void Core::freeSlots(Storage& storage) {
  if (storage.real == storage.pair) {
    storage.pair[0] = storage.pair[1] = nullptr;
  } else {
    zyFree(storage.real);
  }
}

void Core::keepBlock(void* block, Block kind) {
  KeptOnThread* kept = kKeptBlocks > 0 ? mayKeepOnThread() : nullptr;
  const int k = static_cast<int>(kind);
  if (kept && kept->blockCount[k] == kept->blockRoom[k] && kept->blockRoom[k] < kKeptBlocks) {
    const size_t room = kept->blockRoom[k] == 0 ? kFirstBlockList : 2 * kept->blockRoom[k];
    if (void* list = std::realloc(kept->blocks[k], room * sizeof(void*))) {
      kept->blocks[k] = static_cast<void**>(list);
      kept->blockRoom[k] = room;
    }
  }
  if (kept && kept->blockCount[k] < kept->blockRoom[k]) {
    kept->blocks[k][kept->blockCount[k]++] = block;
    return;
  }
  ::operator delete(block);
}

inline bool Core::keepable(const zyArray* array) {
  const Storage& storage = *array->storage_;
  return keptKind(array->classId_) >= 0 && array->numberOfElements_ == 1 &&
         array->ndims_ == 2 && array->dims_ == array->inlineDims_ &&
         storage.kind == StorageKind::Full && storage.capacity == 1 && storage.real != nullptr &&
         storage.imag == nullptr && !storage.pinned &&
         storage.headers.load(std::memory_order_acquire) == 1;
}

zyArray* Core::keptScalar(zyClassID classId, const void* value, size_t size) {
  const int kind = keptKind(classId);
  KeptOnThread* kept = keptHere;
  if (kKeptScalars == 0 || kind < 0 || !kept || kept->count[kind] == 0) return nullptr;
  zyArray* array = kept->arrays[kind][--kept->count[kind]];
  array->scope_ = zySCOPE_OWNED;
  // A double or a logical: copies of a known size need no call.
  if (size == sizeof(double)) {
    std::memcpy(array->storage_->real, value, sizeof(double));
  } else {
    std::memcpy(array->storage_->real, value, size);
  }
  return array;
}

void Core::destroy(zyArray* array, bool mayKeep) {
  if (array == nullptr) return;
  if (kKeptScalars > 0 && mayKeep) {
    const int kind = keptKind(array->classId_);
    if (kind >= 0 && keepable(array)) {
      KeptOnThread* kept = mayKeepOnThread();
      if (kept && kept->count[kind] < kKeptScalars) {
        kept->arrays[kind][kept->count[kind]++] = array;
        return;
      }
    }
  }
  if (array->hostsStorage_ && array->storage_ == &hostedStorage(array) &&
      array->storage_->headers.load(std::memory_order_acquire) == 1) {
    // The last header of the storage its own block holds: header and storage leave the block
    // together, with no count to bring down (a tree of cells is freed this way, node by node).
    Storage& storage = *array->storage_;
    releaseContent(storage);
    if (array->dims_ != array->inlineDims_) delete[] array->dims_;
    storage.~Storage();
    array->~zyArray_tag();
    keepBlock(array, Block::headerAndStorage);
    return;
  }
  releaseStorage(array->storage_);
  if (array->dims_ != array->inlineDims_) delete[] array->dims_;
  const bool hosts = array->hostsStorage_;
  array->~zyArray_tag();
  if (hosts) {
    leaveBlock(hostedStorage(array));
  } else {
    keepBlock(array, Block::header);
  }
}

size_t Core::slotCount(const zyArray* array) {
  size_t count = 0;
  if (array->classId_ == zyCELL_CLASS) return array->numberOfElements_;
  multiply(array->numberOfElements_, array->storage_->fieldNames().size(), count);
  return count;
}

namespace {

// A block of room for capacity elements of size bytes holding the first count of source; null
// for a null source. A block of no elements is still a block: an empty complex array keeps an
// imaginary block to say that it is complex.
void* copyBlock(const void* source, size_t count, size_t size, size_t capacity, bool& failed) {
  if (source == nullptr) return nullptr;
  size_t bytes = 0;
  if (!multiply(capacity, size, bytes)) {
    failed = true;
    return nullptr;
  }
  void* block = zyMalloc(bytes);
  if (block == nullptr) {
    failed = true;
    return nullptr;
  }
  std::memcpy(block, source, count * size);
  return block;
}

}  // namespace

Storage* Core::copyStorage(const zyArray* array, bool deep, bool skipReal, bool skipImag) {
  const Storage& source = *array->storage_;
  Storage* copy = newStorage(source.kind);
  if (copy == nullptr) return nullptr;
  bool failed = false;
  const size_t size = elementSize(array->classId_);
  switch (source.kind) {
    case StorageKind::None:
      break;
    case StorageKind::Full: {
      const size_t count = array->numberOfElements_;
      copy->capacity = count;
      if (!skipReal) copy->real = copyBlock(source.real, count, size, count, failed);
      if (!skipImag) copy->imag = copyBlock(source.imag, count, size, count, failed);
      break;
    }
    case StorageKind::Sparse: {
      const size_t columns = array->dims_[1];
      const size_t stored = source.jc[columns];
      copy->capacity = source.capacity;
      copy->jc = static_cast<size_t*>(
          copyBlock(source.jc, columns + 1, sizeof(size_t), columns + 1, failed));
      copy->ir = static_cast<size_t*>(
          copyBlock(source.ir, stored, sizeof(size_t), source.capacity, failed));
      if (!skipReal) copy->real = copyBlock(source.real, stored, size, source.capacity, failed);
      if (!skipImag) copy->imag = copyBlock(source.imag, stored, size, source.capacity, failed);
      break;
    }
    case StorageKind::Arrays: {
      if (!source.fieldNames().empty()) copy->extras().fieldNames = source.fieldNames();
      const size_t slots = slotCount(array);
      if (skipReal || slots == 0) break;
      auto** elements = slots == 2 ? copy->pair
                                   : static_cast<zyArray**>(zyCalloc(slots, sizeof(zyArray*)));
      if (elements == nullptr) {
        failed = true;
        break;
      }
      copy->real = elements;
      copy->capacity = slots;
      const auto* from = static_cast<zyArray* const*>(source.real);
      for (size_t i = 0; i < slots && !failed; ++i) {
        if (from[i] == nullptr) continue;
        elements[i] = deep ? duplicate(from[i]) : sharedCopy(from[i]);
        failed = elements[i] == nullptr;
      }
      break;
    }
    case StorageKind::Payload:
      if (const StorageExtra* from = source.extra.get()) {
        StorageExtra& to = copy->extras();
        to.payloadType = from->payloadType;
        to.objectClassName = from->objectClassName;
        if (from->payload) {
          to.payload = from->payloadType->clone ? from->payloadType->clone(from->payload) : nullptr;
          failed = to.payload == nullptr;
        }
      }
      break;
  }
  if (failed) {
    releaseStorage(copy);
    return nullptr;
  }
  return copy;
}

zyArray* Core::sharedCopy(const zyArray* array) {
  Storage* storage = array->storage_;
  if (storage->kind == StorageKind::Arrays && storage->pinned) {
    storage = copyStorage(array, false, false, false);
  } else if (!storage->immortal) {
    storage->headers.fetch_add(1, std::memory_order_relaxed);
  }
  return newHeader(array->classId_, array->ndims_, array->dims_, storage);
}

zyArray* Core::duplicate(const zyArray* array) {
  return newHeader(array->classId_, array->ndims_, array->dims_,
                   copyStorage(array, true, false, false));
}

bool Core::makeWritable(zyArray* array, bool skipReal, bool skipImag) {
  if (array->storage_->headers.load(std::memory_order_acquire) == 1) return true;
  Storage* copy = copyStorage(array, false, skipReal, skipImag);
  if (copy == nullptr) return false;
  releaseStorage(array->storage_);
  array->storage_ = copy;
  return true;
}

bool Core::makeWritableAndPin(zyArray* array) {
  if (!makeWritable(array)) return false;
  if (array->storage_->kind == StorageKind::Arrays) array->storage_->pinned = true;
  return true;
}

bool Core::unshareDeep(zyArray* array) {
  if (!makeWritable(array)) return false;
  if (array->storage_->kind != StorageKind::Arrays) return true;
  auto** elements = static_cast<zyArray**>(array->storage_->real);
  for (size_t i = 0; i < array->storage_->capacity; ++i) {
    if (elements[i] && !unshareDeep(elements[i])) return false;
  }
  return true;
}

}  // namespace zy::detail

using zy::detail::Core;
using zy::detail::StorageKind;

int zyArray_tag::_get_class_id_non_trivial() const { return classId_; }

const size_t* zyArray_tag::get_dimensions() const { return dims_; }

const std::vector<std::string>& zyArray_tag::get_struct_field_info() const {
  return storage_->fieldNames();
}

void zyArray_tag::set_nelements_allocated(size_t count) {
  if (!Core::makeWritable(this)) throw std::bad_alloc();
  storage_->capacity = count;
}

extern "C" {

zyArray* zyDuplicateArray(const zyArray* array) {
  return array ? zy::detail::guarded<zyArray*>(nullptr, [&] { return Core::duplicate(array); })
               : nullptr;
}

zyArray* zyCreateSharedDataCopy(const zyArray* array) {
  return array ? zy::detail::guarded<zyArray*>(nullptr, [&] { return Core::sharedCopy(array); })
               : nullptr;
}

int zyUnshareArray(zyArray* array) {
  if (array == nullptr) return -1;
  return zy::detail::guarded(-1, [&] { return Core::unshareDeep(array) ? 0 : -1; });
}

void zyDestroyArray(zyArray* array) { Core::destroy(array); }

zyClassID zyGetClassID(const zyArray* array) { return array ? array->classId() : zyUNKNOWN_CLASS; }

size_t zyGetNumberOfDimensions(const zyArray* array) {
  return array ? array->numberOfDimensions() : 0;
}

const size_t* zyGetDimensions(const zyArray* array) {
  return array ? array->dimensions() : nullptr;
}

size_t zyGetM(const zyArray* array) { return array ? array->dimensions()[0] : 0; }

size_t zyGetN(const zyArray* array) {
  if (array == nullptr) return 0;
  size_t columns = 1;
  for (size_t i = 1; i < array->numberOfDimensions(); ++i) columns *= array->dimensions()[i];
  return columns;
}

size_t zyGetNumberOfElements(const zyArray* array) { return array ? array->numberOfElements() : 0; }

size_t zyGetElementSize(const zyArray* array) {
  return array ? zy::detail::elementSize(array->classId()) : 0;
}

int zyIsEmpty(const zyArray* array) { return array == nullptr || array->numberOfElements() == 0; }

int zyIsNumeric(const zyArray* array) {
  return array && zy::detail::isNumericClass(array->classId());
}

int zyIsComplex(const zyArray* array) {
  return array && zy::detail::isNumericClass(array->classId()) && array->isComplex();
}

int zyIsSparse(const zyArray* array) { return array && array->isSparse(); }
int zyIsChar(const zyArray* array) { return array && array->classId() == zyCHAR_CLASS; }
int zyIsLogical(const zyArray* array) { return array && array->classId() == zyLOGICAL_CLASS; }
int zyIsCell(const zyArray* array) { return array && array->classId() == zyCELL_CLASS; }
int zyIsStruct(const zyArray* array) { return array && array->classId() == zySTRUCT_CLASS; }
int zyIsDouble(const zyArray* array) { return array && array->classId() == zyDOUBLE_CLASS; }

int zyIsCharVector(const zyArray* array) {
  if (!zyIsChar(array) || array->numberOfDimensions() != 2) return 0;
  const size_t* dims = array->dimensions();
  return dims[0] == 1 || dims[1] == 1;
}

zyArrayScope zyGetArrayScope(const zyArray* array) {
  return array ? array->scope() : zySCOPE_OWNED;
}

void zySetArrayScope(zyArray* array, zyArrayScope scope) {
  if (array) Core::setScope(array, scope);
}

const void* zyGetDataConst(const zyArray* array) { return array ? array->realData() : nullptr; }

const void* zyGetImagDataConst(const zyArray* array) { return array ? array->imagData() : nullptr; }

void* zyGetData(zyArray* array) {
  // What is handed out may be replaced with zySetData and then freed with zyFree: slots kept
  // inside the storage move to a block of their own first.
  if (array == nullptr || !zy::detail::guarded(false, [&] {
        return Core::makeWritableAndPin(array) && Core::moveSlotsOut(Core::storage(array));
      })) {
    return nullptr;
  }
  return Core::storage(array).real;
}

void* zyGetImagData(zyArray* array) {
  if (array == nullptr || !zyIsComplex(array) ||
      !zy::detail::guarded(false, [&] { return Core::makeWritable(array); })) {
    return nullptr;
  }
  return Core::storage(array).imag;
}

double* zyGetPr(zyArray* array) {
  return zyIsDouble(array) ? static_cast<double*>(zyGetData(array)) : nullptr;
}

double* zyGetPi(zyArray* array) {
  return zyIsDouble(array) ? static_cast<double*>(zyGetImagData(array)) : nullptr;
}

zyChar* zyGetChars(zyArray* array) {
  return zyIsChar(array) ? static_cast<zyChar*>(zyGetData(array)) : nullptr;
}

const zyLogical* zyGetLogicals(const zyArray* array) {
  return zyIsLogical(array) ? array->elements<zyLogical>() : nullptr;
}

int zySetData(zyArray* array, void* data) {
  if (array == nullptr) return -1;
  const StorageKind kind = Core::storage(array).kind;
  if (kind != StorageKind::Full && kind != StorageKind::Sparse && kind != StorageKind::Arrays) {
    return -1;
  }
  if (!zy::detail::guarded(false, [&] { return Core::makeWritable(array, true, false); })) {
    return -1;
  }
  zy::detail::Storage& storage = Core::storage(array);
  storage.real = data;
  if (kind == StorageKind::Arrays) {
    storage.pinned = true;
    storage.capacity = Core::slotCount(array);
  } else if (kind == StorageKind::Full) {
    storage.capacity = array->numberOfElements();
  }
  return 0;
}

int zySetImagData(zyArray* array, void* data) {
  if (!zyIsNumeric(array)) return -1;
  if (!zy::detail::guarded(false, [&] { return Core::makeWritable(array, false, true); })) {
    return -1;
  }
  Core::storage(array).imag = data;
  return 0;
}

int zySetDimensions(zyArray* array, const size_t* dims, size_t ndim) {
  if (array == nullptr || array->isSparse()) return -1;
  const zy::detail::Shape shape = zy::detail::normalizeShape(ndim, dims);
  size_t count = 1;
  for (size_t i = 0; i < shape.ndims; ++i) {
    if (!zy::detail::multiply(count, shape.dims[i], count)) return -1;
  }
  const zy::detail::Storage& storage = Core::storage(array);
  switch (storage.kind) {
    case StorageKind::Full:
      if (count > storage.capacity) return -1;
      break;
    case StorageKind::Arrays:
    case StorageKind::Payload:
      if (count != array->numberOfElements()) return -1;
      break;
    default:
      break;
  }
  return Core::setDimensions(array, ndim, dims) ? 0 : -1;
}

int zyRemoveElements(zyArray* array, size_t first, size_t count, const size_t* dims,
                     size_t ndim) {
  if (array == nullptr) return -1;
  const StorageKind kind = Core::storage(array).kind;
  if (kind != StorageKind::Full && kind != StorageKind::Arrays) return -1;
  const size_t elements = array->numberOfElements();
  if (first > elements || count > elements - first) return -1;
  const zy::detail::Shape shape = zy::detail::normalizeShape(ndim, dims);
  size_t left = 1;
  for (size_t i = 0; i < shape.ndims; ++i) {
    if (!zy::detail::multiply(left, shape.dims[i], left)) return -1;
  }
  if (left != elements - count) return -1;
  return zy::detail::guarded(-1, [&] {
    // The shape first: nothing has moved yet when that runs out of memory.
    if (!Core::makeWritable(array) || !Core::setDimensions(array, ndim, dims)) return -1;
    if (count == 0) return 0;
    zy::detail::Storage& storage = Core::storage(array);
    if (kind == StorageKind::Arrays) {
      // A struct element is nfields slots in a row; slots past the elements stay empty.
      const size_t per = array->classId() == zySTRUCT_CLASS ? storage.fieldNames().size() : 1;
      auto** slots = static_cast<zyArray**>(storage.real);
      const size_t from = per * first, gone = per * count, total = per * elements;
      for (size_t i = from; i < from + gone; ++i) Core::destroy(slots[i]);
      std::memmove(slots + from, slots + from + gone, (total - from - gone) * sizeof(zyArray*));
      std::memset(slots + total - gone, 0, gone * sizeof(zyArray*));
      return 0;
    }
    const size_t size = zy::detail::elementSize(array->classId());
    for (void* block : {storage.real, storage.imag}) {
      if (block == nullptr) continue;
      char* bytes = static_cast<char*>(block);
      std::memmove(bytes + first * size, bytes + (first + count) * size,
                   (elements - first - count) * size);
    }
    return 0;
  });
}

}  // extern "C"

extern "C" {

const char* zyGetClassNameFromID(int classId) {
  static const char* const names[] = {"unknown", "cell",     "struct", "logical", "char",
                                      "unknown", "double",   "single", "int8",    "uint8",
                                      "int16",   "uint16",   "int32",  "uint32",  "int64",
                                      "uint64",  "function", "opaque", "object"};
  return classId >= 0 && classId <= zyOBJECT_CLASS ? names[classId] : "unknown";
}

const char* zyGetClassName(const zyArray* array) {
  return zyGetClassNameFromID(array ? array->classId() : zyUNKNOWN_CLASS);
}

}  // extern "C"
