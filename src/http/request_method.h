#pragma once
// The request methods by the index callers pass.

#include <optional>
#include <string_view>

namespace guild {

// 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT; any other index GET.
std::string_view MethodName(int index);

// The table of WebRequestXmlHttp: 0 GET, 1 POST, 2 PUT, 3 OPTIONS, 4 DELETE, 5 PATCH;
// nullopt for any other index.
std::optional<std::string_view> XmlHttpMethodName(int index);

}  // namespace guild
