#!/usr/bin/python3
"""Installs the project into a scratch prefix and asks GNOME's own thumbnail
factory for thumbnails of a Markdown and a plain-text file, and for one of a
FIFO, which must fail (file managers then record the failure) rather than
come back as an empty page.

usage: gnome_thumbnail_test.py CMAKE BUILD_DIR
Exits 77 (skipped) when not root: the prefix must lie below /usr, the only
tree GNOME's thumbnail sandbox exposes.
"""
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
EXPECTED = (198, 256)  # the page fitted into GNOME's large size, 256 x 256


def main():
    if os.geteuid() != 0:
        print("skipped: installing below /usr needs root")
        return SKIP
    cmake, build = sys.argv[1], sys.argv[2]
    prefix = tempfile.mkdtemp(prefix="tamsel-test.", dir="/usr/local")
    scratch = tempfile.mkdtemp(prefix="tamsel-gnome-")
    try:
        os.chmod(prefix, 0o755)
        subprocess.run([cmake, "--install", build, "--prefix", prefix],
                       check=True, stdout=subprocess.DEVNULL)
        entry = os.path.join(prefix, "share/thumbnailers/tamsel.thumbnailer")
        with open(entry) as f:
            text = f.read()
        assert "Exec=%s/bin/tamsel-thumbnail -s %%s %%i %%o" % prefix in text, text

        # GLib reads these once, at first use: set them before GI loads.
        os.environ["XDG_DATA_DIRS"] = os.path.join(prefix, "share") + ":/usr/share"
        os.environ["HOME"] = scratch
        os.environ["XDG_CACHE_HOME"] = os.path.join(scratch, "cache")
        import gi
        gi.require_version("GnomeDesktop", "3.0")
        from gi.repository import GLib, GnomeDesktop

        factory = GnomeDesktop.DesktopThumbnailFactory.new(
            GnomeDesktop.DesktopThumbnailSize.LARGE)
        documents = {
            "notes.md": (b"# Notes\n\nA paragraph.\n\n- a bullet\n", "text/markdown"),
            "plain.txt": (b"Just some plain text.\n", "text/plain"),
        }
        for name, (body, mime) in documents.items():
            path = os.path.join(scratch, name)
            with open(path, "wb") as f:
                f.write(body)
            uri = "file://" + path
            mtime = int(os.stat(path).st_mtime)
            assert factory.can_thumbnail(uri, mime, mtime), "no thumbnailer for " + mime
            pixbuf = factory.generate_thumbnail(uri, mime, None)
            assert pixbuf is not None, "no thumbnail for " + name
            size = (pixbuf.get_width(), pixbuf.get_height())
            assert size == EXPECTED, "%s: %r, want %r" % (name, size, EXPECTED)
            factory.save_thumbnail(pixbuf, uri, mtime, None)
            found = factory.lookup(uri, mtime)
            assert found and found.startswith(scratch), "%s: lookup gave %r" % (name, found)
            print("%s -> %s" % (name, found))

        pipe = os.path.join(scratch, "pipe.md")
        os.mkfifo(pipe)
        try:
            pixbuf = factory.generate_thumbnail("file://" + pipe, "text/markdown", None)
        except GLib.Error as error:
            pixbuf = None
            print("pipe.md -> %s" % error.message)
        assert pixbuf is None, "pipe.md: a FIFO was drawn as a page"
        return 0
    finally:
        shutil.rmtree(prefix, ignore_errors=True)
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
