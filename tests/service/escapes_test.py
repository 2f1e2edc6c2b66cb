#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Code execution inside whatever reads a document, trying to get out: the
preloaded probe runs one attempt the moment a marked document's bytes are
read, in every mode (one file, --skim, --cache, and the drawer program
started as a host starts it), on this kernel and on two it stands in for. Each
attempt is first shown to get through unconfined, then must be refused
(71), whether the process itself or its drawer reports it. Without
Landlock only reading is let through (70). A drawer that crashes or hangs
costs only its own document.

usage: escapes_test.py EXECUTABLE DRAWER PROBE
"""
import ctypes
import fcntl
import glob
import os
import re
import signal
import socket
import struct
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
import driver  # noqa: E402

EXE = PROBE = None
MARKED = b"<!-- tamsel-probe -->\n# Title\ntext\n"
GOT_THROUGH, REFUSED = 70, 71
# Name: the Landlock ABI the probe makes the kernel report (0: none), or None.
KERNELS = {"this kernel": None, "Landlock ABI 2": "2", "no Landlock": "0"}
# The drawer program is started as a host starts it, its channel at fd 3.
MODES = ("one-file", "skim", "cache", "program")
# The attempt, and what it changes, as World.state() names it, when it gets
# through; reading and running change nothing to be seen from outside.
ATTEMPTS = [
    ("read:{key}", None),
    ("create:{out}/planted", "made"),
    ("create:{home}/planted", "made"),
    ("write:{out}/.bashrc", "bashrc"),
    ("chmod:{key}", "key"),
    ("utime:{key}", "key"),
    ("setxattr:{key}", "key"),
    ("truncate:{key}", "key"),
    ("kill:{victim}", "victim"),
    ("rename:{out}/tmp-new:{out}/.bashrc", "bashrc"),
    ("unlink:{out}/sub/deep/important.txt", "important"),
    ("mkdir:{home}/planted-dir", "made"),
    ("socket-write:{fd}", "peer"),
    ("connect:{listener}", "caller"),
    ("exec", None),
]
PROOFS = {}  # attempt: why it cannot get through even unconfined, or ""


def run(args, env, timeout=20, pass_fds=(), program=None):
    """Runs as an ordinary user in a group of its own, so that a drawer left
    spinning is ended with it; returns (exit status or None if it outlived
    `timeout`, stderr)."""
    proc = subprocess.Popen([program or EXE, *args], stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env,
                            pass_fds=pass_fds, preexec_fn=driver.as_nobody,
                            start_new_session=True)
    try:
        _, stderr = proc.communicate(timeout=timeout)
        status = proc.returncode
    except subprocess.TimeoutExpired:
        stderr, status = b"", None
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    proc.communicate()
    return status, stderr


def run_drawer(world, env):
    """The drawer program asked for one page of the document, as a host asks
    it: the request's wire form, and the document's descriptor beside it."""
    host, drawer = socket.socketpair()
    name = os.path.basename(world.doc).encode()
    body = (struct.pack("<BI", 0, len(name)) + name + struct.pack("<I4dI", 1, 256, 256, 0, 0, 0))
    with host, drawer, open(world.doc, "rb") as document:
        socket.send_fds(host, [struct.pack("<Q", len(body)) + body], [document.fileno()])
        # A small program puts the channel at descriptor 3 and becomes the drawer.
        return run(["-c", "import os, sys; os.dup2(int(sys.argv[2]), 3); "
                    "os.execv(sys.argv[1], sys.argv[1:2])", DRAWER, str(drawer.fileno())], env,
                   pass_fds=(drawer.fileno(), world.theirs.fileno()), program=sys.executable)


def probe_env(attempt, kernel=None, home=None):
    env = dict(os.environ, LD_PRELOAD=PROBE, TAMSEL_PROBE_ATTEMPT=attempt)
    if home:
        env.update(HOME=home, XDG_CACHE_HOME=os.path.join(home, ".cache"))
    if kernel is not None:
        env["TAMSEL_PROBE_LANDLOCK_ABI"] = kernel
    return env


def stopped(pid):
    with open("/proc/%d/stat" % pid) as f:
        return f.read().rsplit(")", 1)[1].split()[0] == "T"


class World:
    """A home with a key, a folder the page goes to with a shell's files
    beside it, a stopped bystander, an inherited socket and a listening one,
    all the ordinary user's."""

    def __init__(self, test, documents=None):
        self.root = driver.scratch(test, "tamsel-escape-")
        self.home, self.out = os.path.join(self.root, "home"), os.path.join(self.root, "out")
        self.docs = os.path.join(self.root, "docs")
        self.cache = os.path.join(self.home, ".cache")
        self.key = driver.write(os.path.join(self.home, ".ssh/id_ed25519"), b"secret key\n", 0o600)
        driver.write(os.path.join(self.out, ".bashrc"), b"alias ll='ls -l'\n")
        driver.write(os.path.join(self.out, "tmp-new"), b"curl evil | sh\n")
        driver.write(os.path.join(self.out, "sub/deep/important.txt"), b"keep me\n")
        self.documents = [driver.write(os.path.join(self.docs, name), body)
                          for name, body in (documents or {"report.md": MARKED}).items()]
        self.doc = self.documents[-1]
        self.victim = subprocess.Popen(["sleep", "60"], preexec_fn=driver.as_nobody)
        # SIGTERM would wait for a SIGCONT that may never come.
        test.addCleanup(self.victim.wait)
        test.addCleanup(self.victim.kill)
        os.kill(self.victim.pid, signal.SIGSTOP)
        while not stopped(self.victim.pid):
            time.sleep(0.01)
        self.peer, theirs = socket.socketpair()
        # Far above the few a drawer opens for itself, which it may write.
        self.theirs = socket.socket(fileno=fcntl.fcntl(theirs.fileno(), fcntl.F_DUPFD, 100))
        theirs.close()
        self.listener = socket.socket(socket.AF_UNIX)
        self.listener.bind(os.path.join(self.root, "listener"))
        self.listener.listen()
        for end in (self.peer, self.theirs, self.listener):
            end.setblocking(False)
            test.addCleanup(end.close)
        if os.geteuid() == 0:
            subprocess.run(["chown", "-R", "65534:65534", self.root], check=True)

    def attempt(self, pattern):
        return pattern.format(key=self.key, out=self.out, home=self.home,
                              victim=self.victim.pid, fd=self.theirs.fileno(),
                              listener=self.listener.getsockname())

    def state(self):
        key = os.stat(self.key)
        with open(os.path.join(self.out, ".bashrc"), "rb") as f:
            bashrc = f.read()
        try:
            peer = self.peer.recv(64)
        except BlockingIOError:
            peer = b""
        try:
            self.listener.accept()[0].close()
            caller = True
        except BlockingIOError:
            caller = False
        made = [p for p in ("out/planted", "home/planted", "home/planted-dir")
                if os.path.lexists(os.path.join(self.root, p))]
        return {"key": (key.st_mode, key.st_size, key.st_mtime_ns, os.listxattr(self.key)),
                "bashrc": bashrc, "made": made, "victim": stopped(self.victim.pid),
                "important": os.path.exists(os.path.join(self.out, "sub/deep/important.txt")),
                "peer": peer, "caller": caller}

    def env(self, attempt, kernel=None):
        return probe_env(attempt, kernel, self.home)

    def args(self, mode):
        return {"one-file": ["-s", "256", self.doc, os.path.join(self.out, "page.png")],
                "skim": ["--skim", self.doc],
                "cache": ["--cache", "--flavor", "normal", "-j", "1", self.docs]}[mode]


