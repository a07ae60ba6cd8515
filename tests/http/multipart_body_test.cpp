#include "http/multipart_body.h"

#include <gtest/gtest.h>

#include <vector>

namespace guild {
namespace {

using namespace std::string_literals;

// Image bytes hold a zero byte, CR LF and a "--" a careless framer would trip over.
const std::string kImage = "\x89PNG\r\n\0\r\n--x"s;

const std::vector<MultipartField> kUpload = {
    {.name = "msg_id", .bytes = "m1"},
    {.name = "content", .bytes = "你好\r\n"},
    {.name = "file_image", .bytes = kImage, .filename = "image.png", .contentType = "image/png"},
};

TEST(FrameMultipart, FramesEachFieldInOrderWithCrLf) {
  EXPECT_EQ(FrameMultipart(kUpload, "B0"),
            "--B0\r\n"
            "Content-Disposition: form-data; name=\"msg_id\"\r\n"
            "\r\n"
            "m1\r\n"
            "--B0\r\n"
            "Content-Disposition: form-data; name=\"content\"\r\n"
            "\r\n"
            "你好\r\n\r\n"
            "--B0\r\n"
            "Content-Disposition: form-data; name=\"file_image\"; filename=\"image.png\"\r\n"
            "Content-Type: image/png\r\n"
            "\r\n"s +
                kImage +
                "\r\n"
                "--B0--\r\n");
  EXPECT_EQ(FrameMultipart({}, "B0"), "--B0--\r\n");
}

TEST(FrameMultipart, QuotesCannotEndANameOrAHeaderLine) {
  const std::vector<MultipartField> fields = {
      {.name = "a\"b", .bytes = "v", .filename = "x\r\nContent-Type: text/html\".png"}};
  EXPECT_EQ(FrameMultipart(fields, "B"),
            "--B\r\n"
            "Content-Disposition: form-data; name=\"a%22b\"; "
            "filename=\"x%0D%0AContent-Type: text/html%22.png\"\r\n"
            "\r\n"
            "v\r\n"
            "--B--\r\n");
}

TEST(BuildMultipartBody, NamesItsBoundaryAndFramesWithIt) {
  std::mt19937_64 random(7);
  const auto body = BuildMultipartBody(kUpload, random);
  ASSERT_TRUE(body.has_value());
  const std::string prefix = "multipart/form-data; boundary=";
  ASSERT_TRUE(body->contentType.starts_with(prefix)) << body->contentType;
  const std::string boundary = body->contentType.substr(prefix.size());
  // RFC 2046: 1 to 70 characters; plain ones need no quoting in the header.
  EXPECT_LE(boundary.size(), 70u);
  EXPECT_EQ(
      boundary.find_first_not_of("-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"),
      std::string::npos)
      << boundary;
  EXPECT_EQ(body->bytes, FrameMultipart(kUpload, boundary));

  // Boundaries differ from draw to draw, so no fixed text can be planted to match one.
  const auto again = BuildMultipartBody(kUpload, random);
  ASSERT_TRUE(again.has_value());
  EXPECT_NE(again->contentType, body->contentType);
}

TEST(BuildMultipartBody, PassesOverABoundaryThatOccursInAField) {
  std::mt19937_64 first(42);
  const auto plain = BuildMultipartBody(kUpload, first);
  ASSERT_TRUE(plain.has_value());
  const std::string drawn = plain->contentType.substr(plain->contentType.find('=') + 1);

  // The same draws, but now the first one is inside the image bytes.
  std::vector<MultipartField> planted = kUpload;
  planted.back().bytes += "\r\n--" + drawn + "--\r\n";
  std::mt19937_64 same(42);
  const auto body = BuildMultipartBody(planted, same);
  ASSERT_TRUE(body.has_value());
  const std::string boundary = body->contentType.substr(body->contentType.find('=') + 1);
  EXPECT_NE(boundary, drawn);
  EXPECT_EQ(planted.back().bytes.find(boundary), std::string::npos);
  EXPECT_EQ(body->bytes, FrameMultipart(planted, boundary));
}

}  // namespace
}  // namespace guild
