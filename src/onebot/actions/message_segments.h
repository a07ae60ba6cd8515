#pragma once
// The message of a sending action as one text in CQ-code form. Segment arrays are rendered
// into it with their texts CQ-escaped, so a user's text that looks like a code stays text;
// the escapes are undone just before posting.

#include <string>
#include <string_view>

#include "json/json_document.h"

namespace guild {

// How a voice segment is rendered: as a record code, or (send_msg arrays) its file alone.
enum class VoiceForm { kRecordCode, kBareFile };

// params.message of the request: a segment array rendered segment by segment, one segment
// object rendered alone, anything else read as CQ-code text. Segment types: text, image,
// voice, at; other types add nothing.
std::string RenderMessage(const JsonDocument& request, VoiceForm voice);

// True when params.message is a segment array.
bool IsSegmentArray(const JsonDocument& request);

// CQ escaping: "&", "[" and "]" in text; also "," in code parameters.
std::string EscapeCqText(std::string_view text);
std::string EscapeCqParameter(std::string_view text);
std::string UnescapeCq(std::string_view text);

}  // namespace guild
