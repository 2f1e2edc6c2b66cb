// SPDX-License-Identifier: MIT
// Runs the examples in tests/skim/cases/*.txt (format in
// tests/support/example_cases.h): the input is a document, "%file NAME"
// names it (notes.md unless given), and the expected output is its dump
// (tests/support/skim_dump.h).
#include <gtest/gtest.h>

#include <string>

#include "skim/skim.h"
#include "support/example_cases.h"
#include "support/skim_dump.h"

namespace tamsel {
namespace {

class SkimCases : public ::testing::TestWithParam<testing::ExampleCase> {};

TEST_P(SkimCases, MatchesExample) {
  const auto& example = GetParam();
  const auto skimmed = skim(example.input, testing::setting(example, "file", "notes.md"));
  EXPECT_EQ(testing::dumpSkim(skimmed), example.expected) << example.where;
}

INSTANTIATE_TEST_SUITE_P(Examples, SkimCases,
                         ::testing::ValuesIn(testing::loadCases(TAMSEL_SOURCE_DIR
                                                                "/tests/skim/cases")),
                         testing::caseName);

}  // namespace
}  // namespace tamsel
