#include "onebot/actions/message_segments.h"

#include "util/text.h"

namespace guild {
namespace {

std::string RenderSegment(const JsonDocument& request, const std::string& path, VoiceForm voice) {
  const std::string type = request.GetText(path + ".type");
  if (type == "text") return EscapeCqText(request.GetText(path + ".data.text"));
  if (type == "image") {
    return "[CQ:image,file=" + EscapeCqParameter(request.GetText(path + ".data.file")) + "]";
  }
  if (type == "voice") {
    const std::string file = request.GetText(path + ".data.file");
    if (voice == VoiceForm::kBareFile) return EscapeCqText(file);
    return "[CQ:record,file=" + EscapeCqParameter(file) + "]";
  }
  if (type == "at")
    return "[CQ:at,qq=" + EscapeCqParameter(request.GetText(path + ".data.qq")) + "]";
  return "";
}

}  // namespace

bool IsSegmentArray(const JsonDocument& request) {
  return request.TypeOf("params.message") == JsonKind::kArray;
}

std::string RenderMessage(const JsonDocument& request, VoiceForm voice) {
  switch (request.TypeOf("params.message")) {
    case JsonKind::kArray: {
      std::string text;
      const std::size_t count = request.CountOf("params.message");
      for (std::size_t i = 0; i < count; ++i) {
        text += RenderSegment(request, "params.message[" + std::to_string(i) + "]", voice);
      }
      return text;
    }
    case JsonKind::kObject:
      return RenderSegment(request, "params.message", VoiceForm::kRecordCode);
    default:
      return request.GetText("params.message");
  }
}

std::string EscapeCqText(std::string_view text) {
  std::string escaped(text);
  ReplaceAll(escaped, "&", "&amp;");
  ReplaceAll(escaped, "[", "&#91;");
  ReplaceAll(escaped, "]", "&#93;");
  return escaped;
}

std::string EscapeCqParameter(std::string_view text) {
  std::string escaped = EscapeCqText(text);
  ReplaceAll(escaped, ",", "&#44;");
  return escaped;
}

std::string UnescapeCq(std::string_view text) {
  std::string plain(text);
  ReplaceAll(plain, "&#44;", ",");
  ReplaceAll(plain, "&#91;", "[");
  ReplaceAll(plain, "&#93;", "]");
  ReplaceAll(plain, "&amp;", "&");  // last, so "&amp;#91;" comes out as "&#91;"
  return plain;
}

}  // namespace guild
