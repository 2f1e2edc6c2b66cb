# SPDX-License-Identifier: MIT
"""What the scripts that drive the programs and their hosts share: running
the executable with a time limit, installing the build into a scratch prefix,
a scratch home and a private session bus for the hosts, tumblerd, and reading
the PNGs they write. Each script keeps only its cases; `main` runs them with
unittest.
"""
import glob
import hashlib
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse
import zlib

SKIP = 77  # CTest's SKIP_RETURN_CODE for these scripts
PNG_MAGIC = b"\x89PNG\r\n\x1a\n"
LARGE, NORMAL = (198, 256), (99, 128)  # a page fitted into 256 x 256 and 128 x 128
# What the hosts are asked for: name: [body, MIME type a file manager sends].
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "documents.json")) as f:
    DOCUMENTS = json.load(f)
TUMBLER = "org.freedesktop.thumbnails.Thumbnailer1"
TUMBLER_PATH = "/org/freedesktop/thumbnails/Thumbnailer1"


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


def scratch(test, prefix, where=None):
    """A directory removed, whatever its modes, when `test` ends (the module's
    tests, for None)."""
    path = tempfile.mkdtemp(prefix=prefix, dir=where)
    os.chmod(path, 0o777 if where is None else 0o755)

    def remove():
        subprocess.run(["chmod", "-R", "u+rwx", path], check=False)
        shutil.rmtree(path, ignore_errors=True)
    (test.addCleanup if test else unittest.addModuleCleanup)(remove)
    return path


def install(test, cmake, build, *components, where=None):
    """Installs the build, and `components` it leaves out by default, into a
    scratch prefix; returns the prefix."""
    prefix = scratch(test, "tamsel-prefix.", where)
    for component in ([], *(["--component", c] for c in components)):
        subprocess.run([cmake, "--install", build, "--prefix", prefix, *component],
                       check=True, stdout=subprocess.DEVNULL)
    return prefix


def host_home(test, prefix=None):
    """Points HOME, the cache and TMPDIR into a scratch home, with `prefix`'s
    data first, for this process and every host it starts. GLib reads these
    once: call it before gi loads."""
    home = scratch(test, "tamsel-home-")
    os.mkdir(os.path.join(home, "tmp"))
    os.environ.update(HOME=home, XDG_CACHE_HOME=os.path.join(home, "cache"),
                      TMPDIR=os.path.join(home, "tmp"),
                      XDG_DATA_DIRS=os.path.join(prefix or home, "share") + ":/usr/share")
    return home


def write(path, data, mode=0o644):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    os.chmod(path, mode)
    return path


def documents(directory):
    """Writes DOCUMENTS and a FIFO named as one into `directory`; returns
    [(path, MIME type)], the FIFO last. Hosts must record a failure for it,
    not cache an empty page."""
    written = [(write(os.path.join(directory, name), body.encode()), mime)
               for name, (body, mime) in DOCUMENTS.items()]
    os.mkfifo(os.path.join(directory, "pipe.md"))
    return written + [(os.path.join(directory, "pipe.md"), "text/markdown")]


def file_uri(path):
    return "file://" + urllib.parse.quote(path)


def thumbnail_path(cache_home, flavor, uri):
    """Where the freedesktop cache keeps `uri`'s thumbnail of `flavor`."""
    return os.path.join(cache_home, "thumbnails", flavor,
                        hashlib.md5(uri.encode()).hexdigest() + ".png")


class Png:
    """A PNG's size, header, tEXt chunks and inflated image data, read after
    checking every chunk's CRC and the IEND (so a half-written file fails)."""

    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        assert data.startswith(PNG_MAGIC), "not a PNG"
        pos, idat, kind, self.text = 8, b"", None, {}
        while pos < len(data):
            length, kind = struct.unpack(">I4s", data[pos:pos + 8])
            body, pos = data[pos + 8:pos + 8 + length], pos + 12 + length
            crc, = struct.unpack(">I", data[pos - 4:pos])
            assert zlib.crc32(kind + body) == crc, "bad CRC in %r" % kind
            if kind == b"IHDR":
                self.header, self.size = body, struct.unpack(">II", body[:8])
            elif kind == b"tEXt":
                key, value = body.split(b"\0", 1)
                self.text[key.decode("latin-1")] = value.decode("latin-1")
            elif kind == b"IDAT":
                idat += body
        assert kind == b"IEND", "PNG does not end in IEND: written partially"
        self.pixels = zlib.decompress(idat)


