#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Runs the thumbnailer on hostile inputs and checks every answer.

Each case must end, within a time budget, in one of two ways:
  * exit 0 and a complete PNG of the expected size at OUTPUT, or
  * exit 1, exactly one line on stderr, and OUTPUT exactly as it was before.
An INPUT that cannot be read, or is not a regular file, must end the second
way.
Never a hang, a crash, a partial file or a stray temporary file.

usage: bad_inputs.py EXECUTABLE [TIME_SCALE]
TIME_SCALE stretches the time budgets for slow (sanitizer) builds.
"""
import errno
import os
import random
import socket
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
import driver  # noqa: E402

EXE = None
BUDGET = 5.0            # seconds for any one run; a hang is a failure
FAST = 1.0              # FIFOs and devices must be answered this fast
SENTINEL = b"previous thumbnail, must survive a failed run\n"
as_nobody = driver.as_nobody


class Case(unittest.TestCase):
    def setUp(self):
        self.dir = driver.scratch(self, "tamsel-hostile-")

    def path(self, name):
        return os.path.join(self.dir, name) if isinstance(name, str) else \
            os.path.join(os.fsencode(self.dir), name)

    def write(self, name, data, mode=0o644):
        return driver.write(self.path(name), data, mode)

    def run_exe(self, args, budget=BUDGET, preexec=None):
        start = time.monotonic()
        try:
            proc = driver.run(EXE, *args, timeout=budget, preexec=preexec)
        except subprocess.TimeoutExpired:
            self.fail("hung for more than %.1f s: %r" % (budget, args))
        return proc, time.monotonic() - start

    def answer(self, args, output, expect=None, budget=BUDGET, preexec=None):
        """Runs and checks the two allowed outcomes; returns the exit code."""
        parent = os.path.dirname(output)
        listing = lambda: set(os.listdir(parent)) if os.path.isdir(parent) else set()
        names_before = listing()
        existed_as_other = os.path.isdir(output)
        before = None
        if os.path.lexists(output) and os.path.isfile(output):
            with open(output, "rb") as f:
                before = f.read()
        proc, elapsed = self.run_exe(args, budget, preexec)
        self.assertLess(elapsed, budget)
        self.assertIn(proc.returncode, (0, 1), "crashed or odd exit: %d, stderr %r"
                      % (proc.returncode, proc.stderr))
        if proc.returncode == 0:
            self.assertEqual(proc.stderr, b"")
            size = driver.Png(output).size
            if expect:
                self.assertEqual(size, expect)
        else:
            lines = proc.stderr.splitlines()
            self.assertEqual(len(lines), 1, "want one error line, got %r" % proc.stderr)
            self.assertTrue(lines[0].strip(), "empty error line")
            if existed_as_other:
                self.assertTrue(os.path.isdir(output), "failed run replaced OUTPUT")
            elif before is None:
                self.assertFalse(os.path.lexists(output), "failed run left OUTPUT behind")
            else:
                with open(output, "rb") as f:
                    self.assertEqual(f.read(), before, "failed run changed OUTPUT")
        added = listing() - names_before - {os.path.basename(output)}
        self.assertEqual(added, set(), "temporary files left behind")
        return proc.returncode, proc.stderr

    # --- inputs -------------------------------------------------------------

    def test_random_bytes(self):
        rng = random.Random(7)
        for i, n in enumerate([1, 3, 100, 70000]):
            src = self.write("random%d.md" % i, bytes(rng.randrange(256) for _ in range(n)))
            out = self.path("random%d.png" % i)
            code, _ = self.answer(["-s", "256", src, out], out, expect=(198, 256))
            self.assertEqual(code, 0)

    def test_huge_sparse_file_reads_only_the_head(self):
        src = self.path("huge.md")
        with open(src, "wb") as f:
            f.write(b"# Sparse\n\nOnly the head is read.\n")
            f.truncate(1 << 30)
        out = self.path("huge.png")
        code, _ = self.answer(["-s", "256", src, out], out, expect=(198, 256), budget=FAST)
        self.assertEqual(code, 0)

    def test_inputs_that_cannot_be_read_fail_and_leave_output_alone(self):
        # Hosts record a failure for these; an empty page would be cached as
        # the file's thumbnail and never retried.
        os.mkfifo(self.path("pipe.md"))
        os.mkdir(self.path("folder.md"))
        listener = socket.socket(socket.AF_UNIX)
        listener.bind(self.path("socket.md"))
        self.addCleanup(listener.close)
        rows = [  # INPUT, cause, run as
            (self.path("pipe.md"), b"not a regular file (a FIFO)", None),
            ("/dev/zero", b"not a regular file (a device)", None),
            ("/dev/null", b"not a regular file (a device)", None),
            (self.path("socket.md"), b"not a regular file (a socket)", None),
            (self.path("folder.md"), os.strerror(errno.EISDIR).encode(), None),
            (self.write("secret.md", b"# Secret\n", mode=0o000),
             os.strerror(errno.EACCES).encode(), as_nobody),
            (self.path("absent.md"), os.strerror(errno.ENOENT).encode(), None),
            ("http://example.org/a.md",
             b"not a local file: only file:// URLs and paths are read", None),
            ("file://elsewhere" + self.path("x.md"), b"not a local file URL", None),
        ]
        for i, (src, cause, preexec) in enumerate(rows):
            # The host's own empty file, and an earlier thumbnail: both kept.
            for out in [self.write("host%d.png" % i, b"", mode=0o666),
                        self.write("kept%d.png" % i, SENTINEL, mode=0o666)]:
                code, err = self.answer(["-s", "128", src, out], out, budget=FAST,
                                        preexec=preexec)
                self.assertEqual(code, 1, src)
                self.assertEqual(err, b"tamsel-thumbnail: cannot read '%s': %s\n"
                                 % (os.fsencode(src), cause))
            proc, _ = self.run_exe(["--skim", src], preexec=preexec)
            self.assertEqual((proc.returncode, proc.stdout, len(proc.stderr.splitlines())),
                             (1, b"", 1), src)

    def test_empty_readable_file_is_the_empty_document(self):
        for name, body in [("empty.md", b""), ("blank.md", b" \n\t\n")]:
            out = self.path(name + ".png")
            code, _ = self.answer([self.write(name, body), out], out, expect=(198, 256))
            self.assertEqual(code, 0, name)

    def test_awkward_file_names(self):
        for name in [b"bad\xff\xfename.md", b"with spaces.md", b"-dash.md", b"\xe2\x80\xae.md"]:
            src = self.write(name, b"# Named\n\nbody\n")
            out = self.path(name + b".png")
            code, _ = self.answer(["-s", "128", "--", os.fsdecode(src), os.fsdecode(out)],
                                  os.fsdecode(out))
            self.assertEqual(code, 0, name)

    def test_symlink_loop(self):
        a, b = self.path("a.md"), self.path("b.md")
        os.symlink(b, a)
        os.symlink(a, b)
        out = self.path("loop.png")
        self.answer([a, out], out)

    def test_file_that_shrinks_while_read(self):
        src = self.write("shrinking.md", b"")
        stop = threading.Event()

        def churn():
            big = b"# Churn\n\n" + b"word " * 40000
            while not stop.is_set():
                with open(src, "wb") as f:
                    f.write(big)
                with open(src, "r+b") as f:
                    f.truncate(10)

        t = threading.Thread(target=churn)
        t.start()
        try:
            for i in range(15):
                out = self.path("shrink%d.png" % i)
                code, _ = self.answer(["-s", "128", src, out], out)
                self.assertEqual(code, 0)
        finally:
            stop.set()
            t.join()

    # --- outputs ------------------------------------------------------------

    def test_unwritable_outputs(self):
        src = self.write("doc.md", b"# Doc\n")
        ro = self.path("readonly")
        os.mkdir(ro, 0o555)
        os.mkdir(self.path("isdir.png"))
        cases = [
            (self.path("missing/dir/out.png"), None),
            (os.path.join(ro, "out.png"), as_nobody),
            (self.path("isdir.png"), None),
        ]
        for out, preexec in cases:
            code, err = self.answer([src, out], out, preexec=preexec)
            self.assertEqual(code, 1, out)

    def test_failed_run_keeps_previous_output(self):
        out = self.write("previous.png", SENTINEL)
        code, _ = self.answer(["-s", "0", self.write("d.md", b"x"), out], out)
        self.assertEqual(code, 1)

    # --- sizes --------------------------------------------------------------

    def test_absurd_sizes(self):
        src = self.write("sized.md", b"# Sized\n")
        for size in ["0", "-5", "-0", "nan", "NaN", "inf", "1e309", "abc", "", "256x",
                     " 256", "0x10", "99999999999999999999", "1000000"]:
            out = self.path("sized.png")
            code, _ = self.answer(["-s", size, src, out], out)
            self.assertEqual(code, 1, "size %r accepted" % size)

    def test_largest_accepted_size(self):
        src = self.write("big.md", b"# Big\n\nA page drawn large.\n")
        out = self.path("big.png")
        code, _ = self.answer(["-s", "4096", src, out], out, expect=(3167, 4096), budget=20)
        self.assertEqual(code, 0)


if __name__ == "__main__":
    EXE, = driver.arguments(1)
    if len(sys.argv) > 1 and sys.argv[1].replace(".", "", 1).isdigit():
        scale = float(driver.arguments(1)[0])
        BUDGET, FAST = BUDGET * scale, FAST * scale
    driver.main()
