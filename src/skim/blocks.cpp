// SPDX-License-Identifier: MIT
#include "skim/blocks.h"

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "skim/inline.h"
#include "skim/text.h"

namespace tamsel {
namespace {

using Block = MarkdownSkim::Block;

constexpr std::u16string_view fenceMarker = u"```";

// One line of the text: units [start, end) without the line break. `next`
// is where the following line starts; past the text's length for the last.
struct Line {
  int32_t start;
  int32_t end;
  int32_t next;
};

// The line starting at `offset`, or none past the last line. Lines are cut
// at LF only; the CR of a CR LF is not part of its line, a lone CR is.
// Finding lines one at a time keeps a 64 KiB text from becoming thousands
// of strings when only a few dozen lines are read.
std::optional<Line> lineAt(const icu::UnicodeString& text, int32_t offset) {
  if (offset > text.length()) return std::nullopt;
  const int32_t lineFeed = text.indexOf(u'\n', offset);
  if (lineFeed < 0) return Line{offset, text.length(), text.length() + 1};
  const bool crLf = lineFeed > offset && text[lineFeed - 1] == u'\r';
  return Line{offset, crLf ? lineFeed - 1 : lineFeed, lineFeed + 1};
}

// The first line at or after `offset` that is not blank. Blank lines are
// passed over in one loop over units, not line by line: a text of 64 KiB of
// line breaks costs no more than one of 64 KiB of letters.
std::optional<Line> nextNonBlankLine(const icu::UnicodeString& text, int32_t offset) {
  const char16_t* units = text.getBuffer();
  const int32_t length = text.length();
  int32_t lineStart = offset;
  for (int32_t i = offset; i < length; ++i) {
    const char16_t unit = units[i];
    if (unit == u'\n') {
      lineStart = i + 1;
    } else if (!(unit == u'\r' && i + 1 < length && units[i + 1] == u'\n') &&
               !detail::isTrimmable(unit)) {
      return lineAt(text, lineStart);
    }
  }
  return std::nullopt;
}

// Lines are read-only aliases into the text, not copies: a skim reads up
// to 120 lines, and most of them are only tested and dropped. An alias is
// valid while the text lives unchanged, which holds for the whole of
// `skimText`; copying an alias makes a real string.
icu::UnicodeString lineText(const icu::UnicodeString& text, const Line& line) {
  return text.tempSubString(line.start, line.end - line.start);
}

icu::UnicodeString trimmedLineText(const icu::UnicodeString& text, const Line& line) {
  int32_t start = line.start;
  int32_t end = line.end;
  while (start < end && detail::isTrimmable(text[start])) ++start;
  while (end > start && detail::isTrimmable(text[end - 1])) --end;
  return text.tempSubString(start, end - start);
}

// "# Title" gives "Title": the title line's text before cleaning.
std::optional<icu::UnicodeString> titleLineText(const icu::UnicodeString& trimmed) {
  if (!detail::startsWithCharacters(trimmed, u"# ")) return std::nullopt;
  return icu::UnicodeString(trimmed, 2);
}

// "=====" under a line makes that line a title.
bool isUnderline(const icu::UnicodeString& text, const Line& line) {
  const icu::UnicodeString trimmed = trimmedLineText(text, line);
  if (trimmed.isEmpty()) return false;
  for (int32_t i = 0; i < trimmed.length(); ++i) {
    if (trimmed[i] != u'=') return false;
  }
  return true;
}

// "## Setup" gives " Setup", "#" gives "": what follows the run of "#".
std::optional<icu::UnicodeString> headingText(const icu::UnicodeString& trimmed) {
  int32_t run = 0;
  while (run < trimmed.length() && trimmed[run] == u'#') ++run;
  if (run == 0 || run > maxHeadingLevel) return std::nullopt;
  if (run == trimmed.length()) return icu::UnicodeString();
  if (trimmed[run] != u' ' || !detail::CharacterCursor(trimmed).isBoundary(run + 1)) {
    return std::nullopt;
  }
  return icu::UnicodeString(trimmed, run);
}

// "- item", "* item" and "+ item" give "item".
std::optional<icu::UnicodeString> bulletText(const icu::UnicodeString& trimmed) {
  for (const std::u16string_view marker : {u"- ", u"* ", u"+ "}) {
    if (detail::startsWithCharacters(trimmed, marker)) return icu::UnicodeString(trimmed, 2);
  }
  return std::nullopt;
}

// "12. item" and "١. item" give "item"; "1) item" and "3.14 is pi" are no items.
std::optional<icu::UnicodeString> numberedText(const icu::UnicodeString& trimmed) {
  // Most lines hold no "." at all, or start with one; "." is not numeric.
  if (trimmed.indexOf(u'.') <= 0) return std::nullopt;
  detail::CharacterCursor cursor(trimmed);
  for (int32_t offset = 0; offset < trimmed.length();) {
    const int32_t next = cursor.nextBoundary(offset);
    if (next == offset + 1 && trimmed[offset] == u'.') {
      const bool spaceFollows =
          next < trimmed.length() && trimmed[next] == u' ' && cursor.nextBoundary(next) == next + 1;
      if (offset == 0 || !spaceFollows) return std::nullopt;
      return icu::UnicodeString(trimmed, next + 1);
    }
    const char16_t unit = trimmed[offset];
    if (!detail::isNumeric(U16_IS_LEAD(unit) ? trimmed.char32At(offset) : unit)) {
      return std::nullopt;
    }
    offset = next;
  }
  return std::nullopt;
}

std::optional<icu::UnicodeString> itemText(const icu::UnicodeString& trimmed) {
  if (auto text = bulletText(trimmed)) return text;
  return numberedText(trimmed);
}

struct TitleCandidate {
  icu::UnicodeString text;  // cleaned
  int32_t startOffset;      // where the block pass starts when this wins
};

struct TitleScan {
  std::optional<TitleCandidate> titleLine;
  std::optional<TitleCandidate> underlined;
};

// Fences are not tracked here: a "# " line inside one counts like any other.
// Blank lines are passed over and not counted.
TitleScan scanForTitle(const icu::UnicodeString& text) {
  TitleScan scan;
  int nonBlankLines = 0;
  for (auto line = nextNonBlankLine(text, 0); line; line = nextNonBlankLine(text, line->next)) {
    if (++nonBlankLines > titleScanLimit) break;
    const icu::UnicodeString trimmed = trimmedLineText(text, *line);
    if (auto title = titleLineText(trimmed)) {
      scan.titleLine = TitleCandidate{cleanInline(*title), line->next};
      break;
    }
    if (scan.underlined) continue;
    if (detail::startsWithCharacters(trimmed, u"#") ||
        detail::startsWithCharacters(trimmed, fenceMarker)) {
      continue;
    }
    const auto underline = lineAt(text, line->next);
    if (underline && isUnderline(text, *underline)) {
      scan.underlined = TitleCandidate{cleanInline(trimmed), underline->next};
    }
  }
  return scan;
}

// A "# " line with text beats an underlined title above it; one that cleans
// to nothing still moves the start past itself.
TitleCandidate chooseTitle(const TitleScan& scan) {
  if (scan.titleLine && !scan.titleLine->text.isEmpty()) return *scan.titleLine;
  if (scan.underlined) return *scan.underlined;
  if (scan.titleLine) return *scan.titleLine;
  return TitleCandidate{icu::UnicodeString(), 0};
}

struct BlockPass {
  std::vector<Block> blocks;
  std::vector<icu::UnicodeString> paragraphLines;  // trimmed
  std::vector<icu::UnicodeString> codeLines;       // at most codeLineLimit
  bool inFence = false;
};

void appendCleaned(std::vector<Block>& blocks, Block (*make)(std::string),
                   const icu::UnicodeString& text) {
  const icu::UnicodeString cleaned = cleanInline(text);
  if (!cleaned.isEmpty()) blocks.push_back(make(detail::toUtf8(cleaned)));
}

// Ends a paragraph: its lines joined with one space and cleaned, when
// anything is left. `lines` is emptied in every case.
void flushParagraph(std::vector<icu::UnicodeString>& lines, std::vector<Block>& blocks) {
  if (lines.empty()) return;
  icu::UnicodeString joined;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) joined.append(u' ');
    joined.append(lines[i]);
  }
  lines.clear();
  appendCleaned(blocks, &Block::body, joined);
}

