#include "onebot/actions/image_source.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "temp_folder.h"

namespace guild {
namespace {

using namespace std::string_literals;

struct FormatCase {
  std::string label;
  std::string bytes;
  std::string filename;  // "" when the bytes are no known image
  std::string contentType;
};

class DetectImageFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(DetectImageFormatTest, ReadsTheSignature) {
  const auto format = DetectImageFormat(GetParam().bytes);
  if (GetParam().filename.empty()) {
    EXPECT_EQ(format, std::nullopt);
  } else {
    ASSERT_TRUE(format.has_value());
    EXPECT_EQ(format->filename, GetParam().filename);
    EXPECT_EQ(format->contentType, GetParam().contentType);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Signatures, DetectImageFormatTest,
    ::testing::Values(FormatCase{"png", "\x89PNG\r\n\x1A\n\0\0\0\rIHDR"s, "image.png", "image/png"},
                      FormatCase{"jpeg", "\xFF\xD8\xFF\xE0\0\x10JFIF"s, "image.jpg", "image/jpeg"},
                      FormatCase{"gif87", "GIF87a\x01\0"s, "image.gif", "image/gif"},
                      FormatCase{"gif89", "GIF89a\x01\0"s, "image.gif", "image/gif"},
                      FormatCase{"webp", "RIFF\x24\0\0\0WEBPVP8 "s, "image.webp", "image/webp"},
                      FormatCase{"bmp", "BM\x36\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0"s, "image.bmp",
                                 "image/bmp"},
                      FormatCase{"bmpCore", "BM\x1A\0\0\0\0\0\0\0\x1A\0\0\0\x0C\0\0\0"s,
                                 "image.bmp", "image/bmp"},
                      FormatCase{"textStartingBM", "BMW and Audi, two makes", "", ""},
                      FormatCase{"wave", "RIFF\x24\0\0\0WAVEfmt "s, "", ""},
                      FormatCase{"cutPng", "\x89PNG\r\n", "", ""},
                      FormatCase{"cutWebp", "RIFF\x24\0\0\0WEB"s, "", ""},
                      FormatCase{"gif90", "GIF90a", "", ""}, FormatCase{"text", "ABC", "", ""},
                      FormatCase{"empty", "", "", ""}),
    [](const auto& info) { return info.param.label; });

class ImageFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp.Created()); }
  std::filesystem::path Write(const std::string& name, const std::string& bytes) {
    return temp.Write(name, bytes);
  }
  static std::string Uri(const std::filesystem::path& path) { return "file://" + path.string(); }

  testing::TempFolder temp;
  const std::filesystem::path& folder = temp.Path();
};

TEST_F(ImageFileTest, ReadsEveryByteThroughEscapesAndLinks) {
  const std::string bytes = "GIF89a\0\r\n\xFF"s + std::string(70000, 'x');
  const auto path = Write("图 1.gif", bytes);
  std::filesystem::create_symlink(path, folder / "link.gif");
  const std::string escapedName = "%E5%9B%BE%201.gif";  // as Path.as_uri() writes it

  for (const std::string& uri : {Uri(path), Uri(folder / escapedName), Uri(folder / "link.gif")}) {
    SCOPED_TRACE(uri);
    const ImageBytes image = ReadImageFile(uri);
    EXPECT_EQ(image.failure, "");
    EXPECT_TRUE(image.bytes == bytes) << image.bytes.size() << " bytes";
  }
}

TEST_F(ImageFileTest, AFileAtTheLimitIsReadAndOneByteMoreIsNot) {
  const auto exact = Write("exact.png", "12345");
  const auto over = Write("over.png", "123456");
  EXPECT_EQ(ReadImageFile(Uri(exact), 5).bytes, "12345");
  const ImageBytes refused = ReadImageFile(Uri(over), 5);
  EXPECT_EQ(refused.failure, "image file is larger than 5 bytes: " + over.string());
  EXPECT_EQ(refused.bytes, "");
  EXPECT_EQ(ReadImageFile(Uri(Write("big.png", std::string(kMaxImageBytes + 1, 'x')))).failure,
            "image file is larger than 10 MiB: " + (folder / "big.png").string());
}

TEST(ImageFileLimit, AFileLongerThanItsStatedSizeIsCutOffAtTheLimit) {
  // /proc files state a size of 0 and then yield much more, as a growing file would.
  const ImageBytes image = ReadImageFile("file:///proc/self/maps", 16);
  EXPECT_EQ(image.failure, "image file is larger than 16 bytes: /proc/self/maps");
}

TEST_F(ImageFileTest, EachRefusalNamesItsReason) {
  ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
  std::filesystem::create_directory(folder / "dir");
  std::filesystem::create_symlink(folder / "loop", folder / "loop");
  const std::string base = folder.string();
  const struct {
    std::string uri;
    std::string failure;
  } cases[] = {
      {"file://" + base + "/missing.png", "image file not found: " + base + "/missing.png"},
      {"file://" + base + "/missing/x.png", "image file not found: " + base + "/missing/x.png"},
      {"file://" + base + "/dir", "image file is not a regular file: " + base + "/dir"},
      // Without O_NONBLOCK the open would wait for a writer and the test would hang.
      {"file://" + base + "/pipe", "image file is not a regular file: " + base + "/pipe"},
      {"file:///dev/null", "image file is not a regular file: /dev/null"},
      {"file://" + base + "/loop",
       "cannot open image file " + base + "/loop: Too many levels of symbolic links"},
      {"file://relative/x.png",
       "image file is not a local absolute path (file:///...): file://relative/x.png"},
      {"file:/x.png", "image file is not a local absolute path (file:///...): file:/x.png"},
      {"file://" + base + "/a%00.png",
       "image file path holds a zero byte: file://" + base + "/a%00.png"},
  };
  for (const auto& [uri, failure] : cases) {
    SCOPED_TRACE(uri);
    const ImageBytes image = ReadImageFile(uri);
    EXPECT_EQ(image.failure, failure);
    EXPECT_EQ(image.bytes, "");
  }
}

TEST(LoadImageBytes, DecodesBase64WithOrWithoutItsSchemeAndAcrossLineBreaks) {
  const struct {
    std::string file;
    std::string bytes;
    std::string failure;
  } cases[] = {
      {"base64://R0lGODlhAQ==", "GIF89a\x01"s, ""},
      {"R0lGODlhAQ==", "GIF89a\x01"s, ""},
      {"base64://R0lG\r\nODlh\nAQ==", "GIF89a\x01"s, ""},
      {"base64://R0lGODlhAQ", "", "image data is not valid base64"},
      {"base64://R0lG ODlh", "", "image data is not valid base64"},
      {"/tmp/a.png", "", "image data is not valid base64"},
      {"file:///nonexistent-image-dir/a.png", "",
       "image file not found: /nonexistent-image-dir/a.png"},
  };
  for (const auto& [file, bytes, failure] : cases) {
    SCOPED_TRACE(file);
    const ImageBytes image = LoadImageBytes(file);
    EXPECT_EQ(image.bytes, bytes);
    EXPECT_EQ(image.failure, failure);
  }
}

}  // namespace
}  // namespace guild
