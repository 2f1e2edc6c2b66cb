#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The command line as hosts and scripts see it: --skim's exact JSON form,
file URLs, page sizes in pixels, output formats, an OUTPUT the host made,
one-line errors, what --cache records of files it cannot read, and pages
drawn where the kernel has no Landlock.

usage: cli_test.py EXECUTABLE MANUAL_SOURCE
(Hostile inputs and unwritable outputs are covered by tests/hostile.)
"""
import json
import os
import re
import shutil
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
import driver  # noqa: E402

EXE = MANUAL = WITHOUT_LANDLOCK = None
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "cli_cases.json")) as f:
    CASES = json.load(f)

# An option as --help and the manual write it: "-s", "--size", or "--" alone;
# not the hyphen inside a word ("x-large") or a quoted "-".
OPTION = re.compile(r'(?<![\w"-])(--?[a-z][a-z-]*|--(?![\w-]))')


def run(*args, without_landlock=False, **kwargs):
    if without_landlock:
        return driver.run(WITHOUT_LANDLOCK, EXE, *args, **kwargs)
    return driver.run(EXE, *args, **kwargs)


class CommandLine(unittest.TestCase):
    def setUp(self):
        self.dir = driver.scratch(self, "tamsel-cli-")
        self.src = driver.write(os.path.join(self.dir, "report.md"), CASES["document"].encode())

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
        self.assertEqual(out, json.dumps(CASES["its skim"], ensure_ascii=False) + "\n")

    def test_inputs(self):
        url = driver.file_uri(os.path.join(self.dir, "caf\xe9 notes.md"))
        shutil.copy(self.src, os.path.join(self.dir, "caf\xe9 notes.md"))
        self.assertEqual(json.loads(self.skim(url))["title"], "caf\xe9 notes")
        self.assert_failed(run("--skim", "file://elsewhere" + self.src), b"elsewhere")
        proc = run("--skim", os.path.join(self.dir, "gone\n.md"))
        self.assert_failed(proc, b"gone\\n.md")
        self.assertIn(os.strerror(2).encode(), proc.stderr)

    def test_sizes_and_formats(self):
        # -s sizes are tests/hostile's; here --max and --min reach the page.
        for opts, name, want in CASES["sizes and formats"]:
            out = os.path.join(self.dir, name)
            proc = run(*opts, self.src, out)
            self.assertEqual(proc.returncode, 0, proc.stderr)
            with open(out, "rb") as f:
                head = f.read(24)
            got = list(driver.Png(out).size) if name.endswith("png") else head[:5].decode("latin-1")
            self.assertEqual(got, want, opts)

    def test_fills_an_empty_output_the_host_made_and_holds_open(self):
        # Xfce's thumbnail service reads the image back through its own handle.
        out = os.path.join(self.dir, "host.png")
        fd = os.open(out, os.O_RDWR | os.O_CREAT, 0o600)
        try:
            proc = run(self.src, out)
            self.assertEqual((proc.returncode, proc.stderr), (0, b""))
            self.assertEqual(os.pread(fd, 8, 0), b"\x89PNG\r\n\x1a\n")
            self.assertEqual(os.fstat(fd).st_ino, os.stat(out).st_ino)
            self.assertEqual(os.stat(out).st_mode & 0o777, 0o600)
        finally:
            os.close(fd)

    def test_usage_errors_are_one_line_and_write_nothing(self):
        out = os.path.join(self.dir, "never.png")
        for args, mentions in CASES["usage errors"]:
            proc = run(*[arg.format(src=self.src, out=out, dir=self.dir) for arg in args])
            self.assert_failed(proc, mentions.encode())
            self.assertTrue(proc.stderr.startswith(b"tamsel-thumbnail: "), proc.stderr)
        self.assertFalse(os.path.exists(out))

    def test_help_fits_a_screen_and_version_is_one_line(self):
        for args in (["--help"], ["--cache", "--help"], ["-s", "junk", "-h"]):
            proc = run(*args)
            self.assertEqual(proc.returncode, 0, args)
            self.assertIn(b"-s SIZE", proc.stdout)
            self.assertLessEqual(proc.stdout.count(b"\n"), 24)
            self.assertTrue(all(len(line) <= 80 for line in proc.stdout.splitlines()))
        for args in (["--version"], ["--cache", "x", "--version"]):
            self.assertRegex(run(*args).stdout, rb"^tamsel-thumbnail \d+\.\d+\.\d+\n"
                             rb"confinement: (landlock ABI \d+, seccomp|seccomp|none)\n$")

    def test_a_kernel_without_landlock_still_gets_pages(self):
        # One debug line says so when debugging output is asked for; else
        # nothing, as on any success.
        self.assertNotIn(b"landlock", run("--version", without_landlock=True).stdout)
        for debug, lines in (("", 0), ("all", 1)):
            out = os.path.join(self.dir, "page%s.png" % debug)
            proc = run(self.src, out, env=dict(os.environ, G_MESSAGES_DEBUG=debug),
                       without_landlock=True)
            self.assertEqual((proc.returncode, len(proc.stderr.splitlines())), (0, lines),
                             proc.stderr)
            self.assertIn(b"Landlock" if lines else b"", proc.stderr)
            self.assertEqual(driver.Png(out).size, (198, 256))

    def test_cache_records_a_file_it_cannot_read_until_it_changes(self):
        tree = os.path.join(self.dir, "tree")
        secret = driver.write(os.path.join(tree, "secret.md"), b"# Secret\n", mode=0)
        shutil.copy(self.src, tree)
        env = dict(os.environ, XDG_CACHE_HOME=os.path.join(self.dir, "cache"))

        def cache(*options):
            proc = run("--cache", "-j", "1", *options, tree, env=env, preexec=driver.as_nobody)
            lines = proc.stderr.decode().splitlines()
            return proc.returncode, lines[:-1], re.sub(r" in [\d.]+ s$", "", lines[-1])

        self.assertEqual(cache(), (1, ["'%s': Permission denied" % secret],
                                   "1 made, 0 fresh, 1 failed, 0 failed earlier"))
        uri = driver.file_uri(secret)
        version = run("--version").stdout.split()[1].decode()
        entry = driver.thumbnail_path(os.path.join(self.dir, "cache"),
                                      "fail/tamsel-thumbnail-" + version, uri)
        png = driver.Png(entry)
        self.assertEqual((png.size, png.text["Thumb::URI"], png.text["Thumb::MTime"]),
                         ((1, 1), uri, str(int(os.stat(secret).st_mtime))))
        self.assertEqual(os.stat(entry).st_mode & 0o777, 0o600)
        self.assertEqual(cache(), (0, [], "0 made, 1 fresh, 0 failed, 1 failed earlier"))
        # A permission change keeps the mtime, and so the record: --force retries.
        os.chmod(secret, 0o644)
        self.assertEqual(cache(), (0, [], "0 made, 1 fresh, 0 failed, 1 failed earlier"))
        self.assertEqual(cache("--force"), (0, [], "2 made, 0 fresh, 0 failed, 0 failed earlier"))
        self.assertFalse(os.path.exists(entry))
        # A new mtime is tried again, without --force.
        os.chmod(secret, 0)
        os.utime(secret, (1, 1))
        self.assertEqual(cache()[2], "0 made, 1 fresh, 1 failed, 0 failed earlier")

    def test_help_and_manual_name_the_same_options(self):
        helped = set(OPTION.findall(run("--help").stdout.decode()))
        with open(MANUAL) as f:
            page = f.read()
        options = re.search(r"^# OPTIONS$(.*?)^# ", page, re.M | re.S).group(1)
        self.assertEqual(helped, set(OPTION.findall(options)))


if __name__ == "__main__":
    EXE, MANUAL, WITHOUT_LANDLOCK = driver.arguments(3)
    driver.main()
