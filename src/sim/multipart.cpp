#include "sim/multipart.h"

#include <strings.h>

#include <cctype>

namespace guild::sim {
namespace {

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The parameters after the first ";" of a header value (`a=1; name="x;y"`), names folded to
// lower case, quoted values unquoted.
std::vector<std::pair<std::string, std::string>> HeaderParameters(std::string_view value) {
  std::vector<std::pair<std::string, std::string>> parameters;
  std::size_t i = value.find(';');
  while (i != std::string_view::npos && i < value.size()) {
    ++i;  // past ';'
    const std::size_t equals = value.find('=', i);
    const std::size_t semicolon = value.find(';', i);
    if (equals == std::string_view::npos ||
        (semicolon != std::string_view::npos && semicolon < equals)) {
      i = semicolon;
      continue;
    }
    std::string name(Trim(value.substr(i, equals - i)));
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::size_t k = equals + 1;
    while (k < value.size() && (value[k] == ' ' || value[k] == '\t')) ++k;
    std::string parsed;
    if (k < value.size() && value[k] == '"') {
      for (++k; k < value.size() && value[k] != '"'; ++k) {
        if (value[k] == '\\' && k + 1 < value.size()) ++k;
        parsed += value[k];
      }
      i = value.find(';', k);
    } else {
      const std::size_t end = value.find(';', k);
      parsed = std::string(Trim(value.substr(k, end == std::string_view::npos ? end : end - k)));
      i = end;
    }
    parameters.emplace_back(std::move(name), std::move(parsed));
  }
  return parameters;
}

std::string Parameter(std::string_view value, std::string_view name) {
  for (auto& [key, text] : HeaderParameters(value)) {
    if (key == name) return text;
  }
  return {};
}

FormPart ReadPartHeaders(std::string_view headers) {
  FormPart part;
  while (!headers.empty()) {
    const std::size_t end = headers.find("\r\n");
    const std::string_view line = headers.substr(0, end);
    headers = end == std::string_view::npos ? std::string_view{} : headers.substr(end + 2);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = Trim(line.substr(0, colon));
    const std::string_view value = Trim(line.substr(colon + 1));
    if (SameName(name, "Content-Disposition")) {
      part.name = Parameter(value, "name");
      part.filename = Parameter(value, "filename");
    } else if (SameName(name, "Content-Type")) {
      part.contentType = std::string(value);
    }
  }
  return part;
}

}  // namespace

std::optional<std::string> MultipartBoundary(std::string_view contentType) {
  const std::string_view type = Trim(contentType.substr(0, contentType.find(';')));
  if (!SameName(type, "multipart/form-data")) return std::nullopt;
  std::string boundary = Parameter(contentType, "boundary");
  if (boundary.empty()) return std::nullopt;
  return boundary;
}

std::optional<std::vector<FormPart>> ParseMultipart(std::string_view body,
                                                    std::string_view boundary) {
  const std::string delimiter = "--" + std::string(boundary);
  const std::string separator = "\r\n" + delimiter;
  std::size_t pos = 0;
  if (body.substr(0, delimiter.size()) == delimiter) {
    pos = delimiter.size();
  } else {
    // A preamble before the first boundary is allowed and ignored.
    const std::size_t first = body.find(separator);
    if (first == std::string_view::npos) return std::nullopt;
    pos = first + separator.size();
  }
  std::vector<FormPart> parts;
  for (;;) {
    if (body.substr(pos, 2) == "--") return parts;
    while (pos < body.size() && (body[pos] == ' ' || body[pos] == '\t')) ++pos;
    if (body.substr(pos, 2) != "\r\n") return std::nullopt;
    pos += 2;
    std::size_t contentStart = 0;
    std::string_view headers;
    if (body.substr(pos, 2) == "\r\n") {
      contentStart = pos + 2;
    } else {
      const std::size_t headersEnd = body.find("\r\n\r\n", pos);
      if (headersEnd == std::string_view::npos) return std::nullopt;
      headers = body.substr(pos, headersEnd - pos);
      contentStart = headersEnd + 4;
    }
    const std::size_t next = body.find(separator, contentStart);
    if (next == std::string_view::npos) return std::nullopt;
    FormPart part = ReadPartHeaders(headers);
    part.bytes = std::string(body.substr(contentStart, next - contentStart));
    parts.push_back(std::move(part));
    pos = next + separator.size();
  }
}

}  // namespace guild::sim
