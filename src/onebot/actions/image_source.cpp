#include "onebot/actions/image_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <system_error>

#include "http/url_encoding.h"
#include "util/text.h"

namespace guild {
namespace {

constexpr std::string_view kFileScheme = "file://";
constexpr std::string_view kBase64Scheme = "base64://";

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Applications write paths as URIs (%20 for a blank, UTF-8 escaped); a "%" that starts no
// escape is taken as itself, as a hand-written path means it.
std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int high = text[i] == '%' && i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
    const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
    if (low >= 0) {
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string SizeText(std::size_t bytes) {
  constexpr std::size_t kMiB = 1024 * 1024;
  if (bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
  return std::to_string(bytes) + " bytes";
}

ImageBytes Failure(std::string reason) {
  return {.failure = std::move(reason)};
}

std::string ErrorText(int error) {
  return std::system_category().message(error);
}

std::uint32_t LittleEndian32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t k = 4; k-- > 0;)
    value = (value << 8) | static_cast<unsigned char>(bytes[at + k]);
  return value;
}

}  // namespace

ImageBytes ReadImageFile(std::string_view fileUri, std::size_t limit) {
  if (!fileUri.starts_with(kFileScheme) || !fileUri.substr(kFileScheme.size()).starts_with('/')) {
    return Failure("image file is not a local absolute path (file:///...): " +
                   std::string(fileUri));
  }
  const std::string path = PercentDecode(fileUri.substr(kFileScheme.size()));
  if (path.find('\0') != std::string::npos) {
    return Failure("image file path holds a zero byte: " + std::string(fileUri));
  }
  // O_NONBLOCK: opening a FIFO would otherwise wait for a writer before fstat can refuse it.
  const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (file.get() < 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) return Failure("image file not found: " + path);
    return Failure("cannot open image file " + path + ": " + ErrorText(error));
  }
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) {
    return Failure("cannot read image file " + path + ": " + ErrorText(errno));
  }
  if (!S_ISREG(status.st_mode)) return Failure("image file is not a regular file: " + path);
  const std::string tooLarge = "image file is larger than " + SizeText(limit) + ": " + path;
  if (status.st_size < 0 || static_cast<std::uintmax_t>(status.st_size) > limit) {
    return Failure(tooLarge);
  }

  // One byte beyond the limit is room enough to tell that the file grew past it.
  std::string bytes(static_cast<std::size_t>(status.st_size) + 1, '\0');
  std::size_t total = 0;
  for (;;) {
    if (total == bytes.size()) {
      if (total > limit) break;
      bytes.resize(std::min(limit + 1, bytes.size() * 2));
    }
    const ssize_t count = ::read(file.get(), bytes.data() + total, bytes.size() - total);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      return Failure("cannot read image file " + path + ": " + ErrorText(errno));
    }
    total += static_cast<std::size_t>(count);
  }
  if (total > limit) return Failure(tooLarge);
  bytes.resize(total);
  return {.bytes = std::move(bytes)};
}

ImageBytes LoadImageBytes(std::string_view file) {
  if (file.starts_with("file:")) return ReadImageFile(file);
  std::string data(file.starts_with(kBase64Scheme) ? file.substr(kBase64Scheme.size()) : file);
  // Encoders that wrap their lines are common, and OneBot implementations accept them.
  ReplaceAll(data, "\r", "");
  ReplaceAll(data, "\n", "");
  std::optional<std::string> bytes = Base64Decode(data);
  if (!bytes) return Failure("image data is not valid base64");
  return {.bytes = std::move(*bytes)};
}

std::optional<ImageFormat> DetectImageFormat(std::string_view bytes) {
  if (bytes.starts_with("\x89PNG\r\n\x1A\n")) return ImageFormat{"image.png", "image/png"};
  if (bytes.starts_with("\xFF\xD8\xFF")) return ImageFormat{"image.jpg", "image/jpeg"};
  if (bytes.starts_with("GIF87a") || bytes.starts_with("GIF89a")) {
    return ImageFormat{"image.gif", "image/gif"};
  }
  if (bytes.size() >= 12 && bytes.starts_with("RIFF") && bytes.substr(8, 4) == "WEBP") {
    return ImageFormat{"image.webp", "image/webp"};
  }
  // "BM" alone starts too many texts; the size of the header that follows is one of few.
  if (bytes.size() >= 18 && bytes.starts_with("BM")) {
    switch (LittleEndian32(bytes, 14)) {
      case 12:
      case 40:
      case 52:
      case 56:
      case 64:
      case 108:
      case 124:
        return ImageFormat{"image.bmp", "image/bmp"};
      default:
        break;
    }
  }
  return std::nullopt;
}

}  // namespace guild
