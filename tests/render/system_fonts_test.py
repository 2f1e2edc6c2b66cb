#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Pages with emoji and mixed scripts (two samples and the documents in
fonts/), drawn with the program's own font set-up and again with
fontconfig's full system configuration: the pixels must be the same at every
size. The program's own set-up is taken three ways: deriving the answers it
keeps (a fresh cache, once per document), from the answers kept, and from
the configuration (a cache it may not write). Kept answers give way when a setting they were
derived under changes.

usage: system_fonts_test.py EXECUTABLE SAMPLES_DIR
"""
import glob
import os
import shutil
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
import driver  # noqa: E402

SYSTEM_CONF = "/etc/fonts/fonts.conf"


def caches(scratch, name):
    """A cache folder of its own that shares the user's fontconfig caches: a
    font set fontconfig scans afresh may differ from the one it keeps."""
    folder = os.path.join(scratch, name)
    os.makedirs(folder)
    user = os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache")
    if os.path.isdir(os.path.join(user, "fontconfig")):
        os.symlink(os.path.join(user, "fontconfig"), os.path.join(folder, "fontconfig"))
    return folder


class SystemFonts(unittest.TestCase):
    def test_pages_match_the_full_system_configuration(self):
        if not os.path.exists(SYSTEM_CONF):
            self.skipTest(SYSTEM_CONF + " is missing")
        scratch = driver.scratch(self, "tamsel-fonts-")
        out = os.path.join(scratch, "page.png")
        own = {k: v for k, v in os.environ.items() if not k.startswith("FONTCONFIG_")}
        kept = dict(own, XDG_CACHE_HOME=caches(scratch, "kept"))
        unwritable = dict(own, XDG_CACHE_HOME=caches(scratch, "unkept"))
        # A file where the folder of answers would go.
        open(os.path.join(unwritable["XDG_CACHE_HOME"], "tamsel-thumbnail"), "w").close()
        documents = [os.path.join(SAMPLES, name) for name in ("garden-planner.md", "teriyaki-ja.md")]
        documents += sorted(glob.glob(os.path.join(os.path.dirname(__file__), "fonts", "*")))
        sizes = ("128", "256", "512")
        for index, document in enumerate(documents):
            # Answers are derived once per document (for every size at once),
            # each time at the next size.
            shutil.rmtree(os.path.join(kept["XDG_CACHE_HOME"], "tamsel-thumbnail"),
                          ignore_errors=True)
            for turn, size in enumerate(sizes[index % 3:] + sizes[:index % 3]):
                pages = []
                for env in (dict(kept, FONTCONFIG_FILE=SYSTEM_CONF), kept, kept, unwritable):
                    proc = driver.run(EXE, "-s", size, document, out, env=env, timeout=30)
                    self.assertEqual(proc.returncode, 0, proc.stderr)
                    # Equal pixels from one encoder: equal header and data.
                    pages.append((driver.Png(out).header, driver.Png(out).pixels))
                ways = ("derived" if turn == 0 else "kept", "kept", "unkept")
                for way, page in zip(ways, pages[1:]):
                    self.assertTrue(page == pages[0], "%s at %s, answers %s: pixels differ from "
                                    "the system configuration's"
                                    % (os.path.basename(document), size, way))

    def test_kept_answers_give_way_to_a_changed_setting(self):
        if not os.path.exists(SYSTEM_CONF):
            self.skipTest(SYSTEM_CONF + " is missing")
        scratch = driver.scratch(self, "tamsel-fonts-")
        cache = caches(scratch, "cache")
        env = dict({k: v for k, v in os.environ.items() if not k.startswith("FONTCONFIG_")},
                   XDG_CACHE_HOME=cache, LANG="C.UTF-8")
        document = os.path.join(SAMPLES, "readme.md")

        def answers():
            proc = driver.run(EXE, "-s", "256", document, os.path.join(scratch, "page.png"),
                              env=env, timeout=30)
            self.assertEqual(proc.returncode, 0, proc.stderr)
            (path,) = glob.glob(os.path.join(cache, "tamsel-thumbnail", "font-answers-*"))
            with open(path, "rb") as f:
                return f.read()

        first = answers()
        self.assertIn(b"LANG=C.UTF-8", first)
        self.assertEqual(answers(), first)
        env["LANG"] = "de_DE.UTF-8"
        self.assertIn(b"LANG=de_DE.UTF-8", answers())


if __name__ == "__main__":
    EXE, SAMPLES = driver.arguments(2)
    driver.main()
