#include "service/skim_json.h"

#include <cstdint>
#include <cstdio>

namespace tamsel {
namespace {

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";

// Length of the well-formed UTF-8 sequence at the start of `text`, or 0 when
// it is ill-formed (overlong, surrogate, beyond U+10FFFF or truncated).
std::size_t utf8SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint8_t low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

void appendEscaped(std::string& out, std::string_view text) {
  out += '"';
  while (!text.empty()) {
    const char c = text.front();
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (u < 0x20) {
      char escape[7];
      std::snprintf(escape, sizeof escape, "\\u%04x", u);
      out += escape;
    } else if (u >= 0x80) {
      const std::size_t length = utf8SequenceLength(text);
      if (length == 0) {
        out += replacementCharacter;
        text.remove_prefix(1);
        continue;
      }
      out += text.substr(0, length);
      text.remove_prefix(length);
      continue;
    } else {
      out += c;
    }
    text.remove_prefix(1);
  }
  out += '"';
}

}  // namespace

std::string jsonString(std::string_view text) {
  std::string out;
  appendEscaped(out, text);
  return out;
}

std::string skimToJson(const MarkdownSkim& skim) {
  std::string out = "{\"title\": ";
  appendEscaped(out, skim.title);
  out += ", \"blocks\": [";
  bool firstBlock = true;
  for (const auto& block : skim.blocks) {
    if (!firstBlock) out += ", ";
    firstBlock = false;
    out += "{\"kind\": ";
    appendEscaped(out, kindName(block.kind()));
    if (block.isMono()) {
      out += ", \"lines\": [";
      bool firstLine = true;
      for (const auto& line : block.lines()) {
        if (!firstLine) out += ", ";
        firstLine = false;
        appendEscaped(out, line);
      }
      out += ']';
    } else {
      out += ", \"text\": ";
      appendEscaped(out, block.text());
    }
    out += '}';
  }
  out += "]}";
  return out;
}

}  // namespace tamsel
