#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""GNOME's own thumbnail factory, with the thumbnailer as installed and with
what `--cache` wrote:
  * installed into a scratch prefix, the thumbnailer answers the factory for
    each document, and fails for a FIFO (file managers then record the
    failure) rather than draw an empty page. Skipped when not root: the
    prefix must lie below /usr, the only tree GNOME's thumbnail sandbox
    exposes;
  * inside the factory's sandbox, which hides the font configuration, the
    installed program draws with the system's fonts once it has kept their
    answers (`--keep-font-answers`), pixel for pixel as outside it;
  * PROGRAM confines itself inside a sandbox made as the factory's is;
  * the factory finds what `PROGRAM --cache` wrote, at each size of one run
    and under the path browsed (through a symbolic link to the tree, as a
    linked ~/Notes is), drops it once the file changes, and finds the new
    one after another run.

usage: gnome_factory_test.py CMAKE BUILD_DIR PROGRAM
HOME and XDG_CACHE_HOME point into a scratch directory, so the user's cache
is never touched.
"""
import os
import shutil
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
import driver  # noqa: E402
from driver import LARGE, NORMAL  # noqa: E402

PREFIX = None


def setUpModule():
    global PREFIX, Gio, GLib, GdkPixbuf, GnomeDesktop
    if os.geteuid() == 0:
        PREFIX = driver.install(None, CMAKE, BUILD, where="/usr/local")
    driver.host_home(None, PREFIX)
    import gi
    gi.require_version("GdkPixbuf", "2.0")
    from gi.repository import Gio, GLib, GdkPixbuf
    GnomeDesktop, _ = driver.gnome_desktop()
    if GnomeDesktop is None:
        raise ImportError("no GnomeDesktop typelib (gir1.2-gnomedesktop-3.0 or -4.0)")


def factory(size="LARGE"):
    return GnomeDesktop.DesktopThumbnailFactory.new(getattr(GnomeDesktop.DesktopThumbnailSize, size))


def uri(path):
    return Gio.File.new_for_path(path).get_uri()


def mtime(path):
    return int(os.stat(path).st_mtime)


class GnomeFactory(unittest.TestCase):
    def test_runs_the_installed_thumbnailer(self):
        if PREFIX is None:
            self.skipTest("installing below /usr needs root")
        with open(os.path.join(PREFIX, "share/thumbnailers/tamsel.thumbnailer")) as f:
            self.assertIn("Exec=%s/bin/tamsel-thumbnail -s %%s %%i %%o" % PREFIX, f.read())
        *pages, (fifo, mime) = driver.documents(driver.scratch(self, "tamsel-gnome-"))
        for path, mime in pages:
            self.assertTrue(factory().can_thumbnail(uri(path), mime, mtime(path)), mime)
            pixbuf = factory().generate_thumbnail(uri(path), mime, None)
            self.assertEqual((pixbuf.get_width(), pixbuf.get_height()), LARGE, path)
            factory().save_thumbnail(pixbuf, uri(path), mtime(path), None)
            self.assertTrue(factory().lookup(uri(path), mtime(path)).startswith(os.environ["HOME"]))
        try:
            self.assertIsNone(factory().generate_thumbnail(uri(fifo), mime, None),
                              "a FIFO was drawn as a page")
        except GLib.Error:
            pass

    def test_draws_with_the_systems_fonts_inside_the_sandbox(self):
        # The sandbox hides /etc/fonts: without the answers kept below the
        # prefix, fontconfig's fallback draws every family in one font.
        if PREFIX is None:
            self.skipTest("installing below /usr needs root")
        program = os.path.join(PREFIX, "bin/tamsel-thumbnail")
        done = driver.run(program, "--keep-font-answers")
        self.assertEqual((done.returncode, done.stderr), (0, b""))
        scratch = driver.scratch(self, "tamsel-gnome-fonts-")
        for name in ("readme.md", "teriyaki-ja.md", "garden-planner.md"):
            path = os.path.join(SAMPLES, name)
            boxed = factory().generate_thumbnail(uri(path), "text/markdown", None)
            drawn = os.path.join(scratch, name + ".png")
            done = driver.run(program, "-s", "256", path, drawn)
            self.assertEqual(done.returncode, 0, done.stderr)
            host = GdkPixbuf.Pixbuf.new_from_file(drawn)
            self.assertEqual((boxed.get_width(), boxed.get_height(), boxed.get_has_alpha()),
                             (host.get_width(), host.get_height(), host.get_has_alpha()), name)
            self.assertTrue(boxed.get_pixels() == host.get_pixels(),
                            "%s: drawn otherwise in the sandbox than outside it" % name)

    def test_confines_itself_inside_the_sandbox(self):
        # bwrap makes new namespaces and sets no_new_privs, as in the
        # factory's sandbox (which adds a seccomp filter of its own); Landlock
        # and the program's filter must still go on top. Nothing missing
        # means no debug line at all.
        if shutil.which("bwrap") is None:
            self.skipTest("no bwrap")
        box = driver.scratch(self, "tamsel-box-")
        sandbox = ["--ro-bind", "/usr", "/usr", "--ro-bind-try", "/etc", "/etc",
                   "--ro-bind-try", "/var/cache/fontconfig", "/var/cache/fontconfig",
                   "--ro-bind", os.path.dirname(PROGRAM), os.path.dirname(PROGRAM),
                   "--bind", box, box, "--proc", "/proc", "--dev", "/dev", "--unshare-all",
                   "--die-with-parent", "--new-session", "--setenv", "G_MESSAGES_DEBUG", "all"]
        for link in ("bin", "lib", "lib64", "sbin"):
            sandbox += ["--symlink", "usr/" + link, "/" + link]
        doc = driver.write(os.path.join(box, "doc.md"), b"# Boxed\n")
        done = driver.run("bwrap", *sandbox, PROGRAM, "-s", "256", doc, box + "/doc.png")
        self.assertEqual((done.returncode, done.stderr), (0, b""))
        self.assertEqual(driver.Png(box + "/doc.png").size, LARGE)

    def test_finds_what_the_cache_run_wrote(self):
        tree = os.path.join(os.environ["HOME"], "Notes")  # browsed, and cached, as this
        os.symlink(driver.scratch(self, "tamsel-notes-"), tree)
        paths = [driver.write(os.path.join(tree, name), body.encode())
                 for name, (body, _) in driver.DOCUMENTS.items()]

        def run_cache(flavor):
            done = driver.run(PROGRAM, "--cache", "--flavor", flavor, tree, timeout=60)
            self.assertEqual(done.returncode, 0, done.stderr)
            return done.stderr.decode().strip().splitlines()[-1]

        self.assertRegex(run_cache("large,normal"), "^4 made, 0 fresh, 0 failed")
        for size, expected in (("LARGE", LARGE), ("NORMAL", NORMAL)):
            for path in paths:
                found = factory(size).lookup(uri(path), mtime(path))
                self.assertTrue(found, f"{size}: no thumbnail found for {path}")
                self.assertEqual(driver.Png(found).size, expected, found)

        changed = paths[0]
        old = factory().lookup(uri(changed), mtime(changed))
        with open(changed, "ab") as f:
            f.write(b"- and the cat\n")
        later = mtime(changed) + 60
        os.utime(changed, (later, later))
        self.assertIsNone(factory().lookup(uri(changed), later), "a stale thumbnail was accepted")
        self.assertRegex(run_cache("large"), "^1 made, 3 fresh, 0 failed")
        self.assertEqual(factory().lookup(uri(changed), later), old)  # same file, new content
        for path in paths[1:]:
            self.assertTrue(factory().lookup(uri(path), mtime(path)), path)


if __name__ == "__main__":
    CMAKE, BUILD, PROGRAM = driver.arguments(3)
    PROGRAM = os.path.abspath(PROGRAM)
    SAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../data/samples")
    driver.main()
