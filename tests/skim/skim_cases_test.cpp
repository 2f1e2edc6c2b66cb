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
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "skim/skim.h"
#include "support/skim_dump.h"

namespace tamsel {
namespace {

struct SkimCase {
  std::string file;
  int line = 0;
  std::string name;
  std::string fileName = "notes.md";
  std::string document;
  std::string expected;
};

void PrintTo(const SkimCase& example, std::ostream* out) {
  *out << example.file << ":" << example.line << ":" << example.name;
}

std::string unescape(const std::string& line) {
  std::string text;
  for (std::size_t i = 0; i < line.size();) {
    if (line.compare(i, 3, "→") == 0) {
      text += '\t';
      i += 3;
    } else if (line.compare(i, 3, "␍") == 0) {
      text += '\r';
      i += 3;
    } else if (line.compare(i, 3, "␀") == 0) {
      text += '\0';
      i += 3;
    } else {
      text += line[i++];
    }
  }
  return text;
}

void finish(SkimCase& current, std::vector<SkimCase>& cases) {
  while (current.expected.ends_with("\n\n")) current.expected.pop_back();
  cases.push_back(current);
}

std::vector<SkimCase> loadCases(const std::filesystem::path& path) {
  std::vector<SkimCase> cases;
  std::ifstream in(path);
  std::optional<SkimCase> current;
  bool inExpected = false;
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (line.starts_with("%%%")) {
      if (current) finish(*current, cases);
      current.emplace();
      current->file = path.filename().string();
      current->line = number;
      current->name = line.substr(3);
      inExpected = false;
    } else if (!current) {
      continue;  // prose before the first case
    } else if (inExpected) {
      current->expected += line + "\n";
    } else if (line == ".") {
      inExpected = true;
    } else if (line.starts_with("%file ")) {
      current->fileName = line.substr(6);
    } else {
      current->document += unescape(line) + "\n";
    }
  }
  if (current) finish(*current, cases);
  return cases;
}

std::vector<SkimCase> allCases() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry :
       std::filesystem::directory_iterator(TAMSEL_SOURCE_DIR "/tests/skim/cases")) {
    if (entry.path().extension() == ".txt") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<SkimCase> cases;
  for (const auto& file : files) {
    auto loaded = loadCases(file);
    cases.insert(cases.end(), loaded.begin(), loaded.end());
  }
  return cases;
}

class SkimCases : public ::testing::TestWithParam<SkimCase> {};

TEST_P(SkimCases, MatchesExample) {
  const SkimCase& example = GetParam();
  SCOPED_TRACE(example.file + ":" + std::to_string(example.line) + ":" + example.name);
  EXPECT_TRUE(testing::skimDumpIs(skim(example.document, example.fileName), example.expected));
}

INSTANTIATE_TEST_SUITE_P(Examples, SkimCases, ::testing::ValuesIn(allCases()),
                         [](const ::testing::TestParamInfo<SkimCase>& example) {
                           std::string name =
                               example.param.file + "_" + std::to_string(example.param.line);
                           std::replace_if(
                               name.begin(), name.end(),
                               [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); },
                               '_');
                           return name;
                         });

}  // namespace
}  // namespace tamsel
