#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The tumblerd plugin in the real tumblerd, on a private session bus. A
mount namespace of tumblerd's own shows a scratch folder as its plugin
folder: copies of the system's cache and entry plugins, and a link to the
plugin installed into a scratch prefix. A scratch thumbnailer entry for the
same types records each document it is given.
  * The plugin outranks the entry, which sees no page, and draws pages
    identical to `tamsel-thumbnail -s 128` and `-s 256`; a FIFO gets Error.
  * 300 documents in 30 requests at once all get Ready (tumbler 4.18.0
    cancels each request's document when another's is ready).
  * A drawer that crashes or hangs (the probe, preloaded into tumblerd and
    so into the drawers it starts) fails its document; tumblerd goes on.
  * Disabled=true in a [TamselThumbnailer] group of tumbler.rc, or a
    MaxFileSize there below the documents' sizes, hands them to the entry.

usage: tumbler_plugin_test.py CMAKE BUILD_DIR THUMBNAILER PROBE
Skipped (77) without tumblerd, dbus-daemon, or root to mount.
"""
import glob
import os
import shutil
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
import driver  # noqa: E402
from driver import file_uri as uri  # noqa: E402

MARKED = b"<!-- tamsel-probe -->\n# Title\n"
SIDES = {"normal": "128", "large": "256"}


def setUpModule():
    global PREFIX, MIME_TYPES
    PREFIX = driver.install(None, CMAKE, BUILD)
    # Each test writes an entry of its own, which records what it is given.
    entry = os.path.join(PREFIX, "share/thumbnailers/tamsel.thumbnailer")
    with open(entry) as f:
        MIME_TYPES, = [line for line in f if line.startswith("MimeType=")]
    os.remove(entry)


class Plugin(unittest.TestCase):
    def start(self, entry=True, settings=None, env=()):
        tumblerd = driver.find_tumblerd()
        if not tumblerd or os.geteuid() != 0:
            self.skipTest("needs tumblerd (package tumbler) and root, to mount its plugin folder")
        self.home = home = driver.host_home(self, PREFIX)
        system, plugins = os.path.join(os.path.dirname(tumblerd), "plugins"), os.path.join(home, "plugins")
        shutil.copytree(os.path.join(system, "cache"), os.path.join(plugins, "cache"))
        shutil.copy(os.path.join(system, "tumbler-desktop-thumbnailer.so"), plugins)
        ours, = glob.glob(PREFIX + "/lib*/**/tumbler-1/plugins/tamsel-thumbnailer.so", recursive=True)
        os.symlink(ours, os.path.join(plugins, "tamsel-thumbnailer.so"))
        self.ran = os.path.join(home, "entry-ran")
        if entry:
            script = driver.write(os.path.join(home, "entry"), (
                '#!/bin/sh\necho "$3" >> %s\nexec %s "$@"\n' % (self.ran, THUMBNAILER)).encode(), 0o755)
            driver.write(os.path.join(home, "data/thumbnailers/tamsel.thumbnailer"), (
                "[Thumbnailer Entry]\nTryExec=%s\nExec=%s -s %%s %%i %%o\n%s" % (
                    script, script, MIME_TYPES)).encode())
        if settings:
            driver.write(os.path.join(home, "config/tumbler/tumbler.rc"), settings.encode())
        self.bus = driver.session_bus(self)
        mount = ["unshare", "--mount", "sh", "-c", 'mount --bind "$0" "$1" && exec "$2"',
                 plugins, system]
        env = dict(env, XDG_DATA_HOME=os.path.join(home, "data"),
                   XDG_CONFIG_HOME=os.path.join(home, "config"))
        self.answers, self.tumblerd = driver.start_tumblerd(self, self.bus, mount, env)

    def draw(self, documents, flavor="large", seconds=60):
        self.answers.clear()
        driver.queue(self.bus, documents, flavor)
        driver.wait_until(lambda: all(uri(path) in self.answers for path, _ in documents), seconds,
                          "tumblerd answered only %r" % self.answers)

    def entry_ran(self):
        if not os.path.exists(self.ran):
            return []
        with open(self.ran) as f:
            return f.read().splitlines()

    def test_outranks_the_entry_with_the_command_line_pages(self):
        self.start()
        *pages, (fifo, _) = documents = driver.documents(self.home)
        for flavor, side in SIDES.items():
            self.draw(documents, flavor)
            for path, _ in pages:
                self.assertEqual(self.answers[uri(path)], "ready", path)
                alone = os.path.join(self.home, "alone.png")
                self.assertEqual(driver.run(THUMBNAILER, "-s", side, path, alone).returncode, 0)
                thumbnail = driver.thumbnail_path(os.path.join(self.home, "cache"), flavor, uri(path))
                self.assertTrue(driver.decoded(thumbnail) == driver.decoded(alone),
                                "%s at %s: the plugin's page differs from the command line's" % (path, side))
            self.assertNotEqual(self.answers[uri(fifo)], "ready", "a FIFO was drawn as a page")
        self.assertFalse({path for path, _ in pages} & set(self.entry_ran()), "the entry drew a page")

    def test_every_document_of_concurrent_requests_is_answered(self):
        self.start()
        documents = [(driver.write(os.path.join(self.home, "many/%03d.md" % n), b"# Note %d\n" % n),
                      "text/markdown") for n in range(300)]
        self.answers.clear()
        for n in range(0, 300, 10):
            driver.queue(self.bus, documents[n:n + 10])
        driver.wait_until(lambda: len(self.answers) == 300, 120, "answers: %d" % len(self.answers))
        self.assertEqual(set(self.answers.values()), {"ready"})

    def test_a_drawer_that_crashes_or_hangs_fails_only_its_document(self):
        for attempt in ("crash", "hang"):
            with self.subTest(attempt):
                self.start(entry=False, env={"LD_PRELOAD": PROBE, "TAMSEL_PROBE_ATTEMPT": attempt})
                marked = driver.write(os.path.join(self.home, "marked.md"), MARKED)
                self.draw([(marked, "text/markdown")], seconds=30)
                self.assertNotEqual(self.answers[uri(marked)], "ready")
                after = driver.write(os.path.join(self.home, "after.md"), b"# After\n")
                self.draw([(after, "text/markdown")])
                self.assertEqual(self.answers[uri(after)], "ready")
                self.assertIsNone(self.tumblerd.poll(), "tumblerd left")

    def test_tumbler_rc_can_hand_documents_to_the_entry(self):
        for setting in ("Disabled=true", "MaxFileSize=1"):
            with self.subTest(setting):
                self.start(settings="[TamselThumbnailer]\n%s\n" % setting)
                *pages, _ = driver.documents(self.home)
                self.draw(pages)
                self.assertEqual(set(self.answers.values()), {"ready"})
                self.assertEqual(sorted(self.entry_ran()), sorted(path for path, _ in pages))


if __name__ == "__main__":
    CMAKE, BUILD, THUMBNAILER, PROBE = driver.arguments(4)
    driver.main()