// Ends a fenced block: blank lines are dropped from the end, then from the
// start, and what remains, if anything, becomes a mono block, untrimmed.
// `codeLines` is emptied in every case.
void flushCode(std::vector<icu::UnicodeString>& codeLines, std::vector<Block>& blocks) {
  std::size_t end = codeLines.size();
  while (end > 0 && detail::isBlank(codeLines[end - 1])) --end;
  std::size_t begin = 0;
  while (begin < end && detail::isBlank(codeLines[begin])) ++begin;
  if (begin < end) {
    std::vector<std::string> lines;
    lines.reserve(end - begin);
    for (std::size_t i = begin; i < end; ++i) lines.push_back(detail::toUtf8(codeLines[i]));
    blocks.push_back(Block::mono(std::move(lines)));
  }
  codeLines.clear();
}

// The rules in the order they are tried; the first that fits wins.
void skimLine(const icu::UnicodeString& text, const Line& rawLine, BlockPass& pass) {
  icu::UnicodeString line = trimmedLineText(text, rawLine);
  if (detail::startsWithCharacters(line, fenceMarker)) {
    if (pass.inFence) {
      flushCode(pass.codeLines, pass.blocks);
    } else {
      flushParagraph(pass.paragraphLines, pass.blocks);
    }
    pass.inFence = !pass.inFence;
  } else if (pass.inFence) {
    if (pass.codeLines.size() < codeLineLimit) {
      pass.codeLines.push_back(detail::firstCharacters(lineText(text, rawLine), codeLineWidth));
    }
  } else if (line.isEmpty()) {
    flushParagraph(pass.paragraphLines, pass.blocks);
  } else if (auto heading = headingText(line)) {
    flushParagraph(pass.paragraphLines, pass.blocks);
    appendCleaned(pass.blocks, &Block::heading, *heading);
  } else if (auto item = itemText(line)) {
    flushParagraph(pass.paragraphLines, pass.blocks);
    appendCleaned(pass.blocks, &Block::bullet, *item);
  } else {
    pass.paragraphLines.push_back(std::move(line));  // stays an alias until the flush
  }
}