# The hosts on D-Bus. gi is imported late: GLib must first see host_home's
# environment.

def session_bus(test):
    """A private session bus for this test and the hosts it starts; it finds
    services in XDG_DATA_DIRS as a desktop session's bus does."""
    if not shutil.which("dbus-daemon"):
        test.skipTest("needs dbus-daemon (package dbus; scripts/setup installs it)")
    from gi.repository import Gio
    daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"],
                              stdout=subprocess.PIPE)
    test.addCleanup(stop, daemon)
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = daemon.stdout.readline().decode().strip()
    # A connection of its own: Gio's shared one would outlive the bus.
    flags = Gio.DBusConnectionFlags
    return Gio.DBusConnection.new_for_address_sync(
        os.environ["DBUS_SESSION_BUS_ADDRESS"],
        flags.AUTHENTICATION_CLIENT | flags.MESSAGE_BUS_CONNECTION, None, None)


def stop(process):
    process.terminate()
    process.communicate()


def call(bus, name, path, interface, method, signature, *args):
    from gi.repository import GLib
    return bus.call_sync(name, path, interface, method, GLib.Variant(signature, args),
                         None, 0, -1, None).unpack()


def has_owner(bus, name):
    return call(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                "NameHasOwner", "(s)", name)[0]


def wait_until(condition, seconds, failure):
    """Runs GLib's main loop until condition() holds."""
    from gi.repository import GLib
    deadline = time.monotonic() + seconds
    while not condition():
        assert time.monotonic() < deadline, failure
        if not GLib.MainContext.default().iteration(False):
            time.sleep(0.01)


def listen(bus, interface, path):
    """The Ready and Error signals of `interface` at `path` as they come, in
    {uri: "ready" | error message}."""
    answers = {}

    def on_signal(_bus, _sender, _path, _interface, name, values):
        if name in ("Ready", "Error"):
            _, uris, *error = values.unpack()
            answers.update((uri, error[1] if error else "ready")
                           for uri in (uris if isinstance(uris, list) else [uris]))
    bus.signal_subscribe(None, interface, None, path, None, 0, on_signal)
    return answers


def find_tumblerd():
    found = sorted(glob.glob("/usr/lib/*/tumbler-1/tumblerd") +
                   glob.glob("/usr/libexec/tumbler-1/tumblerd"))
    return found[0] if found else None


def start_tumblerd(test, bus, wrap=(), env=()):
    """Starts tumblerd on the session bus, run by the command `wrap` if any,
    with `env` added, its debugging output in the test's; returns its
    answers, as listen does, and its process."""
    if not find_tumblerd():
        test.skipTest("needs tumblerd (package tumbler; scripts/setup installs it)")
    answers = listen(bus, TUMBLER, TUMBLER_PATH)
    process = subprocess.Popen([*wrap, find_tumblerd()],
                               env=dict(os.environ, G_MESSAGES_DEBUG="all", **dict(env)))
    test.addCleanup(stop, process)
    # Queue only once tumblerd owns the name, or the bus would start
    # another one from its service file.
    wait_until(lambda: has_owner(bus, TUMBLER), 30, "tumblerd never took " + TUMBLER)
    return answers, process


def queue(bus, documents, flavor="large"):
    """Asks tumblerd for thumbnails of [(path, MIME type)]."""
    call(bus, TUMBLER, TUMBLER_PATH, TUMBLER, "Queue", "(asasssu)",
         [file_uri(path) for path, _ in documents], [mime for _, mime in documents],
         flavor, "default", 0)


def gnome_desktop():
    """GNOME's thumbnail factory through GI, and which version of it: 3.0 or
    4.0, the same library built for GTK 3 and 4, so either will do; (None,
    None) when neither typelib is installed."""
    import gi
    for version in ("3.0", "4.0"):
        try:
            gi.require_version("GnomeDesktop", version)
        except ValueError:
            continue
        from gi.repository import GnomeDesktop
        return GnomeDesktop, version
    return None, None


def decoded(path):
    """The size and RGBA bytes of the image at `path`, as GdkPixbuf decodes
    it: PNGs of the same pixels compare equal whatever their encoding."""
    import gi
    gi.require_version("GdkPixbuf", "2.0")
    from gi.repository import GdkPixbuf
    image = GdkPixbuf.Pixbuf.new_from_file(path).add_alpha(False, 0, 0, 0)
    return image.get_width(), image.get_height(), image.get_pixels()
