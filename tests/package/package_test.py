#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Builds the Debian package as scripts/package does, unpacks it and checks
what a user would get: the files, the thumbnailer entry's command, shared
ICU, a thumbnail drawn by the packaged program, and the manual page.

usage: package_test.py SOURCE_DIR WORK_DIR VERSION
"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../support"))
import driver  # noqa: E402

EXPECTED_FILES = {
    "usr/bin/tamsel-thumbnail",
    "usr/libexec/tamsel-thumbnail-service",
    "usr/share/dbus-1/services/org.tamsel.Thumbnailer1.service",
    "usr/share/thumbnailers/tamsel.thumbnailer",
    "usr/share/man/man1/tamsel-thumbnail.1.gz",
    "usr/share/doc/tamsel-thumbnail/README.md.gz",
    "usr/share/doc/tamsel-thumbnail/changelog.gz",
    "usr/share/doc/tamsel-thumbnail/changelog.Debian.gz",
    "usr/share/doc/tamsel-thumbnail/copyright",
    "usr/share/lintian/overrides/tamsel-thumbnail",
}
EXEC = "Exec=/usr/bin/tamsel-thumbnail -s %s %i %o"
# The KDE plugin's own package, beside the main one; MULTIARCH is filled in.
KDE_FILES = {
    "usr/lib/MULTIARCH/qt5/plugins/kf5/thumbcreator/tamselthumbnail.so",
    "usr/share/doc/tamsel-thumbnail-kde/changelog.gz",
    "usr/share/doc/tamsel-thumbnail-kde/changelog.Debian.gz",
    "usr/share/doc/tamsel-thumbnail-kde/copyright",
    "usr/share/lintian/overrides/tamsel-thumbnail-kde",
}


def run(*args, **kwargs):
    return subprocess.run(args, check=True, capture_output=True, text=True, **kwargs)


def check(condition, message):
    if not condition:
        raise SystemExit("package test: " + message)


def check_files(deb, tree, expected):
    run("dpkg-deb", "-x", deb, tree)
    files = {os.path.relpath(os.path.join(d, f), tree)
             for d, _, names in os.walk(tree) for f in names}
    check(files == expected, "%s: extra %s, missing %s"
          % (os.path.basename(deb), sorted(files - expected), sorted(expected - files)))


def main():
    source, work, version = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    env = dict(os.environ, TAMSEL_PACKAGE_DIR=work)
    deb = run(os.path.join(source, "scripts/package"), "--no-lintian",
              env=env).stdout.splitlines()[-1]
    arch = run("dpkg-architecture", "-qDEB_HOST_ARCH").stdout.strip()
    check(os.path.basename(deb) == "tamsel-thumbnail_%s-1_%s.deb" % (version, arch),
          "%s is not the package of release %s (debian/changelog)" % (deb, version))

    tree = tempfile.mkdtemp(prefix="tamsel-package-")
    try:
        check_files(deb, tree, EXPECTED_FILES)
        multiarch = run("dpkg-architecture", "-qDEB_HOST_MULTIARCH").stdout.strip()
        kde = os.path.join(os.path.dirname(deb),
                           os.path.basename(deb).replace("tamsel-thumbnail_", "tamsel-thumbnail-kde_"))
        check_files(kde, os.path.join(tree, "kde"),
                    {f.replace("MULTIARCH", multiarch) for f in KDE_FILES})

        with open(os.path.join(tree, "usr/share/thumbnailers/tamsel.thumbnailer")) as f:
            check(EXEC in f.read().splitlines(), "the thumbnailer entry has no " + EXEC)

        exe = os.path.join(tree, "usr/bin/tamsel-thumbnail")
        needed = [line for line in run("readelf", "-d", exe).stdout.splitlines()
                  if "(NEEDED)" in line]
        for library in ("libicuuc.so", "libstdc++.so"):
            check(any(library in line for line in needed), library + " is not linked shared")

        png = os.path.join(tree, "readme.png")
        run(exe, "-s", "256", os.path.join(source, "data/samples/readme.md"), png)
        check(driver.Png(png).size == (198, 256), "the packaged program drew no 198 x 256 PNG")

        manual = os.path.join(tree, "usr/share/man/man1/tamsel-thumbnail.1.gz")
        page = run("man", "--warnings", "-l", manual,
                   env=dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8"))
        check(page.stderr == "", "man reports: " + page.stderr)
        check("SYNOPSIS" in page.stdout and "XDG_CACHE_HOME" in page.stdout,
              "the manual page renders empty or cut short")
    finally:
        shutil.rmtree(tree)
    print("%s: checked" % deb)


if __name__ == "__main__":
    main()
