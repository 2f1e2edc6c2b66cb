#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Installs the project and its tumblerd registration into a scratch prefix
and queues a document with Xfce's tumblerd on a private session bus, whose
service directory is the prefix's: the bus starts tamsel-thumbnail-service
when tumblerd calls it, and again when the next documents come after it left
for being idle. It answers Ready for each document with a page
pixel-identical to `tamsel-thumbnail -s 256`, Error and a failure record for
a FIFO.

usage: tumbler_resident_test.py CMAKE BUILD_DIR THUMBNAILER
Exits 77 (skipped) without tumblerd or dbus-run-session. Tumbler up to 4.20
never passes a specialized thumbnailer's answers on (it waits 100 s, then
runs the next thumbnailer), so the answers are read from the service's own
signals; any answer tumblerd does pass on within the test must agree.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
import driver  # noqa: E402
from driver import file_uri as uri_of  # noqa: E402
from tumbler_thumbnail_test import (  # noqa: E402
    DOCUMENTS, UNREADABLE, find_tumblerd, run_on_private_bus)

WAIT = 30  # seconds for all answers
IDLE = 2  # the service's idle time here, in seconds
TUMBLER = "org.freedesktop.thumbnails.Thumbnailer1"
TUMBLER_PATH = "/org/freedesktop/thumbnails/Thumbnailer1"
SERVICE = "org.tamsel.Thumbnailer1"
SERVICE_PATH = "/org/tamsel/Thumbnailer1"
SPECIALIZED = "org.freedesktop.thumbnails.SpecializedThumbnailer1"


def has_owner(bus, name):
    from gi.repository import GLib
    return bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                         "NameHasOwner", GLib.Variant("(s)", (name,)), None, 0, -1, None)[0]


def ask_tumblerd(tumblerd, scratch):
    """On the private bus: asks for every document and returns (the
    service's answers, tumblerd's answers, seconds the service's second run
    lasted), answers as {uri: "ready" | error message}."""
    from gi.repository import Gio, GLib

    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    assert not has_owner(bus, SERVICE), SERVICE + " runs before anyone asked for it"
    log, daemon = open(os.path.join(scratch, "tumblerd.log"), "wb"), None
    try:
        served, relayed, owners, handle = {}, {}, [], []
        loop = GLib.MainLoop()

        def on_service(_bus, _sender, _path, _interface, name, values):
            values = values.unpack()
            if name in ("Ready", "Error"):
                served[values[1]] = "ready" if name == "Ready" else values[3]

        def on_tumbler(_bus, _sender, _path, _interface, name, values):
            values = values.unpack()
            if handle and values[0] == handle[0] and name in ("Ready", "Error"):
                relayed.update((uri, "ready" if name == "Ready" else values[3])
                               for uri in values[1])

        def on_owner(_bus, _sender, _path, _interface, _name, values):
            owners.append((time.monotonic(), values.unpack()[2]))
            if not owners[-1][1]:
                loop.quit()

        def run_until_service_leaves():
            timer = GLib.timeout_add_seconds(WAIT, loop.quit)
            loop.run()
            GLib.source_remove(timer)
            assert owners and owners[-1][1] == "", SERVICE + " did not leave once idle"

        # Any sender: the service's name has no owner yet to match against.
        bus.signal_subscribe(None, SPECIALIZED, None, SERVICE_PATH, None, 0, on_service)
        bus.signal_subscribe(TUMBLER, TUMBLER, None, TUMBLER_PATH, None, 0, on_tumbler)
        bus.signal_subscribe("org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged",
                             "/org/freedesktop/DBus", SERVICE, 0, on_owner)
        # tumblerd's proxy for the service has the bus start it when tumblerd
        # starts; the Queue below finds it running.
        daemon = subprocess.Popen([tumblerd], stdout=log, stderr=subprocess.STDOUT,
                                  env=dict(os.environ, G_MESSAGES_DEBUG="all"))
        deadline = time.monotonic() + WAIT
        while not has_owner(bus, TUMBLER):
            assert daemon.poll() is None, "tumblerd exited with %s" % daemon.returncode
            assert time.monotonic() < deadline, "tumblerd never took " + TUMBLER
            time.sleep(0.05)
        # tumblerd up to 4.20 sends a thread's next document only after
        # waiting 100 s for the answer to the last, so it gets the first
        # document; the rest go straight to the service, as tumblerd calls it,
        # which also has the bus start the service a second time.
        first, *rest = [os.path.join(scratch, name) for name in [*DOCUMENTS, UNREADABLE]]
        types = [mime for _, mime in DOCUMENTS.values()] + ["text/markdown"]
        reply = bus.call_sync(TUMBLER, TUMBLER_PATH, TUMBLER, "Queue",
                              GLib.Variant("(asasssu)", ([uri_of(first)], types[:1], "large",
                                                         "default", 0)),
                              GLib.VariantType("(u)"), 0, -1, None)
        handle.append(reply[0])
        while uri_of(first) not in served or owners[-1][1]:
            run_until_service_leaves()
            assert time.monotonic() < deadline + WAIT, "tumblerd never reached " + SERVICE
        for path, mime in zip(rest, types[1:]):
            bus.call_sync(SERVICE, SERVICE_PATH, SPECIALIZED, "Queue",
                          GLib.Variant("(sssb)", (uri_of(path), mime, "large", False)),
                          GLib.VariantType("(u)"), 0, -1, None)
        run_until_service_leaves()
        starts = [when for when, owner in owners if owner]
        assert len(starts) >= 2, "the bus started %s only once" % SERVICE
        assert len(served) == len(DOCUMENTS) + 1, "the service answered only %r" % served
        return served, relayed, owners[-1][0] - starts[-1]
    finally:
        if daemon:
            daemon.terminate()
            daemon.wait()
        log.close()


