// Function-handle, opaque and object arrays. The payload belongs to the array's storage:
// shared-data copies share it, duplicates and writes clone it through its type.

#include "zy/payload.hpp"

#include <cstring>
#include <memory>
#include <new>

#include "zy/core.hpp"

namespace zy::detail {
namespace {

// What zyDeserialize gives a payload whose engine type it cannot know.
struct StoredPayload {
  std::string typeName;
  std::string bytes;
};

void* cloneStored(const void* payload) {
  return new (std::nothrow) StoredPayload(*static_cast<const StoredPayload*>(payload));
}
void destroyStored(void* payload) { delete static_cast<StoredPayload*>(payload); }

const zyPayloadType kStoredType = {"zy.stored", cloneStored, destroyStored, nullptr, nullptr};

zyArray* createPayloadArray(zyClassID classId, const char* className, const zyPayloadType* type,
                            void* payload) {
  if (!isPayloadClass(classId) || type == nullptr || type->clone == nullptr ||
      type->destroy == nullptr) {
    if (payload && type && type->destroy) type->destroy(payload);
    return nullptr;
  }
  Storage* storage = Core::newStorage(StorageKind::Payload);
  if (storage == nullptr) {
    type->destroy(payload);
    return nullptr;
  }
  try {
    StorageExtra& extra = storage->extras();
    extra.payloadType = type;
    extra.payload = payload;
    payload = nullptr;
    if (className) extra.objectClassName = className;
  } catch (...) {
    if (payload) type->destroy(payload);
    Core::releaseStorage(storage);
    throw;
  }
  const size_t dims[2] = {1, 1};
  return Core::newHeader(classId, 2, dims, storage);
}

}  // namespace

bool payloadBytes(const zyArray* array, std::string& typeName, std::string& bytes) {
  const Storage& storage = Core::storage(array);
  typeName.clear();
  bytes.clear();
  if (storage.payload() == nullptr) return true;
  const zyPayloadType* type = storage.payloadType();
  if (type == &kStoredType) {
    const auto* stored = static_cast<const StoredPayload*>(storage.payload());
    typeName = stored->typeName;
    bytes = stored->bytes;
    return true;
  }
  typeName = type->name ? type->name : "";
  if (type->serialize == nullptr) return true;
  size_t length = 0;
  void* block = type->serialize(storage.payload(), &length);
  if (block == nullptr) return false;
  std::unique_ptr<void, void (*)(void*)> owner(block, zyFree);
  bytes.assign(static_cast<const char*>(block), length);
  return true;
}

zyArray* createStoredPayloadArray(zyClassID classId, const std::string& className,
                                  const std::string& typeName, const std::string& bytes) {
  auto* stored = new (std::nothrow) StoredPayload;
  if (stored == nullptr) return nullptr;
  try {
    stored->typeName = typeName;
    stored->bytes = bytes;
  } catch (...) {
    delete stored;
    throw;
  }
  return createPayloadArray(classId, className.c_str(), &kStoredType, stored);
}

}  // namespace zy::detail

using zy::detail::Core;

extern "C" {

zyArray* zyCreatePayloadArray(zyClassID classId, const char* className, const zyPayloadType* type,
                              void* payload) {
  return zy::detail::guarded<zyArray*>(
      nullptr, [&] { return zy::detail::createPayloadArray(classId, className, type, payload); });
}

void* zyGetPayload(const zyArray* array) {
  return array ? Core::storage(array).payload() : nullptr;
}

const zyPayloadType* zyGetPayloadType(const zyArray* array) {
  return array ? Core::storage(array).payloadType() : nullptr;
}

const char* zyGetObjectClassName(const zyArray* array) {
  if (array == nullptr || Core::storage(array).kind != zy::detail::StorageKind::Payload) {
    return nullptr;
  }
  return Core::storage(array).objectClassName();
}

const zyPayloadType* zyStoredPayloadType(void) { return &zy::detail::kStoredType; }

const void* zyGetStoredPayload(const zyArray* array, const char** typeName, size_t* length) {
  if (zyGetPayloadType(array) != &zy::detail::kStoredType || zyGetPayload(array) == nullptr) {
    return nullptr;
  }
  const auto* stored = static_cast<const zy::detail::StoredPayload*>(zyGetPayload(array));
  if (typeName) *typeName = stored->typeName.c_str();
  if (length) *length = stored->bytes.size();
  return stored->bytes.data();
}

}  // extern "C"
