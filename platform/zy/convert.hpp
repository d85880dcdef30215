#pragma once
// Element conversion between the numeric classes, char and logical. The rules are those of
// zyConvertBufferToType in zy.h; single values are converted here too so that other parts of
// the library (display, tests) apply exactly the same rules.

#include <cstdint>
#include <limits>
#include <type_traits>

namespace zy::detail {

// Rounds half away from zero and saturates a floating value into the integer type; NaN is 0.
// Written with selects only and no library calls, so that loops over it vectorise.
template <typename Integer, typename Floating>
inline Integer roundSaturate(Floating value) {
  using Limits = std::numeric_limits<Integer>;
  constexpr Floating lowest = static_cast<Floating>(Limits::min());
  constexpr Floating highest = static_cast<Floating>(Limits::max());
  if constexpr (Limits::digits <= std::numeric_limits<Floating>::digits) {
    // Both ends are exact in the floating type: clamp there, then convert.
    Floating clamped = value > highest ? highest : value;
    clamped = clamped < lowest ? lowest : clamped;
    clamped = clamped == clamped ? clamped : Floating(0);  // NaN
    const Integer truncated = static_cast<Integer>(clamped);
    const Floating fraction = clamped - static_cast<Floating>(truncated);
    // At the ends the fraction is 0, so the step never leaves the range. The step stays
    // floating until the end, which lets the compiler keep the whole loop in vector registers.
    const Floating step = (fraction >= Floating(0.5) ? Floating(1) : Floating(0)) -
                          (fraction <= Floating(-0.5) ? Floating(1) : Floating(0));
    return static_cast<Integer>(truncated + static_cast<Integer>(step));
  } else {
    // The largest integer is not exact in the floating type (it rounds up to a power of two):
    // decide the ends in the floating type before converting anything.
    constexpr Floating upper = highest + static_cast<Floating>(0.5);
    constexpr Floating lower = lowest - static_cast<Floating>(0.5);
    const bool isNaN = value != value;
    const bool above = value >= upper;
    const bool below = value <= lower;
    const Floating inRange = (isNaN || above || below) ? Floating(0) : value;
    const Integer truncated = static_cast<Integer>(inRange);
    const Floating fraction = inRange - static_cast<Floating>(truncated);
    const Integer rounded =
        static_cast<Integer>(truncated + static_cast<Integer>(fraction >= Floating(0.5)) -
                             static_cast<Integer>(fraction <= Floating(-0.5)));
    return above ? Limits::max() : below ? Limits::min() : rounded;
  }
}

// Saturates one integer type into another.
template <typename To, typename From>
inline To saturate(From value) {
  using ToLimits = std::numeric_limits<To>;
  if constexpr (std::is_signed_v<From> == std::is_signed_v<To>) {
    if constexpr (sizeof(From) <= sizeof(To)) {
      return static_cast<To>(value);
    } else {
      return value < static_cast<From>(ToLimits::min())   ? ToLimits::min()
             : value > static_cast<From>(ToLimits::max()) ? ToLimits::max()
                                                          : static_cast<To>(value);
    }
  } else if constexpr (std::is_signed_v<From>) {
    using Unsigned = std::make_unsigned_t<From>;
    if constexpr (sizeof(From) <= sizeof(To)) {
      return value < 0 ? To(0) : static_cast<To>(value);
    } else {
      return value < 0                                        ? To(0)
             : static_cast<Unsigned>(value) > ToLimits::max() ? ToLimits::max()
                                                              : static_cast<To>(value);
    }
  } else {
    using Unsigned = std::make_unsigned_t<To>;
    if constexpr (sizeof(From) < sizeof(To)) {
      return static_cast<To>(value);
    } else {
      return value > static_cast<Unsigned>(ToLimits::max()) ? ToLimits::max()
                                                            : static_cast<To>(value);
    }
  }
}

}  // namespace zy::detail
