# SPDX-License-Identifier: MIT
"""What the scripts that drive the executable share: running it with a time
limit, installing the build, reading what it wrote, scratch directories.
Each script keeps only its cases; `main` runs them with unittest.
"""
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import urllib.parse
import zlib

SKIP = 77  # CTest's SKIP_RETURN_CODE for these scripts
PNG_MAGIC = b"\x89PNG\r\n\x1a\n"


def arguments(count):
    """Takes the script's own `count` arguments off sys.argv, leaving unittest's."""
    values = sys.argv[1:1 + count]
    del sys.argv[1:1 + count]
    return values


def main():
    """Runs the script's tests; exits 77 when every one was skipped."""
    result = unittest.main(exit=False, verbosity=2).result
    if not result.wasSuccessful():
        sys.exit(1)
    sys.exit(SKIP if result.skipped and len(result.skipped) == result.testsRun else 0)


def run(program, *args, timeout=20, env=None, preexec=None):
    return subprocess.run([program, *args], capture_output=True, timeout=timeout,
                          stdin=subprocess.DEVNULL, env=env, preexec_fn=preexec)


def as_nobody():
    # Root reads and writes anything; permission cases need an ordinary user.
    if os.geteuid() == 0:
        os.setgid(65534)
        os.setuid(65534)


def install(cmake, build, prefix):
    subprocess.run([cmake, "--install", build, "--prefix", prefix],
                   check=True, stdout=subprocess.DEVNULL)


def scratch(test, prefix, where=None):
    """A directory removed, whatever its modes, when `test` ends."""
    path = tempfile.mkdtemp(prefix=prefix, dir=where)
    os.chmod(path, 0o777 if where is None else 0o755)

    def remove():
        for root, dirs, _ in os.walk(path):
            for d in dirs:
                os.chmod(os.path.join(root, d), 0o777)
        shutil.rmtree(path, ignore_errors=True)
    test.addCleanup(remove)
    return path


def write(path, data, mode=0o644):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    os.chmod(path, mode)
    return path


def file_uri(path):
    return "file://" + urllib.parse.quote(path)


def thumbnail_path(cache_home, flavor, uri):
    """Where the freedesktop cache keeps `uri`'s thumbnail of `flavor`."""
    return os.path.join(cache_home, "thumbnails", flavor,
                        hashlib.md5(uri.encode()).hexdigest() + ".png")


class Png:
    """A PNG's size, header, tEXt chunks and inflated image data, read after
    checking every chunk's CRC and the IEND (so a half-written file fails)."""

    def __init__(self, data):
        if isinstance(data, str):
            with open(data, "rb") as f:
                data = f.read()
        assert data.startswith(PNG_MAGIC), "not a PNG"
        pos, idat, ended, self.text = 8, b"", False, {}
        while pos < len(data):
            length, kind = struct.unpack(">I4s", data[pos:pos + 8])
            body = data[pos + 8:pos + 8 + length]
            crc, = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
            assert zlib.crc32(kind + body) == crc, "bad CRC in %r" % kind
            if kind == b"IHDR":
                self.header, self.size = body, struct.unpack(">II", body[:8])
            elif kind == b"tEXt":
                key, value = body.split(b"\0", 1)
                self.text[key.decode("latin-1")] = value.decode("latin-1")
            elif kind == b"IDAT":
                idat += body
            ended = ended or kind == b"IEND"
            pos += 12 + length
        assert ended, "PNG has no IEND: written partially"
        self.pixels = zlib.decompress(idat)
