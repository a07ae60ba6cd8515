#pragma once
// Header texts as the request routines take and give them: lines separated by CR LF, the
// last line usually without one.

#include <string>
#include <string_view>
#include <vector>

namespace guild {

// Capitalises every header name: the first letter, and the first letter after each "-"
// ("content-type: a" gives "Content-Type: a", "X-self-ID: 1" gives "X-Self-ID: 1"). Lines
// without ":" are dropped; the result never ends with CR LF.
std::string NormalizeHeaderNames(std::string_view text);

// The pieces between CR LFs, empty ones included ("" gives one empty piece).
std::vector<std::string> SplitLines(std::string_view text);

// The lines of a header text that go on the wire: every non-empty piece between CR LFs.
std::vector<std::string> HeaderLinesOf(std::string_view text);

// Blanks (ASCII space and U+3000) removed at both ends.
std::string TrimBlanks(std::string_view text);

// ASCII letters compared without case.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// Which response lines carry a cookie.
enum class SetCookieLines {
  kNamed,       // the text before the first ": " is exactly "Set-Cookie"
  kContaining,  // the line contains "Set-Cookie" anywhere (letter case significant)
};

// The cookie one Set-Cookie line sets: the text after "Set-Cookie:" up to the first ";"
// (the whole rest without one), trimmed; "a=1" for "Set-Cookie: a=1; Path=/".
std::string CookieOfSetCookieLine(std::string_view line);

// The cookies of the qualifying lines of a header block, in order, joined with "; ". Lines
// that set an empty cookie add nothing.
std::string CollectSetCookies(std::string_view headerLines, SetCookieLines rule);

// Adds the default lines a routine completes a header text with: each is appended (after a
// CR LF) when its probe does not occur anywhere in the text, letter case ignored.
struct DefaultHeaderLine {
  std::string_view probe;
  std::string line;
};
std::string CompleteHeaders(std::string text, const std::vector<DefaultHeaderLine>& defaults);

}  // namespace guild
