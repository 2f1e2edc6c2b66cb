#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Pages with emoji and mixed scripts (two samples and the documents in
fonts/), drawn with the program's own font set-up and again with
fontconfig's full system configuration: the pixels must be the same at every
size.

usage: system_fonts_test.py EXECUTABLE SAMPLES_DIR
"""
import glob
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
import driver  # noqa: E402

SYSTEM_CONF = "/etc/fonts/fonts.conf"


class SystemFonts(unittest.TestCase):
    def test_pages_match_the_full_system_configuration(self):
        if not os.path.exists(SYSTEM_CONF):
            self.skipTest(SYSTEM_CONF + " is missing")
        out = os.path.join(driver.scratch(self, "tamsel-fonts-"), "page.png")
        own = {k: v for k, v in os.environ.items() if not k.startswith("FONTCONFIG_")}
        documents = [os.path.join(SAMPLES, name) for name in ("garden-planner.md", "teriyaki-ja.md")]
        documents += sorted(glob.glob(os.path.join(os.path.dirname(__file__), "fonts", "*")))
        for document in documents:
            for size in ("128", "256", "512"):
                pages = []
                for env in (own, dict(own, FONTCONFIG_FILE=SYSTEM_CONF)):
                    proc = driver.run(EXE, "-s", size, document, out, env=env, timeout=30)
                    self.assertEqual(proc.returncode, 0, proc.stderr)
                    # Equal pixels from one encoder: equal header and data.
                    pages.append((driver.Png(out).header, driver.Png(out).pixels))
                self.assertTrue(pages[0] == pages[1], "%s at %s: pixels differ from the "
                                "system configuration's" % (os.path.basename(document), size))


if __name__ == "__main__":
    EXE, SAMPLES = driver.arguments(2)
    driver.main()
