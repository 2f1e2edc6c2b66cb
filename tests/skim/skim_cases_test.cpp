// Runs the examples in tests/skim/cases/*.txt. Each case is
//
//   %%% what the case shows
//   %file notes.md          (optional; the default file name is notes.md)
//   the document, each line ended by LF; "→" is a tab, "␍" a CR, "␀" a NUL
//   .
//   the expected dump (see tests/support/skim_dump.h)
//
// and runs until the next "%%%" line. Trailing blank lines of a dump are
// ignored. Each test is named after its file and line.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "skim/skim.h"
#include "support/skim_dump.h"

namespace tamsel {
namespace {

struct SkimCase {
  std::string where;  // "blocks.txt:12", the line of "%%%"
  std::string name;
  std::string fileName = "notes.md";
  std::string document;
  std::string expected;
};

void PrintTo(const SkimCase& example, std::ostream* out) {
  *out << example.where << ":" << example.name;
}

std::string unescape(std::string line) {
  for (const auto& [shown, byte] : {std::pair{"→", '\t'}, {"␍", '\r'}, {"␀", '\0'}}) {
    for (auto at = line.find(shown); at != std::string::npos; at = line.find(shown, at + 1)) {
      line.replace(at, 3, 1, byte);
    }
  }
  return line;
}

void loadCases(const std::filesystem::path& path, std::vector<SkimCase>& cases) {
  std::ifstream in(path);
  bool inCase = false;
  bool inExpected = false;
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (line.starts_with("%%%")) {
      cases.emplace_back();
      cases.back().where = path.filename().string() + ":" + std::to_string(number);
      cases.back().name = line.substr(3);
      inCase = true;
      inExpected = false;
    } else if (!inCase) {
      continue;  // prose before the first case
    } else if (inExpected) {
      cases.back().expected += line + "\n";
    } else if (line == ".") {
      inExpected = true;
    } else if (line.starts_with("%file ")) {
      cases.back().fileName = line.substr(6);
    } else {
      cases.back().document += unescape(line) + "\n";
    }
  }
}

std::vector<SkimCase> allCases() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry :
       std::filesystem::directory_iterator(TAMSEL_SOURCE_DIR "/tests/skim/cases")) {
    if (entry.path().extension() == ".txt") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<SkimCase> cases;
  for (const auto& file : files) loadCases(file, cases);
  for (auto& example : cases) {
    while (example.expected.ends_with("\n\n")) example.expected.pop_back();
  }
  return cases;
}

class SkimCases : public ::testing::TestWithParam<SkimCase> {};

TEST_P(SkimCases, MatchesExample) {
  EXPECT_TRUE(
      testing::skimDumpIs(skim(GetParam().document, GetParam().fileName), GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Examples, SkimCases, ::testing::ValuesIn(allCases()),
                         [](const auto& example) {
                           std::string name = example.param.where;  // "blocks_txt_12"
                           std::replace_if(
                               name.begin(), name.end(),
                               [](char c) { return c == '.' || c == ':'; }, '_');
                           return name;
                         });

}  // namespace
}  // namespace tamsel
