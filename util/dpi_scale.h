// The window's layout is a table of pixels at 96 dpi, the 100 % scale; on a
// screen of another scale every length of it is multiplied by dpi / 96.
#pragma once

namespace vx {

constexpr int kLayoutDpi = 96;

// `length` (96-dpi pixels) at `dpi`, rounded to the nearest pixel, halves away
// from zero as Windows' MulDiv does, so that a negative font height scales
// like a positive one.
constexpr int ScaleForDpi(int length, int dpi) {
  const long long product = static_cast<long long>(length) * dpi;
  return static_cast<int>(product >= 0 ? (product + kLayoutDpi / 2) / kLayoutDpi
                                       : -((-product + kLayoutDpi / 2) / kLayoutDpi));
}

}  // namespace vx
