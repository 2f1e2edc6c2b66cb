// SPDX-License-Identifier: MIT
// How the page's own fontconfig configuration is made from the system's.
// That pages drawn with it match pages drawn with fontconfig's full
// configuration is render.system_fonts' check.
#include "render/font_setup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "render/fontconfig_xml.h"

namespace tamsel {
namespace {

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
