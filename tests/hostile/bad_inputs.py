#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Runs the thumbnailer on hostile inputs and checks every answer.

Each case must end, within a time budget, in one of two ways:
  * exit 0 and a complete PNG of the expected size at OUTPUT, or
  * exit 1, exactly one line on stderr, and OUTPUT exactly as it was before.
An INPUT that cannot be read, or is not a regular file, must end the second
way, with the error naming it (cases.json lists them, and refused sizes).
Never a hang, a crash, a partial file or a stray temporary file.

usage: bad_inputs.py EXECUTABLE [TIME_SCALE]
TIME_SCALE stretches the time budgets for slow (sanitizer) builds.
"""
import json
import os
import random
import socket
import stat
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
import driver  # noqa: E402

with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "cases.json")) as f:
    CASES = json.load(f)
BUDGET = 5.0  # seconds for any one run; a hang is a failure
FAST = 1.0  # FIFOs and devices must be answered this fast
SENTINEL = b"previous thumbnail, must survive a failed run\n"


def state(path):
    if os.path.isfile(path):
        with open(path, "rb") as f:
            return f.read()
    return os.path.isdir(path)


def listing(folder):
    return set(os.listdir(folder)) if os.path.isdir(folder) else set()


class Case(unittest.TestCase):
    def setUp(self):
        self.dir = os.fsencode(driver.scratch(self, "tamsel-hostile-"))

    def write(self, name, data, mode=0o644):
        return driver.write(os.path.join(self.dir, name), data, mode)

    def answer(self, args, output, page=None, budget=BUDGET, preexec=None):
        """Runs; checks for a page of size `page` (a failure, for None) and
        that nothing else is left beside OUTPUT. Returns stderr."""
        parent = os.path.dirname(output)
        before, names = state(output), listing(parent) | {os.path.basename(output)}
        try:
            proc = driver.run(EXE, *args, timeout=budget, preexec=preexec)
        except subprocess.TimeoutExpired:
            self.fail("hung for more than %.1f s: %r" % (budget, args))
        self.assertEqual(proc.returncode, 0 if page else 1, proc.stderr)
        if page:
            self.assertEqual((proc.stderr, driver.Png(output).size), (b"", page))
        else:
            self.assertRegex(proc.stderr, rb"^tamsel-thumbnail: [^\n]+\n$")
            self.assertEqual(state(output), before, "a failed run changed OUTPUT")
        self.assertEqual(listing(parent) - names, set(), "temporary files left behind")
        return proc.stderr

    def test_odd_documents_get_a_page(self):
        rng = random.Random(7)
        rows = [(b"random%d.md" % n, bytes(rng.randrange(256) for _ in range(n)), "256")
                for n in (1, 3, 100, 70000)]
        rows += [(b"empty.md", b"", "256"), (b"blank.md", b" \n\t\n", "256"),
                 (b"big.md", b"# Big\n\nA page drawn large.\n", "4096")]
        rows += [(name, b"# Named\n\nbody\n", "128")
                 for name in (b"bad\xff\xfename.md", b"with spaces.md", b"-dash.md", b"\xe2\x80\xae.md")]
        for name, body, size in rows:
            src = self.write(name, body)
            page = {"128": driver.NORMAL, "256": driver.LARGE, "4096": (3167, 4096)}[size]
            self.answer(["-s", size, "--", src, src + b".png"], src + b".png", page,
                        budget=BUDGET * (4 if size == "4096" else 1))
        # Only the head is read: a gigabyte costs no more than a line.
        src = self.write(b"huge.md", b"# Sparse\n\nOnly the head is read.\n")
        os.truncate(src, 1 << 30)
        self.answer([src, src + b".png"], src + b".png", driver.LARGE, budget=FAST)

    def test_inputs_that_cannot_be_read_fail_and_leave_output_alone(self):
        # Hosts record a failure for these; an empty page would be cached as
        # the file's thumbnail and never retried.
        path = lambda name: os.path.join(self.dir, name)  # noqa: E731
        os.mkfifo(path(b"pipe.md"))
        os.mkdir(path(b"folder.md"))
        listener = socket.socket(socket.AF_UNIX)
        listener.bind(path(b"socket.md"))
        self.addCleanup(listener.close)
        self.write(b"secret.md", b"# Secret\n", mode=0o000)
        os.symlink(path(b"loop.md"), path(b"loop.md"))
        for src, cause, *nobody in CASES["inputs that cannot be read"]:
            src = src.replace("{dir}", os.fsdecode(self.dir)).encode()
            preexec = driver.as_nobody if nobody else None
            # The host's own empty file, and an earlier thumbnail: both kept.
            for out in [self.write(b"host.png", b"", 0o666), self.write(b"kept.png", SENTINEL, 0o666)]:
                self.assertEqual(self.answer(["-s", "128", src, out], out, budget=FAST, preexec=preexec),
                                 b"tamsel-thumbnail: cannot read '%s': %s\n" % (src, cause.encode()))
            proc = driver.run(EXE, "--skim", src, preexec=preexec)
            self.assertEqual((proc.returncode, proc.stdout, len(proc.stderr.splitlines())),
                             (1, b"", 1), src)

    def test_file_that_shrinks_while_read(self):
        src = self.write(b"shrinking.md", b"")
        churn = subprocess.Popen(["sh", "-c", 'while :; do yes word | head -c 200000 >"$0"; '
                                  'truncate -s 10 "$0"; done', src])
        self.addCleanup(driver.stop, churn)
        for i in range(15):
            out = os.path.join(self.dir, b"shrink%d.png" % i)
            self.answer(["-s", "128", src, out], out, driver.NORMAL)

    def test_refused_sizes_and_unwritable_outputs_keep_the_output(self):
        src, kept = self.write(b"doc.md", b"# Doc\n"), self.write(b"kept.png", SENTINEL)
        for size in CASES["refused sizes"]:
            self.answer(["-s", size, src, kept], kept)
        os.mkdir(os.path.join(self.dir, b"readonly"), 0o555)
        os.mkdir(os.path.join(self.dir, b"isdir.png"))
        for out, preexec in [(b"missing/dir/out.png", None), (b"readonly/out.png", driver.as_nobody),
                             (b"isdir.png", None)]:
            self.answer([src, os.path.join(self.dir, out)], os.path.join(self.dir, out), preexec=preexec)

    def test_outputs_that_are_not_ours_to_replace(self):
        # Run as root, a FIFO, a device or the document itself would
        # otherwise be replaced by the page.
        path = lambda name: os.path.join(self.dir, name)  # noqa: E731
        src = self.write(b"doc.md", b"# Doc\n")
        os.mkfifo(path(b"pipe.png"))
        listener = socket.socket(socket.AF_UNIX)
        listener.bind(path(b"socket.png"))
        self.addCleanup(listener.close)
        os.link(src, path(b"hardlink.png"))
        try:
            os.mknod(path(b"null.png"), 0o666 | stat.S_IFCHR, os.makedev(1, 3))
        except PermissionError:
            os.symlink("/dev/null", path(b"null.png"))
        for out, cause in CASES["outputs left alone"]:
            out = out.replace("{dir}", os.fsdecode(self.dir)).encode()
            kind = stat.S_IFMT(os.stat(out).st_mode)
            self.assertEqual(self.answer(["-s", "128", src, out], out, budget=FAST),
                             b"tamsel-thumbnail: cannot write '%s': %s\n" % (out, cause.encode()))
            self.assertEqual(stat.S_IFMT(os.stat(out).st_mode), kind, out)
        self.assertEqual(state(src), b"# Doc\n")


if __name__ == "__main__":
    EXE, = driver.arguments(1)
    if len(sys.argv) > 1 and sys.argv[1].replace(".", "", 1).isdigit():
        scale = float(driver.arguments(1)[0])
        BUDGET, FAST = BUDGET * scale, FAST * scale
    driver.main()
