// Reading back the JPEG files the host saves, and empty folders for tests to write in.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>
#include <jpeglib.h>

#include "TestFiles.h"
#include "qvhost/Rasteriser.h"

// A JPEG file's size and RGB pixels, or width 0 when it cannot be opened.
inline qvhost::RgbImage ReadJpeg(const std::string& path) {
  qvhost::RgbImage image;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return image;
  jpeg_decompress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, file);
  if (jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK) {
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    image.width = info.output_width;
    image.height = info.output_height;
    image.pixels.resize(size_t(image.width) * image.height * 3);
    while (info.output_scanline < info.output_height) {
      JSAMPROW row = &image.pixels[size_t(info.output_scanline) * image.width * 3];
      jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
  }
  jpeg_destroy_decompress(&info);
  std::fclose(file);
  return image;
}
