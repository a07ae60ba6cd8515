#pragma once
// multipart/form-data request bodies (RFC 7578), as file uploads are posted. Pure: builds
// bytes, sends nothing.

#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>

namespace guild {

struct MultipartField {
  std::string name{};
  std::string bytes{};        // sent exactly as they are
  std::string filename{};     // "" for a plain field
  std::string contentType{};  // "" writes no Content-Type line (a plain field)
};

struct MultipartBody {
  std::string contentType{};  // "multipart/form-data; boundary=..." for the request header
  std::string bytes{};
};

// The body of `fields` in order, framed with `boundary`, which the caller has made sure
// occurs in no field. A '"', CR or LF in a name or filename is written as %22, %0D or %0A,
// as browsers do, so it cannot end the quoted value or the header line.
std::string FrameMultipart(std::span<const MultipartField> fields, std::string_view boundary);

// The body of `fields` with a random boundary drawn from `random` that occurs in none of
// them. nullopt only when many draws in a row all occur in a field, which a sound generator
// does not do. Any thread, given a generator of its own.
std::optional<MultipartBody> BuildMultipartBody(std::span<const MultipartField> fields,
                                                std::mt19937_64& random);

// The same with a generator of the calling thread, seeded from std::random_device.
std::optional<MultipartBody> BuildMultipartBody(std::span<const MultipartField> fields);

}  // namespace guild
