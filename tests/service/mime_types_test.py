#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The thumbnailer entry's MIME types against the installed shared-mime-info
database. Hosts match the canonical name the database gives a file, so a
claimed alias is no use unless its canonical name is claimed too, and a name
that newer releases made canonical must be claimed beside the old one.

usage: mime_types_test.py ENTRY MIME_DIR
"""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
import driver  # noqa: E402

# Canonical in newer shared-mime-info releases -> the name older ones use.
NEWER_NAMES = {"application/yaml": "application/x-yaml", "application/vnd.dart": "text/x-dart"}


class ClaimedMimeTypes(unittest.TestCase):
    def test_every_claimed_type_reaches_hosts(self):
        if not os.path.exists(os.path.join(MIME_DIR, "aliases")):
            self.skipTest("no MIME database at " + MIME_DIR)
        with open(ENTRY, encoding="utf-8") as f:
            line, = [line for line in f if line.startswith("MimeType=")]
        claimed = [name for name in line.strip()[len("MimeType="):].split(";") if name]
        with open(os.path.join(MIME_DIR, "types")) as types, \
                open(os.path.join(MIME_DIR, "aliases")) as aliases:
            known, canonical = set(types.read().split()), dict(a.split() for a in aliases if a.strip())
        self.assertEqual(len(claimed), len(set(claimed)), "a type is claimed twice")
        for name in claimed:
            self.assertIn(name, known | canonical.keys() | NEWER_NAMES.keys(), "unknown")
            self.assertIn(canonical.get(name, name), claimed, name + ": canonical name not claimed")
        for newer, older in NEWER_NAMES.items():
            if older in claimed:
                self.assertIn(newer, claimed, "newer releases' name not claimed")


if __name__ == "__main__":
    ENTRY, MIME_DIR = driver.arguments(2)
    driver.main()
