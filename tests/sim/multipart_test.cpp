#include "sim/multipart.h"

#include <gtest/gtest.h>

namespace guild::sim {
namespace {

TEST(Multipart, BoundaryComesFromTheContentType) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"multipart/form-data; boundary=abc123", "abc123"},
      {"Multipart/Form-Data;boundary=\"a;b c\"", "a;b c"},
      {"multipart/form-data; charset=utf-8; BOUNDARY=xyz", "xyz"},
      {"multipart/form-data", std::nullopt},
      {"multipart/mixed; boundary=abc", std::nullopt},
      {"application/json", std::nullopt},
  };
  for (const auto& [contentType, boundary] : cases) {
    EXPECT_EQ(MultipartBoundary(contentType), boundary) << contentType;
  }
}

TEST(Multipart, PartsKeepTheirExactBytes) {
  // File bytes holding a NUL, CR LF, a line that starts like the boundary, and 0xFF.
  std::string file = "\x89PNG\r\n";
  file += '\0';
  file += "\xFF\r\n--X\r\n-";
  const std::string body =
      "preamble\r\n--XY\r\n"
      "Content-Disposition: form-data; name=\"msg_id\"\r\n\r\n"
      "08abc\r\n--XY\r\n"
      "content-disposition: form-data; name=\"file_image\"; "
      "filename=\"a b;.png\"\r\nContent-Type: image/png\r\n\r\n" +
      file + "\r\n--XY\r\n\r\nno headers\r\n--XY--\r\n";
  const auto parts = ParseMultipart(body, "XY");
  ASSERT_TRUE(parts);
  ASSERT_EQ(parts->size(), 3u);
  EXPECT_EQ((*parts)[0].name, "msg_id");
  EXPECT_EQ((*parts)[0].filename, "");
  EXPECT_EQ((*parts)[0].bytes, "08abc");
  EXPECT_EQ((*parts)[1].name, "file_image");
  EXPECT_EQ((*parts)[1].filename, "a b;.png");
  EXPECT_EQ((*parts)[1].contentType, "image/png");
  EXPECT_EQ((*parts)[1].bytes, file);
  EXPECT_EQ((*parts)[2].name, "");
  EXPECT_EQ((*parts)[2].bytes, "no headers");
}

TEST(Multipart, MalformedBodiesAreRefused) {
  const std::string cases[] = {
      "",
      "no boundary at all",
      "--XY\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nvalue",        // never closed
      "--XY\r\nContent-Disposition: form-data; name=\"a\"\r\nvalue\r\n--XY--",  // no blank line
      "--XYZ\r\n\r\nvalue\r\n--XYZ--",                                          // other boundary
  };
  for (const auto& body : cases) EXPECT_FALSE(ParseMultipart(body, "XY")) << body;
  const auto none = ParseMultipart("--XY--\r\n", "XY");
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty());
}

}  // namespace
}  // namespace guild::sim
