#pragma once
// Carrying one cookie text from request to request.

#include <string>

namespace guild {

// Folds the cookies sent with a request into those the response set: received values win,
// sent cookies the server did not mention are kept, "name=deleted" items are dropped and
// repeats removed. Blanks (space, U+3000) vanish from both texts. `sent` receives the
// merged text, which is also returned; `received` is left without its blanks.
std::string MergeCookies(std::string& sent, std::string& received);

}  // namespace guild
