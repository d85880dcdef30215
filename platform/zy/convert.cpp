// zyConvertBufferToType: one tight loop per pair of classes, chosen once per call, so that no
// element pays for the dispatch and the compiler can vectorise each loop.

#include "zy/convert.hpp"

#include <cstring>

#include "zy/core.hpp"

namespace zy::detail {
namespace {

template <zyClassID Class>
struct Element;
template <>
struct Element<zyDOUBLE_CLASS> {
  using Type = double;
};
template <>
struct Element<zySINGLE_CLASS> {
  using Type = float;
};
template <>
struct Element<zyINT8_CLASS> {
  using Type = int8_t;
};
template <>
struct Element<zyUINT8_CLASS> {
  using Type = uint8_t;
};
template <>
struct Element<zyINT16_CLASS> {
  using Type = int16_t;
};
template <>
struct Element<zyUINT16_CLASS> {
  using Type = uint16_t;
};
template <>
struct Element<zyINT32_CLASS> {
  using Type = int32_t;
};
template <>
struct Element<zyUINT32_CLASS> {
  using Type = uint32_t;
};
template <>
struct Element<zyINT64_CLASS> {
  using Type = int64_t;
};
template <>
struct Element<zyUINT64_CLASS> {
  using Type = uint64_t;
};
template <>
struct Element<zyCHAR_CLASS> {
  using Type = uint16_t;
};
template <>
struct Element<zyLOGICAL_CLASS> {
  using Type = uint8_t;
};

template <zyClassID To, zyClassID From>
inline typename Element<To>::Type convertOne(typename Element<From>::Type value) {
  using Target = typename Element<To>::Type;
  using Source = typename Element<From>::Type;
  if constexpr (To == zyLOGICAL_CLASS) {
    return value != Source(0);
  } else if constexpr (From == zyLOGICAL_CLASS) {
    return static_cast<Target>(value != 0);
  } else if constexpr (std::is_floating_point_v<Target>) {
    return static_cast<Target>(value);
  } else if constexpr (std::is_floating_point_v<Source>) {
    return roundSaturate<Target>(value);
  } else {
    return saturate<Target>(value);
  }
}

template <zyClassID To, zyClassID From>
void convertLoop(void* destination, const void* source, size_t count) {
  auto* __restrict out = static_cast<typename Element<To>::Type*>(destination);
  const auto* __restrict in = static_cast<const typename Element<From>::Type*>(source);
  for (size_t i = 0; i < count; ++i) out[i] = convertOne<To, From>(in[i]);
}

using Loop = void (*)(void*, const void*, size_t);

template <zyClassID To>
Loop loopFrom(zyClassID from) {
  switch (from) {
    case zyDOUBLE_CLASS:
      return convertLoop<To, zyDOUBLE_CLASS>;
    case zySINGLE_CLASS:
      return convertLoop<To, zySINGLE_CLASS>;
    case zyINT8_CLASS:
      return convertLoop<To, zyINT8_CLASS>;
    case zyUINT8_CLASS:
      return convertLoop<To, zyUINT8_CLASS>;
    case zyINT16_CLASS:
      return convertLoop<To, zyINT16_CLASS>;
    case zyUINT16_CLASS:
      return convertLoop<To, zyUINT16_CLASS>;
    case zyINT32_CLASS:
      return convertLoop<To, zyINT32_CLASS>;
    case zyUINT32_CLASS:
      return convertLoop<To, zyUINT32_CLASS>;
    case zyINT64_CLASS:
      return convertLoop<To, zyINT64_CLASS>;
    case zyUINT64_CLASS:
      return convertLoop<To, zyUINT64_CLASS>;
    case zyCHAR_CLASS:
      return convertLoop<To, zyCHAR_CLASS>;
    case zyLOGICAL_CLASS:
      return convertLoop<To, zyLOGICAL_CLASS>;
    default:
      return nullptr;
  }
}

Loop loopFor(zyClassID to, zyClassID from) {
  switch (to) {
    case zyDOUBLE_CLASS:
      return loopFrom<zyDOUBLE_CLASS>(from);
    case zySINGLE_CLASS:
      return loopFrom<zySINGLE_CLASS>(from);
    case zyINT8_CLASS:
      return loopFrom<zyINT8_CLASS>(from);
    case zyUINT8_CLASS:
      return loopFrom<zyUINT8_CLASS>(from);
    case zyINT16_CLASS:
      return loopFrom<zyINT16_CLASS>(from);
    case zyUINT16_CLASS:
      return loopFrom<zyUINT16_CLASS>(from);
    case zyINT32_CLASS:
      return loopFrom<zyINT32_CLASS>(from);
    case zyUINT32_CLASS:
      return loopFrom<zyUINT32_CLASS>(from);
    case zyINT64_CLASS:
      return loopFrom<zyINT64_CLASS>(from);
    case zyUINT64_CLASS:
      return loopFrom<zyUINT64_CLASS>(from);
    case zyCHAR_CLASS:
      return loopFrom<zyCHAR_CLASS>(from);
    case zyLOGICAL_CLASS:
      return loopFrom<zyLOGICAL_CLASS>(from);
    default:
      return nullptr;
  }
}

}  // namespace
}  // namespace zy::detail

extern "C" int zyConvertBufferToType(void* destination, zyClassID destinationClass,
                                     const void* source, zyClassID sourceClass, size_t count) {
  if (!zy::detail::isFullDataClass(destinationClass) || !zy::detail::isFullDataClass(sourceClass)) {
    return -1;
  }
  if (count == 0) return 0;
  if (destination == nullptr || source == nullptr) return -1;
  if (destinationClass == sourceClass) {
    if (destination != source) {
      std::memcpy(destination, source, count * zy::detail::elementSize(sourceClass));
    }
    return 0;
  }
  zy::detail::loopFor(destinationClass, sourceClass)(destination, source, count);
  return 0;
}
