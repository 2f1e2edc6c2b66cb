// SPDX-License-Identifier: MIT
#include "service/command_line.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <sstream>
#include <utility>
#include <vector>

#include "platform/file_url.h"

namespace tamsel {
namespace {

// The command line `args` (split at each space) as "128x128 min 0x0 in.md -> out.png",
// "skim a.md", "cache large,x-large j2 force a b", "help", "version" or "error: ...".
std::string parsed(const std::string& args) {
  std::vector<std::string> words;
  std::istringstream in(args);
  for (std::string word; std::getline(in, word, ' ');) words.push_back(word);
  std::vector<const char*> argv;
  for (const auto& word : words) argv.push_back(word.c_str());
  const auto result = parseCommandLine(argv);
  if (const auto* error = std::get_if<std::string>(&result)) return "error: " + *error;
  const auto& line = std::get<CommandLine>(result);
  if (line.action == Action::cache) {
    std::ostringstream text;
    text << "cache";
    for (std::size_t i = 0; i < line.cache.flavors.size(); ++i) {
      text << (i == 0 ? " " : ",") << flavorName(line.cache.flavors[i]);
    }
    text << " j" << line.cache.jobs << (line.cache.force ? " force" : "");
    for (const auto& path : line.cache.paths) text << " " << path;
    return text.str();
  }
  if (line.action != Action::thumbnail) {
    return line.action == Action::skim   ? "skim " + line.input
           : line.action == Action::help ? "help"
                                         : "version";
  }
  std::ostringstream out;
  out << line.maximum.width << "x" << line.maximum.height << " min " << line.minimum.width << "x"
      << line.minimum.height << " " << line.input << " -> " << line.output;
  return out.str();
}

TEST(CommandLineTest, ReadsOptionsAndOperands) {
  const std::pair<const char*, const char*> cases[] = {
      {"in.md out.png", "256x256 min 0x0 in.md -> out.png"},
      {"-s 128 a b", "128x128 min 0x0 a -> b"},
      {"-s64.5 a b", "64.5x64.5 min 0x0 a -> b"},
      {"--size=512 a b", "512x512 min 0x0 a -> b"},
      {"--max 300x200 --min=10X0 a b", "300x200 min 10x0 a -> b"},
      {"a -s 1e2 b", "100x100 min 0x0 a -> b"},
      {"-- -in.md --out.png", "256x256 min 0x0 -in.md -> --out.png"},
      {"- out.png", "256x256 min 0x0 - -> out.png"},
      // The largest page, 3166.2 x 4096, is at the limit, not over it.
      {"-s 4096 a b", "4096x4096 min 0x0 a -> b"},
      {"--min 4096x4096 a b", "256x256 min 4096x4096 a -> b"},
      {"--help -s junk", "help"},
      {"--version", "version"},
      {"--skim -- -a.md", "skim -a.md"},
      {"a.md --skim", "skim a.md"},
      // One parser for every action: options in any order, help anywhere.
      {"--cache a", "cache large j0 a"},
      {"a -j8 --flavor x-large,large,x-large --cache --force b",
       "cache x-large,large j8 force a b"},
      {"--flavor=normal --jobs=256 --cache -- -j", "cache normal j256 -j"},
      {"--cache --help", "help"},
      {"--cache --flavor nonsense -h", "help"},
      {"-s junk in.md --version", "version"},
      {"--cache -- --help", "cache large j0 --help"},
  };
  for (const auto& [args, line] : cases) EXPECT_EQ(parsed(args), line) << args;
}

TEST(CommandLineTest, RejectsMalformedRequestsInOneLine) {
  // Bad -s values are also tests/hostile's, through the executable.
  const char* cases[] = {
      "", "in.md", "a b c", "-x a b", "-s", "a b -s", "--size= a b",
      // Sizes: not positive, not finite, not plain decimal, not a pair.
      "-s -0 a b", "-s inf a b", "-s 0x10 a b", "-s 256px a b", "-s +256 a b", "--size=\t256 a b",
      "--max 256x a b", "--max 0x256 a b", "--min -1x0 a b", "--min 1x2x3 a b",
      // Over the page limit, directly or through the minimum.
      "-s 4097 a b", "--min 4097x1 a b", "--skim", "--skim a b",
      // Options of one action given to another.
      "-s 256 --cache x", "--flavor large a b", "--skim --force a", "--skim --cache a", "--cache",
      "--cache --flavor huge a", "--cache --flavor large, a", "--cache --flavor= a",
      "--cache -j 0 a", "--cache -j 257 a", "--cache -j 2x a", "--force=yes --cache a"};
  for (const std::string args : cases) {
    const std::string result = parsed(args);
    EXPECT_TRUE(result.starts_with("error: ") && result.size() > 7) << args << ": " << result;
    EXPECT_EQ(result.find('\n'), std::string::npos) << result;
  }
  // Whatever the option, what the user typed is quoted and escaped.
  EXPECT_EQ(parsed("--cache --flavor a\nb x"),
            "error: unknown flavor in 'a\\nb': expected normal, large, x-large or xx-large, "
            "comma-separated");
  EXPECT_EQ(parsed("--cache -j \x1b x"),
            "error: invalid count '\\x1b' for -j: expected a whole number from 1 to 256");
}

TEST(CommandLineTest, InputIsAPathOrALocalFileURL) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
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
      // Other schemes name no local file; a colon alone does not make a URL.
      {"http://example.org/a.md", std::nullopt},
      {"SFTP://host/a.md", std::nullopt},
      {"notes:todo.md", "notes:todo.md"},
      {"Re: plans.md", "Re: plans.md"},
      {"a b://c.md", "a b://c.md"},
  };
  for (const auto& [input, path] : cases) EXPECT_EQ(inputPath(input), path) << input;
  EXPECT_TRUE(isOtherURL("http://example.org/a.md"));
  EXPECT_FALSE(isOtherURL("FILE:///x.md"));
}

TEST(CommandLineTest, PathsSurviveTheURLRoundTrip) {
  for (const std::string path : {"/a b/c%d#e?.md", "/bad\xFF\xFEname.md", "/x/../y/./z.md"}) {
    const auto url = fileURLFromPath(path);
    ASSERT_TRUE(url) << path;
    EXPECT_EQ(filePathFromURL(*url), path);
  }
  const auto relative = fileURLFromPath("rel.md");
  ASSERT_TRUE(relative);
  EXPECT_TRUE(relative->starts_with("file:///") && relative->ends_with("/rel.md")) << *relative;
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

TEST(CommandLineTest, OutputExtensionPicksTheFormatAndPathsStayOnOneLine) {
  EXPECT_EQ(outputFormat("a.svg"), ImageFormat::svg);
  EXPECT_EQ(outputFormat("a.PDF"), ImageFormat::pdf);
  EXPECT_EQ(outputFormat("thumb"), ImageFormat::png);
  EXPECT_EQ(outputFormat("dir.svg/thumb"), ImageFormat::png);
  EXPECT_EQ(quotedPath("a b\nc\t\x1b\x7f"), "'a b\\nc\\t\\x1b\\x7f'");
}

}  // namespace
}  // namespace tamsel
