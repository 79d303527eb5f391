"""Which outside readers each command needs, and whether they are installed."""

import importlib.util
import os
import shutil


def _module(name):
    return lambda harness: importlib.util.find_spec(name) is not None


def _libical(harness):
    try:
        import gi
        gi.require_version("ICalGLib", "3.0")
        from gi.repository import ICalGLib  # noqa: F401
    except (ImportError, ValueError):
        return False
    return True


def _program(name):
    return lambda harness: shutil.which(name) is not None


def _harness(harness):
    return bool(harness) and os.access(harness, os.X_OK)


# name -> (test, what to install when it is missing)
DEPENDENCIES = {
    "gmime": (_harness, "the GMime strict harness: build the target validators_gmime_strict "
                        "(Debian: libgmime-3.0-dev) and pass --gmime-strict or set EX2QLN_GMIME_STRICT"),
    "tnef": (_program("tnef"), "Debian package tnef"),
    "ytnef": (_program("ytnef"), "Debian package ytnef-tools"),
    "libical": (_libical, "Debian packages python3-gi and gir1.2-ical-3.0"),
    "icalendar": (_module("icalendar"), "Debian package python3-icalendar"),
    "dateutil": (_module("dateutil"), "Debian package python3-dateutil"),
    "vobject": (_module("vobject"), "Debian package python3-vobject"),
}

NEEDS = {
    "mime": ("gmime",),
    "tnef": ("tnef", "ytnef"),
    "ical": ("libical", "icalendar", "dateutil"),
    "vcard": ("vobject",),
    "vgroup": ("dateutil",),
    "report": (),
    "message": tuple(DEPENDENCIES),
    "parts": (),
    "expand": ("dateutil",),
    "members": ("dateutil",),
}


def missing(commands, harness):
    """(name, what to install) for every dependency of `commands` that is not there."""
    names = []
    for command in commands:
        names.extend(name for name in NEEDS[command] if name not in names)
    return [(name, DEPENDENCIES[name][1]) for name in names if not DEPENDENCIES[name][0](harness)]
