#include "skim/skim.h"

#include <gtest/gtest.h>
#include <unicode/ustring.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "skim/text.h"
#include "support/skim_dump.h"

namespace tamsel {
namespace {

using Kind = MarkdownSkim::Block::Kind;

std::string lines(const std::string& line, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += line + "\n";
  return text;
}

bool isValidUtf8(const std::string& text) {
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  u_strFromUTF8(nullptr, 0, &length, text.data(), static_cast<int32_t>(text.size()), &status);
  return status != U_INVALID_CHAR_FOUND;
}

// What every skim promises its readers, however odd the input.
void expectInvariants(const MarkdownSkim& skim) {
  EXPECT_LE(skim.blocks.size(), blockLimit);
  EXPECT_TRUE(isValidUtf8(skim.title));
  for (const auto& block : skim.blocks) {
    if (block.isMono()) {
      EXPECT_GE(block.lines().size(), 1u);
      EXPECT_LE(block.lines().size(), codeLineLimit);
      for (const auto& line : block.lines()) EXPECT_TRUE(isValidUtf8(line));
    } else {
      EXPECT_FALSE(block.text().empty());
      EXPECT_TRUE(isValidUtf8(block.text()));
    }
  }
}

TEST(Limits, LineWindowCountsFromTheStartLine) {
  EXPECT_EQ(skim(lines("", lineWindow - 1) + "text\n", "n.md").blocks.size(), 1u);
  EXPECT_EQ(skim(lines("", lineWindow) + "text\n", "n.md").blocks.size(), 0u);
  EXPECT_EQ(skim("# T\n" + lines("", lineWindow - 1) + "text\n", "n.md").blocks.size(), 1u);
  // Fence lines and dropped code lines count as well.
  EXPECT_EQ(skim("```\n" + lines("x", lineWindow - 3) + "```\ntext\n", "n.md").blocks.size(), 2u);
  EXPECT_EQ(skim("```\n" + lines("x", lineWindow - 2) + "```\ntext\n", "n.md").blocks.size(), 1u);
}

TEST(Limits, BlockLimitStopsThePass) {
  EXPECT_EQ(skim(lines("- item", 30), "n.md").blocks.size(), blockLimit);
  // The 24th block stops the pass: the fence after it is never opened.
  const auto full = skim(lines("- item", 24) + "```\ncode\n", "n.md");
  EXPECT_EQ(full.blocks.back().kind(), Kind::bullet);
  // An item ending a paragraph adds two blocks; the 25th is dropped.
  const auto over = skim(lines("- item", 23) + "para\n- last\n- never\n", "n.md");
  ASSERT_EQ(over.blocks.size(), blockLimit);
  EXPECT_EQ(over.blocks.back().text(), "para");
}

TEST(Limits, CodeLineWidthCountsCharacters) {
  const std::string accented = std::string(codeLineWidth - 1, 'a') + "e\u0301";
  EXPECT_EQ(skim("```\n" + accented + "z\n```\n", "n.md").blocks[0].lines()[0], accented);
}

TEST(Limits, ParagraphOfHundredLinesIsOneClippedBody) {
  const auto result = skim(lines("word", 100), "n.md");
  ASSERT_EQ(result.blocks.size(), 1u);
  EXPECT_EQ(result.blocks[0].text().size(), 299u);  // 300 characters, the last a space
}

// Random documents from Markdown-ish pieces: the skim of CR LF text is the
// skim of the same text with LF, and every skim keeps its promises. A CR
// never comes right before an LF here, or it would join the line break.
TEST(Skim, CrLfGivesTheSameSkimAsLf) {
  const char* pieces[] = {"# ",      "## ", "- ", "* ",      "1. ",     "```",    "---", "===",
                          "word ",   "\n",  "\n", "\t",      " ",       "**",     "_",   "[a](b)",
                          "![i](j)", "<b>", "é",  "e\u0301", "#\u0301", "\u00A0", "\rx", "١. "};
  std::mt19937 random(11);
  for (int round = 0; round < 500; ++round) {
    std::string lf;
    const int length = static_cast<int>(random() % 200);
    for (int i = 0; i < length; ++i) lf += pieces[random() % std::size(pieces)];
    std::string crLf;
    for (const char c : lf) crLf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const MarkdownSkim fromLf = skim(lf, "n.md");
    expectInvariants(fromLf);
    ASSERT_EQ(testing::dumpSkim(skim(crLf, "n.md")), testing::dumpSkim(fromLf)) << lf;
  }
}

std::vector<std::pair<std::string, std::string>> samples() {
  std::vector<std::pair<std::string, std::string>> found;
  for (const auto& entry : std::filesystem::directory_iterator(TAMSEL_SOURCE_DIR "/data/samples")) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    found.emplace_back(entry.path().filename().string(), bytes.str());
  }
  return found;
}

// Other parts of the system draw and benchmark these; each must give a
// title of its own and something to draw.
TEST(Samples, EachGivesATitleAndBlocks) {
  const auto all = samples();
  ASSERT_GE(all.size(), 7u);
  for (const auto& [name, bytes] : all) {
    SCOPED_TRACE(name);
    const MarkdownSkim result = skim(bytes, name);
    expectInvariants(result);
    EXPECT_NE(result.title, detail::toUtf8(fallbackTitle(name)));
    EXPECT_GE(result.blocks.size(), 5u);
  }
}

TEST(Skim, ThreadsGetTheSameSkims) {
  const auto all = samples();
  std::vector<std::string> expected;
  for (const auto& [name, bytes] : all) expected.push_back(testing::dumpSkim(skim(bytes, name)));
  std::vector<std::thread> threads;
  std::atomic<int> mismatches = 0;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int round = 0; round < 20; ++round) {
        for (std::size_t i = 0; i < all.size(); ++i) {
          if (testing::dumpSkim(skim(all[i].second, all[i].first)) != expected[i]) ++mismatches;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches, 0);
}

TEST(Pathological, HostileInputsJustRun) {
  std::mt19937 random(20240301);
  std::string noise(70000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  std::string marks = "#";
  for (int i = 0; i < 20000; ++i) marks += "\u0301";
  const std::pair<const char*, std::string> cases[] = {
      {"64 KiB on one line", std::string(70000, 'a')},
      {"64 KiB of spaces", std::string(70000, ' ')},
      {"10,000 fences", lines("```", 10000)},
      {"unclosed front matter", "---\n" + lines("key: value", 7000)},
      {"NUL bytes", std::string(70000, '\0')},
      {"invalid UTF-8 throughout", noise},
      {"brackets", std::string(70000, '[')},
      {"unclosed tags", lines(std::string(1000, '<'), 70)},
      {"nothing but line breaks", std::string(70000, '\n')},
      {"lone carriage returns", std::string(70000, '\r')},
      {"combining marks on one base", marks},
      {"numbered digits forever", std::string(70000, '7')},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    expectInvariants(skim(bytes, "hostile\xFF.md"));
  }
}

}  // namespace
}  // namespace tamsel
