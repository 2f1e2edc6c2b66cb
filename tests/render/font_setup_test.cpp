// SPDX-License-Identifier: MIT
// The page's own fontconfig configuration against fontconfig's full one: every
// face a page can ask for, and the fallbacks for text its fonts lack, must
// come out the same on this machine, down to the size, matrix and rendering
// options fontconfig hands the renderer.
#include "render/font_setup.h"

#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-font.h>
#include <pango/pangofc-fontmap.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "render/fontconfig_xml.h"
#include "render/handles.h"

namespace tamsel {
namespace {

using FontsetHandle = detail::Handle<PangoFontset, detail::unrefGObject<PangoFontset>>;
using FontHandle = detail::Handle<PangoFont, detail::unrefGObject<PangoFont>>;

struct Request {
  const char* family;
  int weight;
  gunichar character;
  const char* language;
};

// The page's fonts on Latin text, then characters that only fallback fonts
// have, with the languages Pango gives such text.
constexpr Request requests[] = {
    {"sans-serif", 400, U'A', "en"},
    {"sans-serif", 600, U'A', "en"},
    {"serif", 600, U'A', "en"},
    {"monospace", 400, U'A', "en"},
    {"sans-serif", 400, U'日', "ja"},
    {"sans-serif", 600, U'あ', "ja"},
    {"serif", 600, U'日', "zh-cn"},
    {"monospace", 400, U'カ', "ja"},
    {"sans-serif", 400, U'\u2013', "c"},
    {"serif", 600, U'\u2026', "c"},
    {"sans-serif", 400, U'\u0639', "ar"},
    {"serif", 600, U'\u05D0', "he"},
    {"sans-serif", 600, U'\u2728', "und-zsye"},
    {"serif", 600, U'\U0001F4DD', "und-zsye"},
    {"sans-serif", 400, U'\U0001F389', "en"},
    {"monospace", 400, U'\U0001F680', "und-zsye"},
};

// Everything fontconfig says about the face that a font map using `config`
// draws `request` with: file, size, matrix, emboldening, hinting and the rest.
std::string face(PangoFontMap* map, const Request& request) {
  detail::PangoContextHandle context(pango_font_map_create_context(map));
  detail::PangoFontDescriptionHandle description(pango_font_description_new());
  pango_font_description_set_family_static(description.get(), request.family);
  pango_font_description_set_weight(description.get(), static_cast<PangoWeight>(request.weight));
  pango_font_description_set_absolute_size(description.get(), 12 * PANGO_SCALE);
  FontsetHandle fontset(pango_font_map_load_fontset(map, context.get(), description.get(),
                                                    pango_language_from_string(request.language)));
  if (!fontset) return "no fontset";
  FontHandle font(pango_fontset_get_font(fontset.get(), request.character));
  if (!font) return "no font";
  FcChar8* text = FcNameUnparse(pango_fc_font_get_pattern(PANGO_FC_FONT(font.get())));
  if (!text) return "no pattern";
  std::string unparsed(reinterpret_cast<const char*>(text));
  FcStrFree(text);
  return unparsed;
}

detail::PangoFontMapHandle fontMapUsing(FcConfig* config) {
  detail::PangoFontMapHandle map(pango_cairo_font_map_new());
  pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(map.get()), config);
  return map;
}

TEST(PageFontConfig, ChoosesTheFacesOfTheFullConfiguration) {
  const detail::FcConfigHandle page = detail::pageFontConfig();
  if (!page) GTEST_SKIP() << "fontconfig is configured through the environment";
  const detail::FcConfigHandle full(FcInitLoadConfigAndFonts());
  ASSERT_TRUE(full);
  const auto pageMap = fontMapUsing(page.get());
  const auto fullMap = fontMapUsing(full.get());
  for (const Request& request : requests) {
    SCOPED_TRACE(std::string(request.family) + " " + std::to_string(request.weight) + " U+" +
                 std::to_string(request.character) + " " + request.language);
    EXPECT_EQ(face(pageMap.get(), request), face(fullMap.get(), request));
  }
}

// Which conf.d files a page can do without: only aliases that no family of a
// page's request can meet.
TEST(FontconfigXml, TellsAliasesForOtherFamiliesFromEverythingElse) {
  constexpr auto alias = [](const char* head, const char* list) {
    return std::string("<alias><family>") + head + "</family><prefer><family>" + list +
           "</family></prefer></alias>";
  };
  const std::pair<std::string, bool> cases[] = {
      {"<?xml version=\"1.0\"?><fontconfig>" + alias("Helvetica", "Nimbus Sans") + "</fontconfig>",
       true},
      {alias("Arial", "sans-serif") + alias("Kochi Mincho", "serif"), true},
      {alias("sans-serif", "DejaVu Sans"), false},
      {alias(" Sans-Serif ", "DejaVu Sans"), false},
      {alias("Menlo", "DejaVu Sans Mono"), false},
      {"<alias binding=\"same\"><family>emoji</family></alias>", false},
      // A user's rule testing a family by part of its name acts on any request.
      {"<match target=\"pattern\"><test name=\"family\" compare=\"contains\"><string>Sans"
       "</string></test><edit name=\"antialias\"><bool>false</bool></edit></match>",
       false},
      // Read as text, a comment can only make a file look like more than it is.
      {"<!-- <match> rules moved away -->" + alias("Arial", "Liberation Sans"), false},
      {"<selectfont><rejectfont><glob>*.pcf</glob></rejectfont></selectfont>", false},
      {"<include>more.conf</include>", false},
  };
  for (const auto& [conf, skippable] : cases) {
    EXPECT_EQ(fontconfig_xml::onlyOtherFamilyAliases(conf), skippable) << conf;
  }
}

TEST(FontconfigXml, FindsTheIncludeThatLoadsConfD) {
  const std::string local = "<include ignore_missing=\"yes\">local.conf</include>\n";
  const std::string confD = "<include ignore_missing=\"yes\">conf.d</include>";
  const auto found = fontconfig_xml::findConfDirInclude(local + confD + "\n<dir>/x</dir>");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->target, "conf.d");
  EXPECT_EQ(found->begin, local.size());
  EXPECT_EQ(found->end, local.size() + confD.size());
  EXPECT_EQ(
      fontconfig_xml::findConfDirInclude("<include prefix=\"xdg\">fontconfig/conf.d</include>")
          ->target,
      "fontconfig/conf.d");
  // Parsed from memory, the file has no directory for such a path to start from.
  EXPECT_FALSE(fontconfig_xml::findConfDirInclude("<include prefix=\"relative\">conf.d</include>"));
  EXPECT_FALSE(fontconfig_xml::findConfDirInclude(local));

  EXPECT_EQ(fontconfig_xml::confFileNumber("45-latin.conf"), 45);
  EXPECT_EQ(fontconfig_xml::confFileNumber("10.conf"), 10);
  for (const char* other : {"README", "latin.conf", ".conf", "45-latin.conf.bak"}) {
    EXPECT_FALSE(fontconfig_xml::confFileNumber(other)) << other;
  }
  EXPECT_EQ(fontconfig_xml::escaped("/a&b/<c>.conf"), "/a&amp;b/&lt;c&gt;.conf");
}

TEST(PageFontConfig, LeavesAConfigurationNamedInTheEnvironmentToFontconfig) {
  const char* const before = std::getenv("FONTCONFIG_FILE");
  const std::optional<std::string> saved =
      before ? std::optional<std::string>(before) : std::nullopt;
  setenv("FONTCONFIG_FILE", "/etc/fonts/fonts.conf", 1);
  EXPECT_FALSE(detail::pageFontConfig());
  if (saved) {
    setenv("FONTCONFIG_FILE", saved->c_str(), 1);
  } else {
    unsetenv("FONTCONFIG_FILE");
  }
}

}  // namespace
}  // namespace tamsel
