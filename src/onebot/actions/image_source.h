#pragma once
// The bytes of an image an application sends as data or as a local file, and what kind of
// image they are.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace guild {

// Larger images are refused before anything is read or posted.
inline constexpr std::size_t kMaxImageBytes = 10 * 1024 * 1024;

struct ImageBytes {
  std::string bytes{};
  std::string failure{};  // why there are no bytes, for the action's answer; "" on success
};

// The bytes behind an image's file value that is not a web address: "file:///absolute/path"
// read from disk (see ReadImageFile), anything else base64 data with or without its
// "base64://". Line breaks inside base64 data are ignored; any other fault in it fails.
ImageBytes LoadImageBytes(std::string_view file);

// Reads "file:///absolute/path" (percent escapes decoded). Fails, naming the path, when it
// is missing or unreadable, not a regular file once symbolic links are followed, or larger
// than `limit`; never reads more than `limit` + 1 bytes, so a file that grows meanwhile is
// refused too. A FIFO or device is refused without waiting on it. Any thread.
ImageBytes ReadImageFile(std::string_view fileUri, std::size_t limit = kMaxImageBytes);

struct ImageFormat {
  std::string_view filename;     // "image.png", ...
  std::string_view contentType;  // "image/png", ...
};

// PNG, JPEG, GIF, WebP or BMP by the signature at the start of `bytes`; nullopt otherwise.
std::optional<ImageFormat> DetectImageFormat(std::string_view bytes);

}  // namespace guild
