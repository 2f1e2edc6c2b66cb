#include "service/command_line.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/file_url.h"

namespace tamsel {
namespace {

std::variant<CommandLine, std::string> parse(std::vector<const char*> args) {
  return parseCommandLine(args);
}

TEST(CommandLineTest, ReadsSizesAndOperands) {
  struct Case {
    std::vector<const char*> args;
    Size maximum;
    Size minimum;
    std::string input, output;
  };
  const Case cases[] = {
      {{"in.md", "out.png"}, {256, 256}, {0, 0}, "in.md", "out.png"},
      {{"-s", "128", "in.md", "out.png"}, {128, 128}, {0, 0}, "in.md", "out.png"},
      {{"-s64.5", "in.md", "out.png"}, {64.5, 64.5}, {0, 0}, "in.md", "out.png"},
      {{"--size=512", "in.md", "out.png"}, {512, 512}, {0, 0}, "in.md", "out.png"},
      {{"--max", "300x200", "--min=10X0", "a", "b"}, {300, 200}, {10, 0}, "a", "b"},
      {{"in.md", "-s", "1e2", "out.png"}, {100, 100}, {0, 0}, "in.md", "out.png"},
      {{"--", "-in.md", "--out.png"}, {256, 256}, {0, 0}, "-in.md", "--out.png"},
      {{"-", "out.png"}, {256, 256}, {0, 0}, "-", "out.png"},
  };
  for (const auto& c : cases) {
    const auto result = parse(c.args);
    ASSERT_TRUE(std::holds_alternative<CommandLine>(result)) << std::get<std::string>(result);
    const auto& line = std::get<CommandLine>(result);
    EXPECT_EQ(line.action, Action::thumbnail);
    EXPECT_EQ(line.maximum.width, c.maximum.width);
    EXPECT_EQ(line.maximum.height, c.maximum.height);
    EXPECT_EQ(line.minimum.width, c.minimum.width);
    EXPECT_EQ(line.minimum.height, c.minimum.height);
    EXPECT_EQ(line.input, c.input);
    EXPECT_EQ(line.output, c.output);
  }
}

TEST(CommandLineTest, RejectsMalformedRequests) {
  const std::vector<std::vector<const char*>> cases = {
      {},
      {"in.md"},
      {"a", "b", "c"},
      {"-x", "a", "b"},
      {"-s"},
      {"a", "b", "-s"},
      {"--size=", "a", "b"},
      {"-s", "0", "a", "b"},
      {"-s", "-0", "a", "b"},
      {"-s", "-5", "a", "b"},
      {"-s", "nan", "a", "b"},
      {"-s", "inf", "a", "b"},
      {"-s", "1e309", "a", "b"},
      {"-s", "0x10", "a", "b"},
      {"-s", " 256", "a", "b"},
      {"-s", "256px", "a", "b"},
      {"-s", "+256", "a", "b"},
      {"--max", "256x", "a", "b"},
      {"--max", "0x256", "a", "b"},
      {"--min", "-1x0", "a", "b"},
      {"--min", "1x2x3", "a", "b"},
      // Larger than the renderer's limit, directly or through the minimum.
      {"-s", "16385", "a", "b"},
      {"--min", "20000x1", "a", "b"},
      {"--skim"},
      {"--skim", "a", "b"},
  };
  for (const auto& args : cases) {
    const auto result = parse(args);
    ASSERT_TRUE(std::holds_alternative<std::string>(result)) << testing::PrintToString(args);
    const auto& message = std::get<std::string>(result);
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(message.find('\n'), std::string::npos);
  }
}

TEST(CommandLineTest, LargestPageIsAccepted) {
  // 4096 tall and 3166.2 wide: at the limit, not over it.
  EXPECT_TRUE(std::holds_alternative<CommandLine>(parse({"-s", "4096", "a", "b"})));
  EXPECT_TRUE(std::holds_alternative<CommandLine>(parse({"--min", "4096x4096", "a", "b"})));
}

TEST(CommandLineTest, ModesWin) {
  EXPECT_EQ(std::get<CommandLine>(parse({"--help", "-s", "junk"})).action, Action::help);
  EXPECT_EQ(std::get<CommandLine>(parse({"--version"})).action, Action::version);
  const auto skim = std::get<CommandLine>(parse({"--skim", "--", "-a.md"}));
  EXPECT_EQ(skim.action, Action::skim);
  EXPECT_EQ(skim.input, "-a.md");
}

TEST(CommandLineTest, InputIsAPathOrALocalFileURL) {
  struct Case {
    const char* input;
    std::optional<std::string> path;
  };
  const Case cases[] = {
      {"notes/report.md", "notes/report.md"},
      {"/a b/c%20d.md", "/a b/c%20d.md"},  // a path is never decoded
      {"file:///a%20b/c%C3%A9.md", "/a b/c\xC3\xA9.md"},
      {"FILE:///x.md", "/x.md"},
      {"file://localhost/x.md", "/x.md"},
      {"file://elsewhere/etc/passwd", std::nullopt},
      {"file:///a%2Fb", std::nullopt},
      {"file:///a%00b", std::nullopt},
      {"file:relative.md", std::nullopt},
      {"./file:odd.md", "./file:odd.md"},
  };
  for (const auto& c : cases) EXPECT_EQ(inputPath(c.input), c.path) << c.input;
}

TEST(CommandLineTest, PathsSurviveTheURLRoundTrip) {
  const std::string paths[] = {"/a b/c%d#e?.md", "/bad\xFF\xFEname.md", "/x/../y/./z.md"};
  for (const auto& path : paths) {
    const auto url = fileURLFromPath(path);
    ASSERT_TRUE(url) << path;
    EXPECT_EQ(filePathFromURL(*url), path);
  }
  const auto relative = fileURLFromPath("rel.md");
  ASSERT_TRUE(relative);
  EXPECT_TRUE(relative->starts_with("file:///"));
  EXPECT_TRUE(relative->ends_with("/rel.md"));
}

TEST(CommandLineTest, LastPathComponentKeepsTheExtension) {
  const std::pair<const char*, const char*> cases[] = {
      {"/a/notes/report.md", "report.md"},
      {"report.md", "report.md"},
      {"/a/b/", "b"},
      {"/", "/"},
      {"", ""},
      {"/a/.hidden", ".hidden"},
  };
  for (const auto& [path, name] : cases) EXPECT_EQ(lastPathComponent(path), name) << path;
}

TEST(CommandLineTest, OutputExtensionPicksTheFormat) {
  EXPECT_EQ(outputKind("a.svg"), OutputKind::svg);
  EXPECT_EQ(outputKind("a.PDF"), OutputKind::pdf);
  EXPECT_EQ(outputKind("a.png"), OutputKind::png);
  EXPECT_EQ(outputKind("thumb"), OutputKind::png);
  EXPECT_EQ(outputKind("dir.svg/thumb"), OutputKind::png);
}

TEST(CommandLineTest, QuotedPathStaysOnOneLine) {
  EXPECT_EQ(quotedPath("a b.md"), "'a b.md'");
  EXPECT_EQ(quotedPath("a\nb\t\x1b"), "'a\\nb\\t\\x1b'");
}

}  // namespace
}  // namespace tamsel