def group_alive(group):
    """Whether a process of `group` still runs (zombies wait on their reaper)."""
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/stat" % entry) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except (OSError, IndexError):
            continue
        if int(fields[2]) == group and fields[0] != "Z":
            return True
    return False


def landlock_abi(env=None):
    found = re.search(rb"landlock ABI (\d+)", driver.run(EXE, "--version", env=env).stdout)
    return int(found[1]) if found else 0


class Escapes(unittest.TestCase):
    maxDiff = None

    def prove(self, pattern, changes):
        """Skips unless the attempt gets through, and shows, unconfined."""
        if pattern not in PROOFS:
            world = World(self)
            before, concrete = world.state(), world.attempt(pattern)
            pid = os.fork()
            if pid == 0:
                code = 255
                try:
                    driver.as_nobody()
                    code = ctypes.CDLL(PROBE).tamsel_probe_attempt(concrete.encode())
                finally:
                    os._exit(min(code, 255))
            code = os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1])
            self.assertTrue(0 <= code < 255, "the probe failed unconfined: %d" % code)
            if not code and changes:
                self.assertNotEqual(world.state()[changes], before[changes],
                                    "%s got through unconfined but changed nothing" % pattern)
            PROOFS[pattern] = os.strerror(code) if code else ""
        if PROOFS[pattern]:
            self.skipTest("%s fails even unconfined here: %s" % (pattern, PROOFS[pattern]))

    def outcome(self, world, status, stderr):
        """What the probe reported, by itself or through the drawer's end."""
        if status in (GOT_THROUGH, REFUSED):
            return status
        found = re.search(rb"exited with status (\d+)", stderr)
        self.assertIsNotNone(found, "the attempt never ran: exit %s, %r" % (status, stderr))
        self.assertEqual(status, 1, stderr)
        self.assertIn(world.doc.encode(), stderr)
        return int(found[1])

    def test_attempts_from_inside_are_refused(self):
        abi = landlock_abi()
        for kernel, simulated in KERNELS.items():
            reports = abi if simulated is None else int(simulated)
            with self.subTest(kernel=kernel):
                if reports > abi:
                    self.skipTest("this kernel's Landlock ABI %d cannot stand in for %d"
                                  % (abi, reports))
                # The probe must really stand in for the kernel, or the three are one.
                self.assertEqual(landlock_abi(probe_env("", simulated)), reports)
            if reports > abi:
                continue
            for mode in MODES:
                for pattern, changes in ATTEMPTS:
                    with self.subTest(kernel=kernel, mode=mode, attempt=pattern):
                        self.prove(pattern, changes)
                        world = World(self)
                        before = world.state()
                        env = world.env(world.attempt(pattern), simulated)
                        status, stderr = run_drawer(world, env) if mode == "program" else run(
                            world.args(mode), env, pass_fds=(world.theirs.fileno(),))
                        got_through = pattern.startswith("read:") and reports == 0
                        self.assertEqual(self.outcome(world, status, stderr),
                                         GOT_THROUGH if got_through else REFUSED,
                                         "70: got through, 71: refused")
                        self.assertEqual(world.state(), before)

    def test_a_drawer_that_crashes_or_hangs_costs_only_its_document(self):
        plain = {"%s.md" % n: b"# %s\n\nplain\n" % n.encode() for n in ("one", "two", "three")}
        for fault, timeout in (("crash", 20), ("hang", 40)):
            with self.subTest(fault=fault):
                world = World(self, dict(plain, **{"marked.md": MARKED}))
                status, stderr = run(world.args("cache"), world.env(fault), timeout=timeout)
                self.assertIsNotNone(status, "still running after %d s" % timeout)
                failures = [line for line in stderr.decode().splitlines()
                            if not re.match(r"\d+ made, ", line)]
                self.assertEqual((status, len(failures)), (1, 1), stderr)
                self.assertIn(world.doc, failures[0])
                # Recorded as failed, like any document that cannot be drawn.
                name = os.path.basename(driver.thumbnail_path(world.cache, "normal",
                                                              driver.file_uri(world.doc)))
                self.assertTrue(glob.glob(os.path.join(world.cache, "thumbnails/fail/*", name)))
                for path in world.documents[:-1]:
                    self.assertTrue(os.path.exists(driver.thumbnail_path(
                        world.cache, "normal", driver.file_uri(path))), path)
        with self.subTest(fault="hang", host="killed"):
            # A host that gives up kills its thumbnailer; the drawer goes too.
            world = World(self)
            proc = subprocess.Popen([EXE, *world.args("one-file")], env=world.env("hang"),
                                    stderr=subprocess.DEVNULL, preexec_fn=driver.as_nobody,
                                    start_new_session=True)
            time.sleep(0.5)
            proc.kill()
            proc.wait()
            deadline = time.monotonic() + 2
            while group_alive(proc.pid) and time.monotonic() < deadline:
                time.sleep(0.05)
            if group_alive(proc.pid):
                os.killpg(proc.pid, signal.SIGKILL)
                self.fail("the drawer outlived its host")
        for fault, timeout in (("crash", 20), ("hang", 40)):
            with self.subTest(fault=fault, mode="one-file"):
                world = World(self)
                status, stderr = run(world.args("one-file"), world.env(fault), timeout=timeout)
                self.assertEqual((status, len(stderr.splitlines())), (1, 1), stderr)
                self.assertIn(world.doc.encode(), stderr)
                self.assertEqual(sorted(os.listdir(world.out)), [".bashrc", "sub", "tmp-new"])


if __name__ == "__main__":
    EXE, DRAWER, PROBE = driver.arguments(3)
    driver.main()
