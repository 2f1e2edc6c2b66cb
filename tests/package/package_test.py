#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Builds the Debian package as scripts/package does, lintian included,
unpacks it and checks what a user would get: the files (listed in the
*.files beside this script), the thumbnailer entry's command, shared ICU,
the KDE plugin for the Frameworks built against, the tumblerd
plugin and the drawer it finds, a thumbnail drawn by the
packaged program, and the manual page.

usage: package_test.py SOURCE_DIR WORK_DIR VERSION
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
import driver  # noqa: E402

EXEC = "Exec=/usr/bin/tamsel-thumbnail -s %s %i %o"


def run(*args, **kwargs):
    done = subprocess.run(args, capture_output=True, text=True, **kwargs)
    assert done.returncode == 0, "%s exited %d:\n%s%s" % (
        " ".join(args), done.returncode, done.stdout, done.stderr)
    return done


def unpack(deb, tree, listing, **names):
    """Unpacks DEB into TREE; its files must be LISTING's, with NAMES filled in."""
    run("dpkg-deb", "-x", deb, tree)
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), listing)) as f:
        expected = {line.strip().format(**names) for line in f if line[0] not in "#\n"}
    files = {os.path.relpath(os.path.join(d, f), tree) for d, _, found in os.walk(tree) for f in found}
    assert files == expected, "%s: extra %s, missing %s" % (
        os.path.basename(deb), sorted(files - expected), sorted(expected - files))


def main():
    source, work, version = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    deb = run(os.path.join(source, "scripts/package"),
              env=dict(os.environ, TAMSEL_PACKAGE_DIR=work)).stdout.splitlines()[-1]
    arch, multiarch = (run("dpkg-architecture", "-q" + name).stdout.strip()
                       for name in ("DEB_HOST_ARCH", "DEB_HOST_MULTIARCH"))
    assert os.path.basename(deb) == "tamsel-thumbnail_%s-1_%s.deb" % (version, arch), \
        "%s is not the package of release %s (debian/changelog)" % (deb, version)
    kde = os.path.join(os.path.dirname(deb), os.path.basename(deb).replace(
        "tamsel-thumbnail_", "tamsel-thumbnail-kde_"))
    # The build takes Frameworks 6 where their development files are.
    kf = "6" if subprocess.run(["dpkg-query", "-W", "-f=${db:Status-Status}", "libkf6kio-dev"],
                               capture_output=True, text=True).stdout == "installed" else "5"

    with tempfile.TemporaryDirectory(prefix="tamsel-package-") as tree:
        unpack(deb, tree, "tamsel-thumbnail.files")
        unpack(kde, os.path.join(tree, "kde"), "tamsel-thumbnail-kde.files",
               multiarch=multiarch, kf=kf)
        depends = run("dpkg-deb", "-f", kde, "Depends").stdout
        for needed in ("libkf%skiogui" % kf, "tamsel-thumbnail (= "):
            assert needed in depends, "the KDE package does not depend on %s: %s" % (needed, depends)
        xfce = kde.replace("-kde_", "-xfce_")
        unpack(xfce, os.path.join(tree, "xfce"), "tamsel-thumbnail-xfce.files", multiarch=multiarch)
        depends = run("dpkg-deb", "-f", xfce, "Depends").stdout
        for needed in ("tamsel-thumbnail (= ", "tumbler (", "libtumbler-1"):
            assert needed in depends, "the Xfce package does not depend on %s: %s" % (needed, depends)
        # Each plugin finds the main package's drawer from its own folder.
        for package, plugins, name in (
                ("xfce", os.path.join("usr/lib", multiarch, "tumbler-1/plugins"),
                 "tamsel-thumbnailer.so"),
                ("kde", "usr/lib/%s/qt%s/plugins/kf%s/thumbcreator" % (multiarch, kf, kf),
                 "tamselthumbnail.so")):
            # The way there, as the plugin carries it: the binary holds other
            # such folders too (the program's own), so the one is named.
            relative = os.path.relpath("usr/libexec/tamsel-thumbnail", plugins)
            with open(os.path.join(tree, package, plugins, name), "rb") as f:
                assert relative.encode() + b"\0" in f.read(), \
                    "the %s plugin does not look for its drawer in %s" % (package, relative)
            drawer = os.path.normpath(os.path.join(plugins, relative, "tamsel-drawer"))
            assert os.access(os.path.join(tree, drawer), os.X_OK), \
                "the %s plugin would run /%s" % (package, drawer)
        with open(os.path.join(tree, "usr/share/thumbnailers/tamsel.thumbnailer")) as f:
            assert EXEC in f.read().splitlines(), "the thumbnailer entry has no " + EXEC

        exe = os.path.join(tree, "usr/bin/tamsel-thumbnail")
        needed = [line for line in run("readelf", "-d", exe).stdout.splitlines() if "(NEEDED)" in line]
        for library in ("libicuuc.so", "libstdc++.so"):
            assert any(library in line for line in needed), library + " is not linked shared"
        png = os.path.join(tree, "readme.png")
        run(exe, "-s", "256", os.path.join(source, "data/samples/readme.md"), png)
        assert driver.Png(png).size == driver.LARGE, "the packaged program drew no 198 x 256 PNG"
        # --cache starts the packaged drawer program, found from the program's own folder.
        cached = run(exe, "--cache", "--flavor", "normal", os.path.join(source, "data/samples/readme.md"),
                     env=dict(os.environ, XDG_CACHE_HOME=os.path.join(tree, "cache")))
        assert cached.stderr.startswith("1 made, 0 fresh, 0 failed,"), cached.stderr

        manual = os.path.join(tree, "usr/share/man/man1/tamsel-thumbnail.1.gz")
        page = run("man", "--warnings", "-l", manual,
                   env=dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8"))
        assert page.stderr == "", "man reports: " + page.stderr
        assert "SYNOPSIS" in page.stdout and "XDG_CACHE_HOME" in page.stdout, \
            "the manual page renders empty or cut short"
    print("%s: checked" % deb)


if __name__ == "__main__":
    main()
