// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

// Examples kept in text files, one parameterised test per folder. Each case is
//
//   %%% what the case shows
//   %key value              (optional settings, one a line, before the input)
//   the input, each line ended by LF; "→" is a tab, "␍" a CR, "␀" a NUL,
//   "␛" an escape, and "⟨FF⟩" the byte of those two hex digits
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
  constexpr std::string_view open = "⟨", close = "⟩";
  for (auto at = line.find(open); at != std::string::npos; at = line.find(open, at + 1)) {
    const auto end = line.find(close, at);
    const auto digits = line.substr(at + open.size(), end - at - open.size());
    line.replace(at, end + close.size() - at, 1, static_cast<char>(std::stoi(digits, nullptr, 16)));
  }
  return line;
}

// Text as a case file shows it: tabs, CRs, NULs and line feeds as above,
// other control characters as "⟨HH⟩".
inline std::string shown(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      out += c;
    } else {
      char hex[16];
      std::snprintf(hex, sizeof hex, "⟨%02X⟩", byte);
      out += c == '\t' ? "→" : c == '\r' ? "␍" : c == '\0' ? "␀" : c == '\n' ? "␊" : hex;
    }
  }
  return out;
}

// The setting `key` of an example, or `fallback`.
inline std::string setting(const ExampleCase& example, const std::string& key,
                           const std::string& fallback = "") {
  const auto found = example.settings.find(key);
  return found == example.settings.end() ? fallback : found->second;
}

// For examples whose input is one request a line: each line, with "␊" as a
// line feed inside it, read by `read`; the results one a line.
template <typename Read>
std::string eachLine(const ExampleCase& example, Read read) {
  std::string results;
  std::size_t start = 0;
  for (auto end = example.input.find('\n'); end != std::string::npos;
       start = end + 1, end = example.input.find('\n', start)) {
    std::string line;
    for (std::size_t at = start; at < end; ++at) {
      const bool feed = example.input.compare(at, 3, "␊") == 0;
      line += feed ? '\n' : example.input[at];
      at += feed ? 2 : 0;
    }
    results += read(line);
    results += '\n';
  }
  return results;
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
