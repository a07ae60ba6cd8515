#pragma once
// Script calls for the callers that need them. There is no script engine: the JScript
// globals encodeURI and encodeURIComponent are built in after ECMA-262, and every other
// script call fails with an error text.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace guild {

// Percent-encodes UTF-8 text as ECMAScript's encodeURIComponent (component) or encodeURI
// does: each UTF-8 byte of a character outside the function's unreserved set becomes %XX
// with upper-case hex. Text that is not valid UTF-8 (a lone surrogate included) gives "",
// where JavaScript throws URIError. Thread-safe.
std::string EncodeUriText(std::string_view text, bool component);

// Copies share one host: settings and LastError are seen by all of them. Any thread may call
// any method; each call locks the shared state.
class ScriptHost {
 public:
  ScriptHost();

  // Always fails (false, LastError set): there is no engine to run statements.
  bool ExecuteStatement(std::string_view code);

  // Always fails ("", LastError set).
  std::string Eval(std::string_view expression);

  // Always fails (LastError set): code cannot be kept without an engine.
  void AddCode(std::string_view code);

  // Clears LastError; the settings stay.
  void Reset();

  // The error text of the last script call; "" when it succeeded.
  std::string LastError() const;

  // A second handle on this host.
  ScriptHost GetControl() const;

  // Calls a global script function with the arguments given, up to the first omitted one.
  // Only encodeURI and encodeURIComponent exist, and only while the language is JScript; a
  // missing argument is JavaScript's undefined. Any failure gives "" and sets LastError.
  std::string Run(std::string_view functionName, std::optional<std::string_view> arg1 = {},
                  std::optional<std::string_view> arg2 = {},
                  std::optional<std::string_view> arg3 = {},
                  std::optional<std::string_view> arg4 = {},
                  std::optional<std::string_view> arg5 = {},
                  std::optional<std::string_view> arg6 = {});

  // Kind 0 or omitted selects "JScript", kind 1 "vbs", any other keeps the language.
  // Returns the language in force.
  std::string SetLanguage(std::optional<int> kind = std::nullopt);

  // Stores the time limit (omitted: -1, no limit; initially 10000) and returns it.
  int SetTimeout(std::optional<int> milliseconds = std::nullopt);

  // The setters below store a value when given (initially 0, true, 0) and return the value
  // in force. They are kept for callers that set them; nothing here acts on them.
  int SetState(std::optional<int> state = std::nullopt);
  bool SetAllowUI(std::optional<bool> allow = std::nullopt);
  std::intptr_t SetSiteWindow(std::optional<std::intptr_t> window = std::nullopt);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace guild
