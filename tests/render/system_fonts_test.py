#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Pages with emoji and mixed scripts, drawn with the program's own font
set-up and again with fontconfig's full system configuration: the pixels must
be the same at every size.

usage: system_fonts_test.py EXECUTABLE SAMPLES_DIR
"""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
import driver  # noqa: E402

EXE = SAMPLES = None
SYSTEM_CONF = "/etc/fonts/fonts.conf"
SIZES = (128, 256, 512)

DOCUMENTS = {
    "emoji-title.md": "# Release notes 🚀\n\nFixed the sync 🐛 and the ✨ sparkle.\n",
    "emoji-blocks.md": "Intro\n\n## ✨ Features\n\n- 📝 Notes with emoji\n- ✅ Done\n\n"
                       "Body text 🎉 here.\n\n```\nprint('héllo 👋')\n```\n",
    "mixed-scripts.md": "# 日本語とEnglish 🎌\n\n混在テキスト with Ελληνικά, עברית and "
                        "العربية.\n\n- 한국어 항목 ✅\n\n```\nprint('世界')\n```\n",
    "emoji-only.txt": "📝\n\n🌱🌱🌱 ✨\n",
}


def render(document, size, out, env):
    proc = driver.run(EXE, "-s", str(size), document, out, env=env, timeout=30)
    assert proc.returncode == 0, proc.stderr
    png = driver.Png(out)  # equal pixels from one encoder: equal header and data
    return png.header, png.pixels


class SystemFonts(unittest.TestCase):
    def test_pages_match_the_full_system_configuration(self):
        if not os.path.exists(SYSTEM_CONF):
            self.skipTest(SYSTEM_CONF + " is missing")
        tmp = driver.scratch(self, "tamsel-fonts-")
        documents = [os.path.join(SAMPLES, name)
                     for name in ("garden-planner.md", "teriyaki-ja.md")]
        for name, text in DOCUMENTS.items():
            documents.append(os.path.join(tmp, name))
            with open(documents[-1], "w", encoding="utf-8") as f:
                f.write(text)
        own = {k: v for k, v in os.environ.items()
               if not k.startswith("FONTCONFIG_")}
        system = dict(own, FONTCONFIG_FILE=SYSTEM_CONF)
        out = os.path.join(tmp, "page.png")
        for document in documents:
            for size in SIZES:
                with self.subTest(document=os.path.basename(document), size=size):
                    self.assertTrue(render(document, size, out, own) ==
                                    render(document, size, out, system),
                                    "pixels differ from the system configuration's")


if __name__ == "__main__":
    EXE, SAMPLES = driver.arguments(2)
    driver.main()
