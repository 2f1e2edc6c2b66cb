#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Installs the project into a scratch prefix and asks Xfce's thumbnail
service, the tumblerd that Thunar asks, for thumbnails on a private session
bus, which finds the prefix's services:
  * with the thumbnailer entry, each document gets Ready and a 256-high PNG
    in the cache, and a FIFO gets Error and none;
  * with the tumblerd registration installed too, the bus starts
    tamsel-thumbnail-service when tumblerd calls it, and again when the next
    documents come after it left for being idle. It answers Ready for each
    document with a page pixel-identical to `tamsel-thumbnail -s 256`, Error
    and a failure record for a FIFO. Tumbler up to 4.20 never passes a
    specialized thumbnailer's answers on (it waits 100 s, then runs the next
    thumbnailer), so the answers are read from the service's own signals;
    any answer tumblerd does pass on within the test must agree.

usage: tumbler_test.py CMAKE BUILD_DIR THUMBNAILER [TEST]
Skipped (77) without tumblerd or dbus-daemon.
"""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
import driver  # noqa: E402
from driver import file_uri as uri  # noqa: E402

WAIT = 30  # seconds for each round of the resident service's answers
IDLE = 2  # the service's idle time here, in seconds
SERVICE, SERVICE_PATH = "org.tamsel.Thumbnailer1", "/org/tamsel/Thumbnailer1"
SPECIALIZED = "org.freedesktop.thumbnails.SpecializedThumbnailer1"


class Tumbler(unittest.TestCase):
    def test_entry(self):
        home = driver.host_home(self, driver.install(self, CMAKE, BUILD))
        bus = driver.session_bus(self)
        answers, _ = driver.start_tumblerd(self, bus)
        *pages, (fifo, _) = documents = driver.documents(home)
        driver.queue(bus, documents)
        driver.wait_until(lambda: len(answers) == len(documents), 60, "tumblerd answered %r" % answers)
        for path, _ in pages:
            self.assertEqual(answers[uri(path)], "ready", path)
            thumbnail = driver.thumbnail_path(os.path.join(home, "cache"), "large", uri(path))
            self.assertEqual(driver.Png(thumbnail).size, driver.LARGE, path)
        self.assertNotEqual(answers[uri(fifo)], "ready", "a FIFO was drawn as a page")

    def test_resident(self):
        prefix = driver.install(self, CMAKE, BUILD, "tumbler")
        activation = os.path.join(prefix, "share/dbus-1/services", SERVICE + ".service")
        with open(activation) as f:
            text = f.read().replace("-service\n", "-service --idle-timeout %d\n" % IDLE)
        driver.write(activation, text.encode())
        home = driver.host_home(self, prefix)
        bus = driver.session_bus(self)
        self.assertFalse(driver.has_owner(bus, SERVICE), "runs before anyone asked for it")
        served = driver.listen(bus, SPECIALIZED, SERVICE_PATH)

        # tumblerd's proxy for the service has the bus start it when tumblerd
        # starts. Tumbler up to 4.20 sends a thread's next document only after
        # waiting 100 s for the answer to the last, so it gets the first one;
        # the rest go straight to the service, as tumblerd calls it, once it
        # left: only the bus starting it again can answer them.
        relayed, _ = driver.start_tumblerd(self, bus)
        first, *rest = documents = driver.documents(home)
        driver.queue(bus, [first])
        driver.wait_until(lambda: uri(first[0]) in served and not driver.has_owner(bus, SERVICE),
                          2 * WAIT, "tumblerd never reached the service, or it never left")
        for path, mime in rest:
            driver.call(bus, SERVICE, SERVICE_PATH, SPECIALIZED, "Queue", "(sssb)",
                        uri(path), mime, "large", False)
        driver.wait_until(lambda: len(served) == len(documents)
                          and not driver.has_owner(bus, SERVICE), WAIT,
                          "the service answered only %r, or never left once idle" % served)

        *pages, (fifo, _) = documents
        cache = os.path.join(home, "cache")
        for path, _ in pages:
            self.assertEqual(served[uri(path)], "ready", path)
            self.assertEqual(relayed.get(uri(path), "ready"), "ready", "tumblerd says")
            page = driver.Png(driver.thumbnail_path(cache, "large", uri(path)))
            self.assertEqual(page.text["Thumb::URI"], uri(path))
            alone = os.path.join(home, "alone.png")
            self.assertEqual(driver.run(THUMBNAILER, "-s", "256", path, alone).returncode, 0)
            self.assertTrue((page.size, page.pixels) == (driver.Png(alone).size,
                                                         driver.Png(alone).pixels),
                            "%s: the service's page differs from tamsel-thumbnail's" % path)
        self.assertNotEqual(served[uri(fifo)], "ready", "a FIFO was drawn as a page")
        version = driver.run(THUMBNAILER, "--version").stdout.split()[1].decode()
        record = driver.thumbnail_path(cache, "fail/tamsel-thumbnail-" + version, uri(fifo))
        self.assertEqual(driver.Png(record).text["Thumb::URI"], uri(fifo))


if __name__ == "__main__":
    CMAKE, BUILD, THUMBNAILER = driver.arguments(3)
    driver.main()
