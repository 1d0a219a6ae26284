#pragma once

#include <cmath>

// IEEE narrowing spelled out: a double beyond the float range becomes infinity, where a plain
// conversion would be undefined.
inline float NarrowToFloat(double value)
{
    const double overflow = 0x1.ffffffp127; // FLT_MAX plus half an ulp rounds up to infinity
    if (value >= overflow)
        return HUGE_VALF;
    if (value <= -overflow)
        return -HUGE_VALF;
    return static_cast<float>(value);
}
