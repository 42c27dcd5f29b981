#include "app/picture.h"

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first

#include <jpeglib.h>

namespace vx {
namespace {

// libjpeg's default error handler ends the process; a bad picture must only
// leave Image1 empty, so errors jump back to the decoder instead.
struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf resume;
};

void OnJpegError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegError*>(info->err)->resume, 1);
}

void IgnoreJpegMessage(j_common_ptr, int) {}

// The scale of `dpi` in the eighths libjpeg decodes at: 8 at 96 dpi, 12 at
// 144; 16 (200 %) at most.
unsigned int ScaleEighths(int dpi) {
  const int eighths = ScaleForDpi(8, dpi);
  return static_cast<unsigned int>(eighths < 1 ? 1 : eighths > 16 ? 16 : eighths);
}

}  // namespace

Picture::~Picture() {
  if (bitmap_ != nullptr) DeleteObject(bitmap_);
}

bool Picture::LoadJpegResource(HINSTANCE instance, int id, int dpi) {
  HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (found == nullptr) return false;
  HGLOBAL loaded = LoadResource(instance, found);
  DWORD size = SizeofResource(instance, found);
  if (loaded == nullptr || size == 0) return false;
  const void* bytes = LockResource(loaded);
  if (bytes == nullptr) return false;
  return DecodeJpeg(static_cast<const unsigned char*>(bytes), size, dpi);
}

bool Picture::Rescale(int dpi) { return source_ != nullptr && DecodeJpeg(source_, sourceSize_, dpi); }

bool Picture::DecodeJpeg(const unsigned char* data, unsigned long size, int dpi) {
  jpeg_decompress_struct info;
  JpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = OnJpegError;
  error.manager.emit_message = IgnoreJpegMessage;
  // Volatile: assigned between setjmp and a possible longjmp.
  HBITMAP volatile bitmap = nullptr;
  if (setjmp(error.resume) != 0) {
    jpeg_destroy_decompress(&info);
    if (bitmap != nullptr) DeleteObject(bitmap);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, const_cast<unsigned char*>(data), size);
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  info.scale_num = ScaleEighths(dpi);
  info.scale_denom = 8;
  jpeg_start_decompress(&info);

  const int width = static_cast<int>(info.output_width);
  const int height = static_cast<int>(info.output_height);
  BITMAPINFO format = {};
  format.bmiHeader.biSize = sizeof(format.bmiHeader);
  format.bmiHeader.biWidth = width;
  format.bmiHeader.biHeight = -height;  // top-down: row 0 is the top row, as libjpeg delivers
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 24;
  format.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  bitmap = CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr || bits == nullptr) {
    jpeg_destroy_decompress(&info);
    if (bitmap != nullptr) DeleteObject(bitmap);
    return false;
  }
  const int stride = (width * 3 + 3) & ~3;  // DIB rows are DWORD aligned
  unsigned char* pixels = static_cast<unsigned char*>(bits);
  while (info.output_scanline < info.output_height) {
    unsigned char* row = pixels + static_cast<size_t>(info.output_scanline) * stride;
    JSAMPROW rows[1] = {row};
    jpeg_read_scanlines(&info, rows, 1);
    for (int x = 0; x < width; ++x) {  // RGB to the DIB's BGR, in place
      unsigned char red = row[x * 3];
      row[x * 3] = row[x * 3 + 2];
      row[x * 3 + 2] = red;
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  GdiFlush();

  if (bitmap_ != nullptr) DeleteObject(bitmap_);
  bitmap_ = bitmap;
  source_ = data;
  sourceSize_ = size;
  width_ = width;
  height_ = height;
  return true;
}

void Picture::Draw(HDC dc, int x, int y) const {
  if (bitmap_ == nullptr) return;
  HDC memory = CreateCompatibleDC(dc);
  if (memory == nullptr) return;
  HGDIOBJ old = SelectObject(memory, bitmap_);
  BitBlt(dc, x, y, width_, height_, memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
}

}  // namespace vx
