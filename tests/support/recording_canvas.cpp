// SPDX-License-Identifier: MIT
#include "support/recording_canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace tamsel {
namespace {

// At most 4 decimals, no trailing zeros, "nan", "inf" or "-inf".
std::string recordedNumber(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.4f", value);
  std::string text(buffer);
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text == "-0" ? "0" : text;
}

// #RRGGBB, or #RRGGBBAA when alpha < 1.
std::string recordedColor(const Color& color) {
  auto byte = [](double component) {
    return static_cast<unsigned>(std::lround(std::clamp(component, 0.0, 1.0) * 255));
  };
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "#%02X%02X%02X", byte(color.red), byte(color.green),
                byte(color.blue));
  std::string text(buffer);
  if (color.alpha < 1) {
    std::snprintf(buffer, sizeof buffer, "%02X", byte(color.alpha));
    text += buffer;
  }
  return text;
}

// Rounding slack so that a line of exactly the width still fits.
constexpr double fitTolerance = 1e-9;

std::string box(const Rect& rect) {
  return recordedNumber(rect.x) + ' ' + recordedNumber(rect.y) + ' ' + recordedNumber(rect.width) +
         ' ' + recordedNumber(rect.height);
}

const char* familyName(FontFamily family) {
  switch (family) {
    case FontFamily::sans:
      return "sans";
    case FontFamily::serif:
      return "serif";
    case FontFamily::mono:
      return "mono";
  }
  return "sans";
}

// Characters: bytes that do not continue a UTF-8 sequence.
int characterCount(std::string_view text) {
  return static_cast<int>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// Lines of one paragraph (no line feeds) holding `capacity` characters each.
int paragraphLines(std::string_view paragraph, int capacity) {
  int lines = 1;
  int used = 0;
  bool lineEmpty = true;
  std::size_t start = 0;
  while (start <= paragraph.size()) {
    std::size_t end = paragraph.find(' ', start);
    if (end == std::string_view::npos) end = paragraph.size();
    int word = characterCount(paragraph.substr(start, end - start));
    start = end + 1;
    if (word == 0) continue;
    if (!lineEmpty && used + 1 + word <= capacity) {
      used += 1 + word;
      continue;
    }
    if (!lineEmpty) ++lines;
    for (; word > capacity; word -= capacity) ++lines;
    used = word;
    lineEmpty = false;
  }
  return lines;
}

}  // namespace

int RecordingCanvas::lineCount(const StyledText& text, double width) {
  if (text.text.empty()) return 0;
  const double advance = 0.5 * text.font.size + text.kern;
  const double fit = advance > 0 ? std::floor(width / advance + fitTolerance) : 1e9;
  const int capacity = static_cast<int>(std::clamp(fit, 1.0, 1e9));
  int lines = 0;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.text.find('\n', start);
    lines += paragraphLines(std::string_view(text.text).substr(start, end - start), capacity);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

void RecordingCanvas::fillRect(const Rect& rect, const Color& color) {
  calls_.push_back("fillRect " + box(rect) + ' ' + recordedColor(color));
}

void RecordingCanvas::strokeRect(const Rect& rect, const Color& color, double lineWidth) {
  calls_.push_back("strokeRect " + box(rect) + ' ' + recordedColor(color) + ' ' +
                   recordedNumber(lineWidth));
}

void RecordingCanvas::fillRoundedRect(const Rect& rect, double radius, const Color& color) {
  calls_.push_back("fillRoundedRect " + box(rect) + ' ' + recordedNumber(radius) + ' ' +
                   recordedColor(color));
}

void RecordingCanvas::strokeRoundedRect(const Rect& rect, double radius, const Color& color,
                                        double lineWidth) {
  calls_.push_back("strokeRoundedRect " + box(rect) + ' ' + recordedNumber(radius) + ' ' +
                   recordedColor(color) + ' ' + recordedNumber(lineWidth));
}

void RecordingCanvas::fillGradient(const Rect& rect, double radius,
                                   std::span<const GradientStop> stops) {
  std::string call = "fillGradient " + box(rect) + ' ' + recordedNumber(radius);
  for (const GradientStop& stop : stops) {
    call += ' ' + recordedColor(stop.color) + '@' + recordedNumber(stop.location);
  }
  calls_.push_back(call);
}

double RecordingCanvas::textHeight(const StyledText& text, double width, double) {
  return lineCount(text, width) * text.font.size * text.lineHeightMultiple;
}

void RecordingCanvas::drawText(const StyledText& text, const Rect& rect, bool truncate) {
  const int lines = lineCount(text, rect.width);
  const double lineHeight = text.font.size * text.lineHeightMultiple;
  const double fitting = lineHeight > 0 ? std::floor(rect.height / lineHeight + fitTolerance) : 1;
  const int visible = static_cast<int>(std::clamp(fitting, 1.0, static_cast<double>(lines)));

  std::string call = "drawText " + box(rect) + ' ' + familyName(text.font.family) + ' ' +
                     std::to_string(text.font.weight) + ' ' + recordedNumber(text.font.size) +
                     " lh=" + recordedNumber(text.lineHeightMultiple);
  if (text.kern != 0) call += " kern=" + recordedNumber(text.kern);
  call += ' ' + recordedColor(text.color) + " lines=" + std::to_string(visible);
  if (truncate) call += " truncate";
  call += " \"" + text.text + '"';
  for (const ColorRun& run : text.runs) {
    call += ' ' + std::to_string(run.start) + '+' + std::to_string(run.length) +
            recordedColor(run.color);
  }
  calls_.push_back(call);
}

}  // namespace tamsel
