// SPDX-License-Identifier: MIT
#include "render/font_answers.h"

#include <gtest/gtest.h>

#include <string>

#include "render/fontconfig_xml.h"
#include "render/handles.h"
#include "support/scratch_directory.h"

namespace tamsel {
namespace {

using detail::FcPatternHandle;

FcPatternHandle request() {
  FcPatternHandle pattern(FcPatternCreate());
  FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>("DejaVu Sans"));
  FcValue weak{.type = FcTypeString, .u = {.s = reinterpret_cast<const FcChar8*>("Tab\there\n\\")}};
  FcPatternAddWeak(pattern.get(), FC_FAMILY, weak, FcTrue);
  FcPatternAddDouble(pattern.get(), FC_PIXEL_SIZE, 7.915039062500001);
  FcPatternAddInteger(pattern.get(), FC_SLANT, FC_SLANT_ROMAN);
  FcPatternAddBool(pattern.get(), FC_ANTIALIAS, FcTrue);
  const FcMatrix matrix{1, 0.2, 0, 1};
  FcPatternAddMatrix(pattern.get(), FC_MATRIX, &matrix);
  FcRange* range = FcRangeCreateDouble(100, 200.5);
  FcPatternAddRange(pattern.get(), FC_WEIGHT, range);
  FcRangeDestroy(range);
  FcPatternAddString(pattern.get(), "prgname", reinterpret_cast<const FcChar8*>("tamsel"));
  return pattern;
}

TEST(FontAnswers, PatternsComeBackExactlyBindingsIncluded) {
  const FcPatternHandle original = request();
  const auto text = font_answers::serialized(original.get());
  ASSERT_TRUE(text);
  const FcPatternHandle back(font_answers::deserialized(*text));
  ASSERT_TRUE(back);
  EXPECT_TRUE(FcPatternEqual(original.get(), back.get()));
  // FcPatternEqual ignores bindings, which decide how fonts sort.
  EXPECT_EQ(font_answers::serialized(back.get()), text);

  const FcPatternHandle target(FcPatternBuild(nullptr, FC_FAMILY, FcTypeString, "serif", FC_SIZE,
                                              FcTypeDouble, 3.0, static_cast<char*>(nullptr)));
  font_answers::replaceContents(target.get(), back.get());
  EXPECT_EQ(font_answers::serialized(target.get()), text);
}

TEST(FontAnswers, RefusesWhatItCannotKeep) {
  const FcPatternHandle pattern(FcPatternCreate());
  FcCharSet* charset = FcCharSetCreate();
  FcCharSetAddChar(charset, 'a');
  FcPatternAddCharSet(pattern.get(), FC_CHARSET, charset);
  FcCharSetDestroy(charset);
  EXPECT_FALSE(font_answers::serialized(pattern.get()));
  for (const char* text : {"family\ts\ts", "family\tx\ts\ta\n", "size\ts\td\tbig\n",
                           "family\ts\ts\tend\\\n", "weight\ts\tr\t1\n"}) {
    EXPECT_EQ(font_answers::deserialized(text), nullptr) << text;
  }
}

TEST(FontAnswers, SavedAnswersReadBackAndCutOnesDoNot) {
  font_answers::Saved saved{.signature = "sig\n",
                            .watched = {"/etc/fonts/fonts.conf"},
                            .configFiles = {"/etc/fonts"},
                            .configuration = "<fontconfig/>",
                            .pageConfiguration = "<fontconfig><dir>/f</dir></fontconfig>\n",
                            .fonts = "/f/a.ttf 0 123\n",
                            .requests = {{"key 1\n", "answer\n"}, {"", "empty key"}}};
  const std::string text = font_answers::encoded(saved);
  const auto back = font_answers::decoded(text);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->signature, saved.signature);
  EXPECT_EQ(back->watched, saved.watched);
  EXPECT_EQ(back->configFiles, saved.configFiles);
  EXPECT_EQ(back->configuration, saved.configuration);
  EXPECT_EQ(back->pageConfiguration, saved.pageConfiguration);
  EXPECT_EQ(back->fonts, saved.fonts);
  EXPECT_EQ(back->requests, saved.requests);
  for (std::size_t cut = 0; cut < text.size(); cut += 7) {
    const auto partial = font_answers::decoded(text.substr(0, cut));
    EXPECT_TRUE(!partial || partial->requests.size() < saved.requests.size()) << cut;
  }
}

