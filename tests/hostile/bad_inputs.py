#!/usr/bin/env python3
"""Runs the thumbnailer on hostile inputs and checks every answer.

Each case must end, within a time budget, in one of two ways:
  * exit 0 and a complete PNG of the expected size at OUTPUT, or
  * exit 1, exactly one line on stderr, and OUTPUT exactly as it was before.
Never a hang, a crash, a partial file or a stray temporary file.

usage: bad_inputs.py EXECUTABLE [TIME_SCALE]
TIME_SCALE stretches the time budgets for slow (sanitizer) builds.
"""
import os
import random
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zlib

EXE = None
BUDGET = 5.0            # seconds for any one run; a hang is a failure
FAST = 1.0              # FIFOs and devices must be answered this fast
SENTINEL = b"previous thumbnail, must survive a failed run\n"
PNG_MAGIC = b"\x89PNG\r\n\x1a\n"


def png_size(data):
    """(width, height) of a PNG, after checking every chunk's CRC and the IEND."""
    assert data.startswith(PNG_MAGIC), "not a PNG"
    pos, size, ended = 8, None, False
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        crc, = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        assert zlib.crc32(kind + body) == crc, "bad CRC in %r" % kind
        if kind == b"IHDR":
            size = struct.unpack(">II", body[:8])
        if kind == b"IEND":
            ended = True
        pos += 12 + length
    assert ended, "PNG has no IEND: written partially"
    return size


def as_nobody():
    # Root reads and writes anything; permission cases need an ordinary user.
    if os.geteuid() == 0:
        os.setgid(65534)
        os.setuid(65534)


class Case(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tamsel-hostile-")
        os.chmod(self.dir, 0o777)

    def tearDown(self):
        for root, dirs, _ in os.walk(self.dir):
            for d in dirs:
                os.chmod(os.path.join(root, d), 0o777)
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name) if isinstance(name, str) else \
            os.path.join(os.fsencode(self.dir), name)

    def write(self, name, data, mode=0o644):
        p = self.path(name)
        with open(p, "wb") as f:
            f.write(data)
        os.chmod(p, mode)
        return p

    def run_exe(self, args, budget=BUDGET, preexec=None):
        start = time.monotonic()
        try:
            proc = subprocess.run([EXE] + args, capture_output=True, timeout=budget,
                                  stdin=subprocess.DEVNULL, preexec_fn=preexec)
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
            with open(output, "rb") as f:
                size = png_size(f.read())
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

    def test_fifo_and_devices_never_block(self):
        fifo = self.path("pipe.md")
        os.mkfifo(fifo)
        for i, src in enumerate([fifo, "/dev/zero", "/dev/urandom", "/dev/null"]):
            out = self.path("dev%d.png" % i)
            self.answer(["-s", "128", src, out], out, budget=FAST)

    def test_directory_as_input(self):
        os.mkdir(self.path("folder.md"))
        out = self.path("folder.png")
        self.answer([self.path("folder.md"), out], out)

    def test_unreadable_file_gives_a_page(self):
        src = self.write("secret.md", b"# Secret\n", mode=0o000)
        out = self.path("secret.png")
        code, _ = self.answer(["-s", "256", src, out], out, expect=(198, 256), preexec=as_nobody)
        self.assertEqual(code, 0)

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

    def test_missing_input(self):
        out = self.write("kept.png", SENTINEL)
        code, err = self.answer([self.path("absent.md"), out], out)
        self.assertEqual(code, 1)
        self.assertIn(b"absent.md", err)

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
    EXE = os.path.abspath(sys.argv.pop(1))
    if len(sys.argv) > 1 and sys.argv[1].replace(".", "", 1).isdigit():
        scale = float(sys.argv.pop(1))
        BUDGET, FAST = BUDGET * scale, FAST * scale
    unittest.main(verbosity=1)
