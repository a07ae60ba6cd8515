#include "util/script_host.h"

#include <mutex>

namespace guild {
namespace {

constexpr std::string_view kJScript = "JScript";
constexpr std::string_view kVbScript = "vbs";
constexpr std::string_view kNoEngine =
    "there is no script engine: only encodeURI and encodeURIComponent can be run";

// Length of the well-formed UTF-8 sequence at pos (RFC 3629: no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0 when the bytes there are not one.
std::size_t SequenceLength(std::string_view text, std::size_t pos) {
  auto byte = [&](std::size_t i) {
    return pos + i < text.size() ? static_cast<unsigned char>(text[pos + i]) : 0u;
  };
  auto tail = [&](std::size_t i) { return byte(i) >= 0x80 && byte(i) <= 0xBF; };
  unsigned lead = byte(0);
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return tail(1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
    unsigned high = lead == 0xED ? 0x9F : 0xBF;
    return byte(1) >= low && byte(1) <= high && tail(2) ? 3 : 0;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    unsigned low = lead == 0xF0 ? 0x90 : 0x80;
    unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
    return byte(1) >= low && byte(1) <= high && tail(2) && tail(3) ? 4 : 0;
  }
  return 0;
}

bool IsUnreserved(char c, bool component) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  constexpr std::string_view kMarks = "-_.!~*'()";
  constexpr std::string_view kReserved = ";/?:@&=+$,#";
  return kMarks.find(c) != std::string_view::npos ||
         (!component && kReserved.find(c) != std::string_view::npos);
}

// Returns the offset of the first byte that is not valid UTF-8, or npos when all was encoded.
std::size_t EncodeUriInto(std::string_view text, bool component, std::string& out) {
  constexpr char kHex[] = "0123456789ABCDEF";
  out.clear();
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t length = SequenceLength(text, pos);
    if (length == 0) {
      out.clear();
      return pos;
    }
    if (length == 1 && IsUnreserved(text[pos], component)) {
      out.push_back(text[pos++]);
      continue;
    }
    for (std::size_t end = pos + length; pos < end; ++pos) {
      auto byte = static_cast<unsigned char>(text[pos]);
      out.push_back('%');
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0x0F]);
    }
  }
  return std::string_view::npos;
}

}  // namespace

std::string EncodeUriText(std::string_view text, bool component) {
  std::string out;
  EncodeUriInto(text, component, out);
  return out;
}

struct ScriptHost::State {
  mutable std::mutex mutex;
  std::string language{kJScript};
  int timeout = 10000;
  int state = 0;
  bool allowUi = true;
  std::intptr_t siteWindow = 0;
  std::string lastError;
};

ScriptHost::ScriptHost() : state_(std::make_shared<State>()) {}

bool ScriptHost::ExecuteStatement(std::string_view) {
  std::lock_guard lock(state_->mutex);
  state_->lastError = std::string("ExecuteStatement: ").append(kNoEngine);
  return false;
}

std::string ScriptHost::Eval(std::string_view) {
  std::lock_guard lock(state_->mutex);
  state_->lastError = std::string("Eval: ").append(kNoEngine);
  return {};
}

void ScriptHost::AddCode(std::string_view) {
  std::lock_guard lock(state_->mutex);
  state_->lastError = std::string("AddCode: ").append(kNoEngine);
}

void ScriptHost::Reset() {
  std::lock_guard lock(state_->mutex);
  state_->lastError.clear();
}

std::string ScriptHost::LastError() const {
  std::lock_guard lock(state_->mutex);
  return state_->lastError;
}

ScriptHost ScriptHost::GetControl() const {
  return *this;
}

std::string ScriptHost::Run(std::string_view functionName, std::optional<std::string_view> arg1,
                            std::optional<std::string_view>, std::optional<std::string_view>,
                            std::optional<std::string_view>, std::optional<std::string_view>,
                            std::optional<std::string_view>) {
  std::lock_guard lock(state_->mutex);
  std::string& error = state_->lastError;
  const bool component = functionName == "encodeURIComponent";
  if (!component && functionName != "encodeURI") {
    error = std::string("'").append(functionName).append("' is undefined: ").append(kNoEngine);
    return {};
  }
  if (state_->language != kJScript) {
    error =
        std::string(functionName) + " is a JScript function; the language is " + state_->language;
    return {};
  }
  // Both functions read only their first argument, and ToString(undefined) is "undefined".
  std::string out;
  std::size_t bad = EncodeUriInto(arg1.value_or("undefined"), component, out);
  if (bad != std::string_view::npos) {
    error = "URIError: the text to encode is not valid UTF-8 at byte " + std::to_string(bad);
    return {};
  }
  error.clear();
  return out;
}

std::string ScriptHost::SetLanguage(std::optional<int> kind) {
  std::lock_guard lock(state_->mutex);
  int chosen = kind.value_or(0);
  if (chosen == 0) state_->language = kJScript;
  if (chosen == 1) state_->language = kVbScript;
  return state_->language;
}

int ScriptHost::SetTimeout(std::optional<int> milliseconds) {
  std::lock_guard lock(state_->mutex);
  state_->timeout = milliseconds.value_or(-1);
  return state_->timeout;
}

int ScriptHost::SetState(std::optional<int> state) {
  std::lock_guard lock(state_->mutex);
  if (state) state_->state = *state;
  return state_->state;
}

bool ScriptHost::SetAllowUI(std::optional<bool> allow) {
  std::lock_guard lock(state_->mutex);
  if (allow) state_->allowUi = *allow;
  return state_->allowUi;
}

std::intptr_t ScriptHost::SetSiteWindow(std::optional<std::intptr_t> window) {
  std::lock_guard lock(state_->mutex);
  if (window) state_->siteWindow = *window;
  return state_->siteWindow;
}

}  // namespace guild
