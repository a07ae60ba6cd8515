#include "http/multipart_body.h"

namespace guild {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr int kBoundaryDraws = 16;
constexpr std::size_t kRandomCharacters = 32;  // about 190 bits

std::string QuotedValue(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') {
      quoted += "%22";
    } else if (c == '\r') {
      quoted += "%0D";
    } else if (c == '\n') {
      quoted += "%0A";
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

std::string DrawBoundary(std::mt19937_64& random) {
  static constexpr std::string_view kAlphabet =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  std::uniform_int_distribution<std::size_t> pick(0, kAlphabet.size() - 1);
  std::string boundary = "guild-onebot-";
  for (std::size_t i = 0; i < kRandomCharacters; ++i) boundary += kAlphabet[pick(random)];
  return boundary;
}

bool OccursIn(std::span<const MultipartField> fields, std::string_view boundary) {
  for (const MultipartField& field : fields) {
    for (std::string_view text : {field.name, field.bytes, field.filename, field.contentType}) {
      if (text.find(boundary) != std::string_view::npos) return true;
    }
  }
  return false;
}

}  // namespace

std::string FrameMultipart(std::span<const MultipartField> fields, std::string_view boundary) {
  std::string body;
  std::size_t size = 0;
  for (const MultipartField& field : fields) size += field.bytes.size() + 160;
  body.reserve(size + boundary.size() * (fields.size() + 1));
  for (const MultipartField& field : fields) {
    body.append("--").append(boundary).append(kLineEnd);
    body.append("Content-Disposition: form-data; name=").append(QuotedValue(field.name));
    if (!field.filename.empty()) body.append("; filename=").append(QuotedValue(field.filename));
    body.append(kLineEnd);
    if (!field.contentType.empty()) {
      body.append("Content-Type: ").append(field.contentType).append(kLineEnd);
    }
    body.append(kLineEnd).append(field.bytes).append(kLineEnd);
  }
  body.append("--").append(boundary).append("--").append(kLineEnd);
  return body;
}

std::optional<MultipartBody> BuildMultipartBody(std::span<const MultipartField> fields,
                                                std::mt19937_64& random) {
  for (int draw = 0; draw < kBoundaryDraws; ++draw) {
    const std::string boundary = DrawBoundary(random);
    if (OccursIn(fields, boundary)) continue;
    return MultipartBody{.contentType = "multipart/form-data; boundary=" + boundary,
                         .bytes = FrameMultipart(fields, boundary)};
  }
  return std::nullopt;
}

std::optional<MultipartBody> BuildMultipartBody(std::span<const MultipartField> fields) {
  thread_local std::mt19937_64 random{std::random_device{}()};
  return BuildMultipartBody(fields, random);
}

}  // namespace guild
