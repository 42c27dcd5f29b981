// The picture of Image1: a JPEG stored as an RCDATA resource, decoded once at
// start-up into a device-independent bitmap and drawn unscaled.
#pragma once
#include <windows.h>

namespace vx {

class Picture {
 public:
  Picture() = default;
  ~Picture();
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  // Decodes the RCDATA resource `id` of this program. False when the resource
  // is missing or not a JPEG libjpeg can read; the window then shows no picture.
  bool LoadJpegResource(HINSTANCE instance, int id);
  // Decodes `size` bytes of JPEG data.
  bool DecodeJpeg(const unsigned char* data, unsigned long size);

  // Draws the picture with its top-left corner at (x, y), unscaled.
  void Draw(HDC dc, int x, int y) const;

  int width() const { return width_; }
  int height() const { return height_; }

 private:
  HBITMAP bitmap_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace vx
