#pragma once
// Reading multipart/form-data bodies, as image uploads to a channel arrive. Pure functions;
// any thread.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_types.h"

namespace guild::sim {

// The boundary named by a Content-Type value such as
// `multipart/form-data; boundary="xyz"`; nullopt for any other type or without a boundary.
std::optional<std::string> MultipartBoundary(std::string_view contentType);

// Every part of `body`, each with its exact bytes. nullopt when the body does not open with
// the boundary, a part has no blank line after its headers, or the closing boundary is missing.
std::optional<std::vector<FormPart>> ParseMultipart(std::string_view body,
                                                    std::string_view boundary);

}  // namespace guild::sim
