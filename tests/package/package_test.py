#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Builds the Debian package as scripts/package does, lintian included,
unpacks it and checks what a user would get: the files, the thumbnailer
entry's command, shared ICU, the KDE plugin for the Frameworks built against,
a thumbnail drawn by the packaged program, and the manual page.

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
# The KDE plugin's own package, beside the main one; MULTIARCH and the
# Frameworks' major version KF are filled in.
KDE_FILES = {
    "usr/lib/MULTIARCH/qtKF/plugins/kfKF/thumbcreator/tamselthumbnail.so",
    "usr/share/doc/tamsel-thumbnail-kde/changelog.gz",
    "usr/share/doc/tamsel-thumbnail-kde/changelog.Debian.gz",
    "usr/share/doc/tamsel-thumbnail-kde/copyright",
    "usr/share/lintian/overrides/tamsel-thumbnail-kde",
}


def run(*args, **kwargs):
    done = subprocess.run(args, capture_output=True, text=True, **kwargs)
    check(done.returncode == 0, "%s exited %d:\n%s%s"
          % (" ".join(args), done.returncode, done.stdout, done.stderr))
    return done


def check(condition, message):
    if not condition:
        raise SystemExit("package test: " + message)


def installed(package):
    status = subprocess.run(["dpkg-query", "-W", "-f=${db:Status-Status}", package],
                            capture_output=True, text=True).stdout
    return status == "installed"


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
    deb = run(os.path.join(source, "scripts/package"), env=env).stdout.splitlines()[-1]
    arch = run("dpkg-architecture", "-qDEB_HOST_ARCH").stdout.strip()
    check(os.path.basename(deb) == "tamsel-thumbnail_%s-1_%s.deb" % (version, arch),
          "%s is not the package of release %s (debian/changelog)" % (deb, version))

    tree = tempfile.mkdtemp(prefix="tamsel-package-")
    try:
        check_files(deb, tree, EXPECTED_FILES)
        multiarch = run("dpkg-architecture", "-qDEB_HOST_MULTIARCH").stdout.strip()
        kde = os.path.join(os.path.dirname(deb),
                           os.path.basename(deb).replace("tamsel-thumbnail_", "tamsel-thumbnail-kde_"))
        # The build takes Frameworks 6 where their development files are.
        frameworks = "6" if installed("libkf6kio-dev") else "5"
        check_files(kde, os.path.join(tree, "kde"),
                    {f.replace("MULTIARCH", multiarch).replace("KF", frameworks)
                     for f in KDE_FILES})
        depends = run("dpkg-deb", "-f", kde, "Depends").stdout
        check("libkf%skiogui" % frameworks in depends,
              "the KDE package does not depend on KIO %s: %s" % (frameworks, depends))

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