std::vector<Block> skimBlocks(const icu::UnicodeString& text, int32_t startOffset) {
  BlockPass pass;
  int examined = 0;
  for (auto line = lineAt(text, startOffset);
       line && examined < lineWindow && pass.blocks.size() < blockLimit;
       line = lineAt(text, line->next), ++examined) {
    skimLine(text, *line, pass);
  }
  // An unclosed fence still shows its code.
  if (pass.inFence) flushCode(pass.codeLines, pass.blocks);
  flushParagraph(pass.paragraphLines, pass.blocks);
  // A line may end a paragraph and add its own block, passing the limit by one.
  if (pass.blocks.size() > blockLimit) {
    pass.blocks.erase(pass.blocks.begin() + blockLimit, pass.blocks.end());
  }
  return std::move(pass.blocks);
}

bool isDotsOnly(const icu::UnicodeString& text) {
  for (int32_t i = 0; i < text.length(); ++i) {
    if (text[i] != u'.') return false;
  }
  return true;
}

}  // namespace

icu::UnicodeString fallbackTitle(std::string_view fileName) {
  icu::UnicodeString name = detail::fromUtf8Repairing(fileName);
  const int32_t dot = name.lastIndexOf(u'.');
  if (dot <= 0) return name;
  icu::UnicodeString stem(name, 0, dot);
  // Nothing readable would be left; the whole name says more.
  if (isDotsOnly(stem)) return name;
  return stem;
}

MarkdownSkim skimText(const icu::UnicodeString& text, std::string_view fileName) {
  const TitleCandidate title = chooseTitle(scanForTitle(text));
  std::vector<Block> blocks = skimBlocks(text, title.startOffset);
  return MarkdownSkim{
      .title = detail::toUtf8(title.text.isEmpty() ? fallbackTitle(fileName) : title.text),
      .blocks = std::move(blocks),
  };
}

}  // namespace tamsel
