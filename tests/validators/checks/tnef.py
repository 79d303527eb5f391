"""TNEF streams checked by two independent decoders.

`tnef -t --debug` is strict (checksums, attribute types, trailing bytes): its exit status and its
ERROR and WARNING lines count. `ytnef -v` is a second opinion that always exits 0; its error lines
are reported under their own checker name, "ytnef", since it rejects some large valid streams.
"""

import os
import subprocess
import tempfile

SIGNATURE = b"\x78\x9f\x3e\x22"
_YTNEF_FAULTS = ("ERROR", "Bad file", "Corrupt", "corrupt", "mismatch", "missing")


def is_tnef(data):
    return data.startswith(SIGNATURE)


def _run(command):
    result = subprocess.run(command, capture_output=True, timeout=120)
    output = (result.stdout + result.stderr).decode("utf-8", "replace")
    return result.returncode, output.splitlines()


def check_stream(where, data, findings):
    if not is_tnef(data):
        findings.add(where, "tnef", "the data does not start with the TNEF signature 0x223E9F78")
        return
    with tempfile.TemporaryDirectory(prefix="validate-tnef-") as directory:
        stream = os.path.join(directory, "winmail.dat")
        with open(stream, "wb") as file:
            file.write(data)
        _check_with_tnef(where, stream, findings)
        _check_with_ytnef(where, stream, findings)
    findings.note_checked(where, "tnef")


def _check_with_tnef(where, stream, findings):
    status, lines = _run(["tnef", "-t", "--debug", "-f", stream])
    complaints = [line.strip() for line in lines if "ERROR" in line or "WARNING" in line]
    for line in complaints:
        findings.add(where, "tnef", line)
    if status != 0:
        detail = "" if complaints else ": " + " | ".join(line.strip() for line in lines[-3:])
        findings.add(where, "tnef", f"tnef exited with status {status}{detail}")


def _check_with_ytnef(where, stream, findings):
    status, lines = _run(["ytnef", "-v", stream])
    for line in lines:
        if not line.startswith("DEBUG") and any(fault in line for fault in _YTNEF_FAULTS):
            findings.add(where, "ytnef", line.strip())
    if status != 0:
        findings.add(where, "ytnef", f"ytnef exited with status {status}")
