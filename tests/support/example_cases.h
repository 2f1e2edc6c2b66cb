// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

// Examples kept in text files, one parameterised test per folder. Each case is
//
//   %%% what the case shows
//   %key value              (optional settings, one a line, before the input)
//   the input, each line ended by LF; "→" is a tab, "␍" a CR, "␀" a NUL,
//   "␛" an escape, and "⟨C2 A0⟩" bytes in hex
//   .
//   the expected output
//
// and runs until the next "%%%" line. Text before the first case is prose.
// Trailing blank lines of the expected output are ignored.
namespace tamsel::testing {

struct ExampleCase {
  std::string where;  // "blocks.txt:12", the line of "%%%"
  std::string name;
  std::map<std::string, std::string> settings;
  std::string input;
  std::string expected;
};

inline void PrintTo(const ExampleCase& example, std::ostream* out) {
  *out << example.where << ":" << example.name;
}

inline std::string unescape(std::string line) {
  for (const auto& [shown, byte] :
       {std::pair{"→", '\t'}, {"␍", '\r'}, {"␀", '\0'}, {"␛", '\x1b'}}) {
    for (auto at = line.find(shown); at != std::string::npos; at = line.find(shown, at + 1)) {
      line.replace(at, 3, 1, byte);
    }
  }
  for (auto at = line.find("⟨"); at != std::string::npos; at = line.find("⟨", at)) {
    const auto end = line.find("⟩", at);
    std::istringstream hex(line.substr(at + 3, end - at - 3));
    std::string bytes;
    for (unsigned byte = 0; hex >> std::hex >> byte;) bytes += static_cast<char>(byte);
    line.replace(at, end + 3 - at, bytes);
    at += bytes.size();
  }
  return line;
}

// The setting `key` of an example, or `fallback`.
inline std::string setting(const ExampleCase& example, const std::string& key,
                           const std::string& fallback = "") {
  const auto found = example.settings.find(key);
  return found == example.settings.end() ? fallback : found->second;
}

// For examples whose input is one request a line: each line, with "␊" as a
// line feed inside it, read by `read` must give the expected line, both
// escaped as above.
template <typename Read>
void expectEachLine(const ExampleCase& example, Read read) {
  const auto lines = [](const std::string& text, auto each) {
    std::string out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
      for (auto at = line.find("␊"); at != std::string::npos; at = line.find("␊", at)) {
        line.replace(at, 3, 1, '\n');
      }
      out += each(line) + '\n';
    }
    return out;
  };
  EXPECT_EQ(lines(example.input, read), lines(example.expected, unescape)) << example.where;
}

inline void loadCases(const std::filesystem::path& path, std::vector<ExampleCase>& cases) {
  std::ifstream in(path);
  bool inCase = false;  // no case yet: prose
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
      continue;
    } else if (inExpected) {
      cases.back().expected += line + "\n";
    } else if (line == ".") {
      inExpected = true;
    } else if (line.starts_with('%') && cases.back().input.empty()) {
      const auto space = line.find(' ');
      cases.back().settings[line.substr(1, space - 1)] =
          space == std::string::npos ? "" : line.substr(space + 1);
    } else {
      cases.back().input += unescape(line) + "\n";
    }
  }
}

// Every case of the *.txt files in `folder`, files in name order.
inline std::vector<ExampleCase> loadCases(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == ".txt") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<ExampleCase> cases;
  for (const auto& file : files) loadCases(file, cases);
  for (auto& example : cases) {
    while (example.expected.ends_with("\n\n") || example.expected == "\n") {
      example.expected.pop_back();
    }
  }
  return cases;
}

// "blocks_txt_12": the test's name says where its example is.
inline std::string caseName(const ::testing::TestParamInfo<ExampleCase>& info) {
  std::string name = info.param.where;
  std::replace_if(
      name.begin(), name.end(), [](char c) { return c == '.' || c == ':'; }, '_');
  return name;
}

}  // namespace tamsel::testing
