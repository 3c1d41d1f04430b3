// Pictures saved as JPEG through libjpeg, into a temporary file renamed into place.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "qvhost/Rasteriser.h"

namespace qvhost {

namespace {

// libjpeg's default error handler ends the process: this one jumps back instead.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf back;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnError(j_common_ptr info) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  info->err->format_message(info, manager->message);
  std::longjmp(manager->back, 1);
}

void OnMessage(j_common_ptr) {}  // warnings are not printed

// Everything set up before the setjmp lives outside the function that jumps.
bool Compress(const RgbImage& image, std::FILE* file, int quality, std::string& error) {
  jpeg_compress_struct info;
  ErrorManager manager;
  info.err = jpeg_std_error(&manager.base);
  manager.base.error_exit = OnError;
  manager.base.output_message = OnMessage;
  if (setjmp(manager.back)) {
    error = manager.message;
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = image.width;
  info.image_height = image.height;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(image.At(0, info.next_scanline));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

bool WriteJpeg(const RgbImage& image, const std::string& path, int quality, std::string& error) {
  if (image.width == 0 || image.height == 0 || image.width > JPEG_MAX_DIMENSION || image.height > JPEG_MAX_DIMENSION ||
      image.pixels.size() != size_t(image.width) * image.height * 3) {
    error = "no picture to save";
    return false;
  }
  if (quality < 1 || quality > 100) quality = 90;
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  // A name of this process's own, opened with the mode the umask allows (the umask is
  // not touched: renders save from their own thread).
  static std::atomic<uint64_t> serial{0};
  std::string temporary;
  int descriptor = -1;
  for (int attempt = 0; attempt < 100 && descriptor < 0; ++attempt) {
    temporary = folder + "." + path.substr(folder.size()) + "." + std::to_string(::getpid()) + "." +
                std::to_string(++serial);
    descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0 && errno != EEXIST) break;
  }
  if (descriptor < 0) {
    error = std::strerror(errno);
    return false;
  }
  std::FILE* file = ::fdopen(descriptor, "wb");
  if (!file) {
    error = std::strerror(errno);
    ::close(descriptor);
    ::unlink(temporary.c_str());
    return false;
  }
  bool ok = Compress(image, file, quality, error);
  if (std::fflush(file) != 0 && ok) {
    error = std::strerror(errno);
    ok = false;
  }
  if (std::fclose(file) != 0 && ok) {
    error = std::strerror(errno);
    ok = false;
  }
  if (ok && std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = std::strerror(errno);
    ok = false;
  }
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}

}  // namespace qvhost
