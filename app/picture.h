// The picture of Image1: a JPEG stored as an RCDATA resource, decoded at
// start-up into a device-independent bitmap and drawn unscaled. On a screen of
// another scale than 96 dpi the decoder itself scales it (in eighths, the
// steps libjpeg smooths in), and decodes it again when the scale changes.
#pragma once
#include <windows.h>

#include "util/dpi_scale.h"

namespace vx {

class Picture {
 public:
  Picture() = default;
  ~Picture();
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  // Decodes the RCDATA resource `id` of this program for a screen of `dpi`.
  // False when the resource is missing or not a JPEG libjpeg can read; the
  // window then shows no picture.
  bool LoadJpegResource(HINSTANCE instance, int id, int dpi = kLayoutDpi);
  // Decodes `size` bytes of JPEG data for `dpi`; the data must stay for Rescale.
  bool DecodeJpeg(const unsigned char* data, unsigned long size, int dpi = kLayoutDpi);
  // Decodes the same data again for another scale; false when there is none.
  bool Rescale(int dpi);

  // Draws the picture with its top-left corner at (x, y), unscaled.
  void Draw(HDC dc, int x, int y) const;

  int width() const { return width_; }
  int height() const { return height_; }

 private:
  HBITMAP bitmap_ = nullptr;
  const unsigned char* source_ = nullptr;
  unsigned long sourceSize_ = 0;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace vx
