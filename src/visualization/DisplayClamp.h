#pragma once

#include <algorithm>
#include <cmath>

namespace vesk {

// `value` limited to lo...hi, with a non-number read as 0 (then limited), so that one broken
// sample from a device can never poison a display or a filter memory for good.
inline float clampForDisplay(float value, float lo, float hi) {
    return std::clamp(std::isnan(value) ? 0.0f : value, lo, hi);
}

}  // namespace vesk
