#!/usr/bin/python3
"""The command line as hosts and scripts see it: --skim's exact JSON form,
file URLs, the size options, output formats and usage errors.

usage: cli_test.py EXECUTABLE
(Hostile inputs and unwritable outputs are covered by tests/hostile.)
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import urllib.parse

EXE = None


def run(*args):
    return subprocess.run([EXE, *args], capture_output=True, timeout=20,
                          stdin=subprocess.DEVNULL)


class CommandLine(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tamsel-cli-")

    def tearDown(self):
        shutil.rmtree(self.dir)

    def write(self, name, data):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def assert_failed(self, proc, mentions):
        self.assertEqual(proc.returncode, 1, proc.stderr)
        lines = proc.stderr.splitlines()
        self.assertEqual(len(lines), 1, proc.stderr)
        self.assertIn(mentions, lines[0])
        self.assertEqual(proc.stdout, b"")

    def test_skim_prints_one_json_object_in_the_fixed_form(self):
        src = self.write("report.md", b"Intro \"quoted\" \\ text\n\n## Part\n\n- item\n\n"
                         b"```\nx = 1\n```\n")
        proc = run("--skim", src)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertEqual(proc.stderr, b"")
        out = proc.stdout.decode("utf-8")
        self.assertTrue(out.endswith("}\n") and out.count("\n") == 1, out)
        skim = json.loads(out)
        self.assertEqual(list(skim), ["title", "blocks"])
        # No title in the text: the file name without its extension.
        self.assertEqual(skim["title"], "report")
        kinds = [b["kind"] for b in skim["blocks"]]
        self.assertEqual(kinds, ["body", "heading", "bullet", "mono"])
        self.assertEqual(skim["blocks"][3], {"kind": "mono", "lines": ["x = 1"]})
        # The separators outside checks rely on.
        self.assertEqual(out, json.dumps(skim, ensure_ascii=False) + "\n")

    def test_skim_of_unreadable_things_is_the_empty_document(self):
        os.mkdir(os.path.join(self.dir, "folder.md"))
        for src in [os.path.join(self.dir, "folder.md"), "/dev/null"]:
            proc = run("--skim", src)
            self.assertEqual(proc.returncode, 0, proc.stderr)
            self.assertEqual(json.loads(proc.stdout)["blocks"], [])

    def test_skim_of_a_missing_file_fails(self):
        proc = run("--skim", os.path.join(self.dir, "gone.md"))
        self.assert_failed(proc, b"gone.md")
        self.assertIn(os.strerror(2).encode(), proc.stderr)

    def test_file_url_input_is_decoded(self):
        src = self.write("caf\xe9 notes.md", b"body\n")
        url = "file://" + urllib.parse.quote(src)
        proc = run("--skim", url)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertEqual(json.loads(proc.stdout)["title"], "caf\xe9 notes")
        self.assert_failed(run("--skim", "file://elsewhere" + src), b"elsewhere")

    def test_sizes_and_formats(self):
        src = self.write("doc.md", b"# Doc\n\ntext\n")
        cases = [
            (["-s", "128"], "a.png", (99, 128)),
            (["--max", "256x1024"], "b.png", (256, 332)),
            (["--max", "100x100", "--min", "120x120"], "c.png", (120, 120)),
            (["-s", "0.5"], "d.png", (1, 1)),
        ]
        for opts, name, size in cases:
            out = os.path.join(self.dir, name)
            proc = run(*opts, src, out)
            self.assertEqual(proc.returncode, 0, proc.stderr)
            with open(out, "rb") as f:
                head = f.read(24)
            self.assertEqual(struct.unpack(">II", head[16:24]), size, opts)
        for name, magic in [("e.svg", b"<?xml"), ("f.PDF", b"%PDF-")]:
            out = os.path.join(self.dir, name)
            proc = run(src, out)
            self.assertEqual(proc.returncode, 0, proc.stderr)
            with open(out, "rb") as f:
                self.assertEqual(f.read(5), magic)

    def test_usage_errors_are_one_line(self):
        src = self.write("doc.md", b"x")
        out = os.path.join(self.dir, "never.png")
        cases = [
            ([], b"missing"),
            ([src], b"OUTPUT"),
            (["-q", src, out], b"-q"),
            (["--max", "10x", src, out], b"10x"),
            (["-s", "5000", src, out], b"4096"),
            (["-s", "12\n3", src, out], b"12"),
        ]
        for args, mentions in cases:
            self.assert_failed(run(*args), mentions)
        self.assertFalse(os.path.exists(out))

    def test_file_names_with_line_breaks_stay_on_one_line(self):
        self.assert_failed(run("--skim", os.path.join(self.dir, "a\nb.md")), b"a\\nb.md")

    def test_help_and_version(self):
        proc = run("--help")
        self.assertEqual(proc.returncode, 0)
        self.assertIn(b"-s SIZE", proc.stdout)
        self.assertIn(b"4096", proc.stdout)
        self.assertLessEqual(proc.stdout.count(b"\n"), 24)
        self.assertTrue(all(len(l) <= 80 for l in proc.stdout.splitlines()))
        proc = run("--version")
        self.assertEqual(proc.returncode, 0)
        self.assertRegex(proc.stdout, rb"^tamsel-thumbnail \d+\.\d+\.\d+\n$")


if __name__ == "__main__":
    EXE = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=1)
