#!/usr/bin/python3
"""The command line as hosts and scripts see it: --skim's exact JSON form,
file URLs, page sizes in pixels, output formats and one-line errors.

usage: cli_test.py EXECUTABLE MANUAL_SOURCE
(Hostile inputs and unwritable outputs are covered by tests/hostile.)
"""
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import urllib.parse

EXE = None
MANUAL = None

# An option as --help and the manual write it: "-s", "--size", or "--" alone;
# not the hyphen inside a word ("x-large") or a quoted "-".
OPTION = re.compile(r'(?<![\w"-])(--?[a-z][a-z-]*|--(?![\w-]))')


def run(*args):
    return subprocess.run([EXE, *args], capture_output=True, timeout=20,
                          stdin=subprocess.DEVNULL)


class CommandLine(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tamsel-cli-")
        self.src = os.path.join(self.dir, "report.md")
        with open(self.src, "wb") as f:
            f.write(b"Intro \"quoted\" \\ text\n\n## Part\n\n- item\n\n```\nx = 1\n```\n")

    def tearDown(self):
        shutil.rmtree(self.dir)

    def assert_failed(self, proc, mentions):
        self.assertEqual(proc.returncode, 1, proc.stderr)
        self.assertEqual(len(proc.stderr.splitlines()), 1, proc.stderr)
        self.assertIn(mentions, proc.stderr)
        self.assertEqual(proc.stdout, b"")

    def skim(self, src):
        proc = run("--skim", src)
        self.assertEqual((proc.returncode, proc.stderr), (0, b""))
        return proc.stdout.decode("utf-8")

    def test_skim_prints_one_json_line_in_the_fixed_form(self):
        out = self.skim(self.src)
        self.assertEqual(out, json.dumps({"title": "report", "blocks": [
            {"kind": "body", "text": "Intro \"quoted\" \\ text"},
            {"kind": "heading", "text": "Part"},
            {"kind": "bullet", "text": "item"},
            {"kind": "mono", "lines": ["x = 1"]}]}, ensure_ascii=False) + "\n")

    def test_inputs(self):
        url = "file://" + urllib.parse.quote(os.path.join(self.dir, "caf\xe9 notes.md"))
        shutil.copy(self.src, os.path.join(self.dir, "caf\xe9 notes.md"))
        self.assertEqual(json.loads(self.skim(url))["title"], "caf\xe9 notes")
        self.assert_failed(run("--skim", "file://elsewhere" + self.src), b"elsewhere")
        proc = run("--skim", os.path.join(self.dir, "gone\n.md"))
        self.assert_failed(proc, b"gone\\n.md")
        self.assertIn(os.strerror(2).encode(), proc.stderr)

    def test_sizes_and_formats(self):
        # -s sizes are tests/hostile's; here --max and --min reach the page.
        cases = [(["--max", "256x1024"], "b.png", (256, 332)),
                 (["--max", "100x100", "--min", "120x120"], "c.png", (120, 120)),
                 ([], "d.svg", b"<?xml"),
                 ([], "e.PDF", b"%PDF-")]
        for opts, name, want in cases:
            out = os.path.join(self.dir, name)
            proc = run(*opts, self.src, out)
            self.assertEqual(proc.returncode, 0, proc.stderr)
            with open(out, "rb") as f:
                head = f.read(24)
            got = struct.unpack(">II", head[16:24]) if name.endswith("png") else head[:5]
            self.assertEqual(got, want, opts)

    def test_usage_errors_are_one_line_and_write_nothing(self):
        out = os.path.join(self.dir, "never.png")
        for args, mentions in [([], b"missing"), (["-s", "5000", self.src, out], b"4096"),
                               (["-s", "12\n3", self.src, out], b"12\\n3")]:
            self.assert_failed(run(*args), mentions)
        self.assertFalse(os.path.exists(out))

    def test_help_fits_a_screen_and_version_is_one_line(self):
        proc = run("--help")
        self.assertEqual(proc.returncode, 0)
        self.assertIn(b"-s SIZE", proc.stdout)
        self.assertLessEqual(proc.stdout.count(b"\n"), 24)
        self.assertTrue(all(len(line) <= 80 for line in proc.stdout.splitlines()))
        self.assertRegex(run("--version").stdout, rb"^tamsel-thumbnail \d+\.\d+\.\d+\n$")

    def test_help_and_manual_name_the_same_options(self):
        helped = set(OPTION.findall(run("--help").stdout.decode()))
        with open(MANUAL) as f:
            page = f.read()
        options = re.search(r"^# OPTIONS$(.*?)^# ", page, re.M | re.S).group(1)
        self.assertEqual(helped, set(OPTION.findall(options)))


if __name__ == "__main__":
    EXE = os.path.abspath(sys.argv.pop(1))
    MANUAL = sys.argv.pop(1)
    unittest.main(verbosity=1)
