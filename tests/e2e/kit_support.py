"""Installers that mksetup --app makes of the example application with the
installer kit, and the kit's own texts, for the tests that run them."""

import os
import shutil

import harness

APP = os.environ.get("BRAMLET_EXAMPLE_APP", "")
RUNTIME = os.environ.get("BRAMLET_KIT_RUNTIME", "")
NAME = "hello-kit"
SOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
LICENSE = "".join("Licence line %d\n" % n for n in range(1, 31))


def application(d, name, extra=True):
    """An application directory: the example's jar, a program of mode 0750
    and (when extra) a data file of mode 0604."""
    os.makedirs(d / name / "lib")
    shutil.copy(os.path.join(APP, "hello.jar"), d / name / "lib")
    d.write(name + "/bin/tool", "#!/bin/sh\necho tool\n", 0o750)
    if extra:
        d.write(name + "/share/data.txt", "data\n", 0o604)
    return d / name


def arguments(d, app, version="1.0"):
    """mksetup's arguments for an installer of app with a licence and an
    icon, with the test launchers."""
    return ["--app", app, "--name", NAME, "--version", version, "--main-jar", "lib/hello.jar",
            "--license", d.write("license.txt", LICENSE), "--icon", os.path.join(SOURCES, "examples/icon.png"),
            "--launcher", harness.LAUNCHER, "--uninstaller", harness.UNINSTALLER, "--level", "1"]


def installer(d, out, app, version="1.0", runtime=True, options=()):
    """Makes out, an installer of app (see arguments) with the test runtime,
    unless runtime is false."""
    args = arguments(d, app, version) + (["--runtime", RUNTIME] if runtime else [])
    r = harness.run(args + list(options) + [d / out], program=harness.MKSETUP, timeout=300)
    if r.status != 0:
        raise AssertionError("mksetup failed: %r" % r)
    return d / out


# The English of these countries is spelt as Britain's, in the bundle of en_GB.
BRITISH = ("GB", "IE", "AU", "NZ", "ZA", "IN")


def texts(locale="", bundle="kit/bramletkit/Messages"):
    """A bundle of texts (UTF-8 .properties) of the language of locale: for
    British-spelling English, the base bundle under en_GB's."""
    language = locale[:2] if locale[:2] in ("es", "ja") else ""
    if locale[:3] == "en_" and locale[3:5] in BRITISH:
        language = "en_GB"
    values = {}
    for part in ("", "_" + language) if language else ("",):
        path = os.path.join(SOURCES, bundle + part + ".properties")
        if not os.path.exists(path):
            continue
        with open(path, encoding="utf-8") as f:
            for line in f:
                if "=" in line and not line.startswith("#"):
                    key, value = line.rstrip("\n").split("=", 1)
                    values[key] = value.replace("\\u0020", " ").replace("\\n", "\n").replace("''", "'")
    return values


def installed(root):
    """Every path below root (root included), as find lists them."""
    found = {root}
    for top, dirs, files in os.walk(root):
        found.update(os.path.join(top, n) for n in dirs + files)
    return found if os.path.lexists(root) else set()
