#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Installs the project into a scratch prefix and asks Xfce's thumbnail
service, the tumblerd that Thunar asks, for thumbnails on a private session
bus, which finds the prefix's thumbnailer entry: each document gets Ready
and a 256-high PNG in the cache, and a FIFO gets Error and none.

usage: tumbler_test.py CMAKE BUILD_DIR THUMBNAILER [TEST]
Skipped (77) without tumblerd or dbus-daemon.
"""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
import driver  # noqa: E402
from driver import file_uri as uri  # noqa: E402


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


if __name__ == "__main__":
    CMAKE, BUILD, THUMBNAILER = driver.arguments(3)
    driver.main()
