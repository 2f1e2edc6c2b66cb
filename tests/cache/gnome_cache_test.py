#!/usr/bin/python3
"""GNOME's thumbnail factory finds what `--cache` wrote, at each size of one
run and under the path browsed (through a symbolic link to the tree, as a
linked ~/Notes is), drops it once the file changes, and finds the new one
after another run.

usage: gnome_cache_test.py PROGRAM
PROGRAM is run as `PROGRAM --cache --flavor F TREE`. HOME and XDG_CACHE_HOME
point into a scratch directory, so the user's cache is never touched.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is not a PNG"
    return struct.unpack(">II", head[16:24])


def run_cache(program, flavor, tree):
    done = subprocess.run([program, "--cache", "--flavor", flavor, tree],
                          capture_output=True, text=True, check=False)
    assert done.returncode == 0, done.stderr
    return done.stderr.strip().splitlines()[-1]


def main():
    program = os.path.abspath(sys.argv[1])
    scratch = tempfile.mkdtemp(prefix="tamsel-gnome-cache-")
    try:
        # GLib reads these once, at first use: set them before GI loads.
        os.environ["HOME"] = scratch
        os.environ["XDG_CACHE_HOME"] = os.path.join(scratch, "cache")
        import gi
        gi.require_version("GnomeDesktop", "3.0")
        from gi.repository import Gio, GnomeDesktop

        real = os.path.join(scratch, "data", "notes")
        tree = os.path.join(scratch, "Notes")  # browsed, and cached, as this
        os.makedirs(real)
        os.symlink(real, tree)
        documents = {
            "todo.md": b"# To do\n\n- water the plants\n",
            "sub dir/café & co.txt": b"Plain words.\n",
            "sub dir/tool.py": b"def main():\n    return 0\n",
        }
        paths = [os.path.join(tree, name) for name in documents]
        for path, body in zip(paths, documents.values()):
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(body)

        def uri(path):
            return Gio.File.new_for_path(path).get_uri()

        def mtime(path):
            return int(os.stat(path).st_mtime)

        summary = run_cache(program, "large,normal", tree)
        assert summary.startswith("3 made, 0 fresh, 0 failed"), summary
        for size, expected in ((GnomeDesktop.DesktopThumbnailSize.LARGE, (198, 256)),
                               (GnomeDesktop.DesktopThumbnailSize.NORMAL, (99, 128))):
            factory = GnomeDesktop.DesktopThumbnailFactory.new(size)
            for path in paths:
                found = factory.lookup(uri(path), mtime(path))
                assert found, f"{size}: no thumbnail found for {path}"
                assert png_size(found) == expected, (found, png_size(found))

        factory = GnomeDesktop.DesktopThumbnailFactory.new(GnomeDesktop.DesktopThumbnailSize.LARGE)
        changed = paths[0]
        old = factory.lookup(uri(changed), mtime(changed))
        with open(changed, "ab") as f:
            f.write(b"- and the cat\n")
        later = mtime(changed) + 60
        os.utime(changed, (later, later))
        assert factory.lookup(uri(changed), later) is None, "a stale thumbnail was accepted"

        summary = run_cache(program, "large", tree)
        assert summary.startswith("1 made, 2 fresh, 0 failed"), summary
        found = factory.lookup(uri(changed), later)
        assert found == old, (found, old)  # same URI, same cache file, new content
        for path in paths[1:]:
            assert factory.lookup(uri(path), mtime(path)), path
        print("ok")
        return 0
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
