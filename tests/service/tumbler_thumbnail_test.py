#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Installs the project into a scratch prefix and asks Xfce's thumbnail
service, the tumblerd that Thunar asks, for thumbnails over D-Bus: a .md, a
.txt and a .markdown file each get Ready and a 256-high PNG in the cache, and
a FIFO gets Error and none.

usage: tumbler_thumbnail_test.py CMAKE BUILD_DIR
Exits 77 (skipped) when tumblerd or dbus-run-session is missing; scripts/setup
installs both (packages tumbler and dbus). tumblerd runs on a private session
bus, with HOME, XDG_CACHE_HOME and TMPDIR in a scratch directory and
G_MESSAGES_DEBUG=all; its log is printed when the test fails.
"""
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
import driver  # noqa: E402
from driver import file_uri as uri_of  # noqa: E402

WAIT = 60  # seconds for all answers; each takes milliseconds
EXPECTED = (198, 256)  # the page fitted into the large size, 256 x 256
SERVICE = "org.freedesktop.thumbnails.Thumbnailer1"
OBJECT = "/org/freedesktop/thumbnails/Thumbnailer1"
DOCUMENTS = {  # name: (body, MIME type as a file manager would send it)
    "notes.md": (b"# Notes\n\nA paragraph.\n\n- a bullet\n", "text/markdown"),
    "meeting notes.txt": (b"Just some plain text.\n", "text/plain"),
    "guide.markdown": (b"Guide\n=====\n\n```\ncode\n```\n", "text/markdown"),
}
UNREADABLE = "pipe.md"  # a FIFO: the thumbnailer must fail, not draw an empty page


def find_tumblerd():
    found = sorted(glob.glob("/usr/lib/*/tumbler-1/tumblerd") +
                   glob.glob("/usr/libexec/tumbler-1/tumblerd"))
    return found[0] if found else None


def ask_tumblerd(tumblerd, scratch):
    """Runs on the private bus: starts tumblerd, queues every file, returns
    {uri: "ready" | error message} once it has finished or the time is up."""
    from gi.repository import Gio, GLib

    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    with open(os.path.join(scratch, "tumblerd.log"), "wb") as log:
        daemon = subprocess.Popen([tumblerd], stdout=log, stderr=subprocess.STDOUT,
                                  env=dict(os.environ, G_MESSAGES_DEBUG="all"))
    try:
        deadline = time.monotonic() + WAIT
        # Queue only once tumblerd owns the name, or the bus would start
        # another one from its service file.
        while not bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                "org.freedesktop.DBus", "NameHasOwner",
                                GLib.Variant("(s)", (SERVICE,)), None, 0, -1, None)[0]:
            assert daemon.poll() is None, "tumblerd exited with %s" % daemon.returncode
            assert time.monotonic() < deadline, "tumblerd never took " + SERVICE
            time.sleep(0.05)

        answers, loop, handle = {}, GLib.MainLoop(), []

        def on_signal(_bus, _sender, _path, _interface, name, parameters):
            values = parameters.unpack()
            if not handle or values[0] != handle[0]:
                return
            if name == "Ready":
                answers.update((uri, "ready") for uri in values[1])
            elif name == "Error":
                answers.update((uri, values[3]) for uri in values[1])
            elif name == "Finished":
                loop.quit()

        bus.signal_subscribe(SERVICE, SERVICE, None, OBJECT, None, 0, on_signal)
        paths = [os.path.join(scratch, name) for name in [*DOCUMENTS, UNREADABLE]]
        types = [mime for _, mime in DOCUMENTS.values()] + ["text/markdown"]
        reply = bus.call_sync(SERVICE, OBJECT, SERVICE, "Queue",
                              GLib.Variant("(asasssu)", ([uri_of(p) for p in paths], types,
                                                         "large", "default", 0)),
                              GLib.VariantType("(u)"), 0, -1, None)
        handle.append(reply[0])
        GLib.timeout_add_seconds(WAIT, loop.quit)
        loop.run()
        return answers
    finally:
        daemon.terminate()
        daemon.wait()


def check(scratch, answers):
    for name in DOCUMENTS:
        uri = uri_of(os.path.join(scratch, name))
        assert answers.get(uri) == "ready", "%s: %r" % (name, answers.get(uri, "no answer"))
        thumbnail = driver.thumbnail_path(os.path.join(scratch, "cache"), "large", uri)
        assert os.path.exists(thumbnail), "%s: no %s" % (name, thumbnail)
        assert driver.Png(thumbnail).size == EXPECTED, (name, driver.Png(thumbnail).size)
        print("%s -> Ready, %s" % (name, thumbnail))
    uri = uri_of(os.path.join(scratch, UNREADABLE))
    assert answers.get(uri, "ready") != "ready", "%s: %r" % (UNREADABLE, answers.get(uri))
    print("%s -> Error: %s" % (UNREADABLE, answers[uri]))


def run_on_private_bus(script, scratch, prefix, args, timeout):
    """Writes the documents into SCRATCH and runs SCRIPT --on-private-bus
    ARGS on a session bus of its own, with HOME, the cache and TMPDIR in
    SCRATCH and PREFIX's data first; prints tumblerd's log when it fails."""
    for name, (body, _) in DOCUMENTS.items():
        driver.write(os.path.join(scratch, name), body)
    os.mkfifo(os.path.join(scratch, UNREADABLE))
    os.mkdir(os.path.join(scratch, "tmp"))
    env = dict(os.environ, HOME=scratch, XDG_CACHE_HOME=os.path.join(scratch, "cache"),
               XDG_DATA_DIRS=os.path.join(prefix, "share") + ":/usr/share",
               TMPDIR=os.path.join(scratch, "tmp"))
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    done = subprocess.run([shutil.which("dbus-run-session"), "--", sys.executable,
                           os.path.abspath(script), "--on-private-bus", *args],
                          env=env, timeout=timeout, check=False)
    if done.returncode != 0:
        with open(os.path.join(scratch, "tumblerd.log"), "rb") as f:
            # The plugin lists are long and say nothing about requests.
            print(b"".join(line for line in f if not line.startswith(b"  ")).decode(
                errors="replace"))
    return done.returncode


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--on-private-bus":
        tumblerd, scratch = sys.argv[2], sys.argv[3]
        check(scratch, ask_tumblerd(tumblerd, scratch))
        return 0

    tumblerd = find_tumblerd()
    if not tumblerd or not shutil.which("dbus-run-session"):
        print("skipped: needs tumblerd and dbus-run-session (packages tumbler and dbus; "
              "scripts/setup installs them)")
        return driver.SKIP
    cmake, build = sys.argv[1], sys.argv[2]
    scratch = tempfile.mkdtemp(prefix="tamsel-tumbler-")
    try:
        prefix = os.path.join(scratch, "prefix")
        driver.install(cmake, build, prefix)
        return run_on_private_bus(__file__, scratch, prefix, [tumblerd, scratch], 2 * WAIT)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