def check(scratch, thumbnailer):
    served, relayed, lifetime = ask_tumblerd(find_tumblerd(), scratch)
    cache = os.path.join(scratch, "cache")
    for name in DOCUMENTS:
        path = os.path.join(scratch, name)
        uri = uri_of(path)
        assert served.get(uri) == "ready", "%s: %r" % (name, served.get(uri, "no answer"))
        assert relayed.get(uri, "ready") == "ready", "%s: tumblerd says %r" % (name, relayed[uri])
        page = driver.Png(driver.thumbnail_path(cache, "large", uri))
        assert page.text["Thumb::URI"] == uri, (name, page.text)
        alone = os.path.join(scratch, "alone.png")
        subprocess.run([thumbnailer, "-s", "256", path, alone], check=True)
        reference = driver.Png(alone)
        assert (page.size, page.pixels) == (reference.size, reference.pixels), \
            "%s: the service's page differs from tamsel-thumbnail's" % name
        print("%s -> Ready, %s" % (name, page.size))
    uri = uri_of(os.path.join(scratch, UNREADABLE))
    assert served.get(uri, "ready") != "ready", "%s: %r" % (UNREADABLE, served.get(uri))
    record = os.path.join(cache, "thumbnails", "fail", "tamsel-thumbnail-" + VERSION,
                          os.path.basename(driver.thumbnail_path(cache, "large", uri)))
    assert driver.Png(record).text["Thumb::URI"] == uri, "no failure record for " + UNREADABLE
    print("%s -> Error: %s, recorded as failed" % (UNREADABLE, served[uri]))
    print("tumblerd passed on %d of %d answers; the service's second run lasted %.1f s, "
          "idle time %d s" % (len(relayed), len(served), lifetime, IDLE))


def main():
    global VERSION
    if len(sys.argv) == 5 and sys.argv[1] == "--on-private-bus":
        VERSION = sys.argv[4]
        check(sys.argv[2], sys.argv[3])
        return 0

    if not find_tumblerd() or not shutil.which("dbus-run-session"):
        print("skipped: needs tumblerd and dbus-run-session (packages tumbler and dbus)")
        return driver.SKIP
    cmake, build, thumbnailer = sys.argv[1:4]
    scratch = tempfile.mkdtemp(prefix="tamsel-resident-")
    try:
        prefix = os.path.join(scratch, "prefix")
        driver.install(cmake, build, prefix)
        subprocess.run([cmake, "--install", build, "--prefix", prefix, "--component", "tumbler"],
                       check=True, stdout=subprocess.DEVNULL)
        activation = os.path.join(prefix, "share/dbus-1/services", SERVICE + ".service")
        with open(activation) as f:
            text = f.read()
        driver.write(activation, text.replace("-service\n", "-service --idle-timeout %d\n" % IDLE)
                     .encode())
        version = subprocess.run([thumbnailer, "--version"], capture_output=True, text=True,
                                 check=True).stdout.split()[1]
        return run_on_private_bus(__file__, scratch, prefix, [scratch, thumbnailer, version],
                                  4 * WAIT)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
