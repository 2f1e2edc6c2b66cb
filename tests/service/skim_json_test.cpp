// SPDX-License-Identifier: MIT
#include "service/skim_json.h"

#include <gtest/gtest.h>

#include <utility>

namespace tamsel {
namespace {

TEST(SkimJsonTest, EscapesWhatJsonRequires) {
  const std::pair<std::string, std::string> cases[] = {
      {"say \"hi\" \\ bye", R"("say \"hi\" \\ bye")"},
      {"a\nb\tc\rd", R"("a\nb\tc\rd")"},
      {std::string("nul\0x", 5), R"("nul\u0000x")"},
      {"\x01\x1f\x7f", "\"\\u0001\\u001f\x7f\""},
      {"caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80",
       "\"caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80\""},
      {"/ \xE2\x80\xA8", "\"/ \xE2\x80\xA8\""},
      // Ill-formed UTF-8: a stray byte, overlong, surrogate, a cut sequence.
      {"a\xFFz", "\"a\xEF\xBF\xBDz\""},
      {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
      {"end\xE6\x97", "\"end\xEF\xBF\xBD\""},
      {"\xC3\xA9\x80", "\"\xC3\xA9\xEF\xBF\xBD\""},  // a whole character, then a stray byte
  };
  for (const auto& [text, json] : cases) EXPECT_EQ(jsonString(text), json) << text;
}

}  // namespace
}  // namespace tamsel