TEST(FontAnswers, SignatureFollowsFilesAndSettings) {
  const testing::ScratchDirectory scratch;
  const std::string file = scratch.write("fonts.conf", "one");
  const std::string absent = scratch / "absent.conf";
  const std::string before = font_answers::signatureOf({file, absent});
  EXPECT_EQ(font_answers::signatureOf({file, absent}), before);
  scratch.write("fonts.conf", "other");
  EXPECT_NE(font_answers::signatureOf({file, absent}), before);
  const std::string edited = font_answers::signatureOf({file, absent});
  scratch.write("absent.conf", "");
  EXPECT_NE(font_answers::signatureOf({file, absent}), edited);
}

TEST(FontconfigXml, KeepsWhatActsOnFontsAndDropsRequestEdits) {
  struct Case {
    const char* conf;
    const char* kept;  // nullptr: refused
  };
  const Case cases[] = {
      {"<?xml version=\"1.0\"?><!DOCTYPE fontconfig SYSTEM \"fonts.dtd\"><fontconfig>"
       "<!-- <match target=\"font\"> --><description>d</description>"
       "<alias><family>serif</family><prefer><family>X</family></prefer></alias>"
       "<match><edit name=\"a\"><int>1</int></edit></match>"
       "<match target='pattern'><test name=\"b\"><int>1</int></test></match>"
       "<match target=\"font\"><edit name=\"c\"><bool>true</bool></edit></match>"
       "<selectfont><rejectfont><glob>*.pcf</glob></rejectfont></selectfont>"
       "<include ignore_missing=\"yes\">conf.d</include><dir prefix=\"xdg\">fonts</dir>"
       "<cachedir/></fontconfig>",
       "<match target=\"font\"><edit name=\"c\"><bool>true</bool></edit></match>"
       "<selectfont><rejectfont><glob>*.pcf</glob></rejectfont></selectfont>"
       "<dir prefix=\"xdg\">fonts</dir><cachedir/>"},
      {"<fontconfig><match\ttarget=\"scan\" a='>'><edit/></match></fontconfig>",
       "<match\ttarget=\"scan\" a='>'><edit/></match>"},
      {"<fontconfig><dir prefix=\"relative\">fonts</dir></fontconfig>", nullptr},
      {"<fontconfig><match target=\"font\"><![CDATA[x]]></match></fontconfig>", nullptr},
      {"<fontconfig><match target=\"font\">", nullptr},
      {"<other/>", nullptr},
  };
  // A copy standing on its own keeps every request edit and drops only what
  // reads other files.
  EXPECT_EQ(fontconfig_xml::withoutIncludes(cases[0].conf),
            "<alias><family>serif</family><prefer><family>X</family></prefer></alias>"
            "<match><edit name=\"a\"><int>1</int></edit></match>"
            "<match target='pattern'><test name=\"b\"><int>1</int></test></match>"
            "<match target=\"font\"><edit name=\"c\"><bool>true</bool></edit></match>"
            "<selectfont><rejectfont><glob>*.pcf</glob></rejectfont></selectfont>"
            "<dir prefix=\"xdg\">fonts</dir><cachedir/>");
  for (const Case& c : cases) {
    const auto kept = fontconfig_xml::withoutRequestEdits(c.conf);
    if (c.kept) {
      EXPECT_EQ(kept, c.kept) << c.conf;
    } else {
      EXPECT_FALSE(kept) << c.conf;
    }
  }
  EXPECT_EQ(fontconfig_xml::namedPaths("<include ignore_missing=\"yes\" prefix=\"xdg\">"
                                       "fontconfig/conf.d</include><dir> ~/.fonts </dir>"),
            (std::vector<std::string>{"xdg:fontconfig/conf.d", "~/.fonts"}));
}

}  // namespace
}  // namespace tamsel
