#!/usr/bin/env python3
"""Fails when the program or the player's module carries its own copy of the code they share,
or when the program loads more than it needs at start.

    launcher_linkage_test.py PROGRAM MODULE

The code both use (rules/, early/) lives in liblyrevane-rules.so and liblyrevane-early.so; a
static copy beside them would run with state of its own (the stop-signal handlers, the early
request). The program starts within milliseconds only without the toolkit's GUI and network
libraries and without libVLC: those come with the module.
"""

import subprocess
import sys

import findings

SHARED = ("lyrevane::SourceRules::", "lyrevane::normaliseHost(", "lyrevane::planStart(",
          "lyrevane::planCommand(", "lyrevane::EarlyConnection::", "lyrevane::EarlyAnswer::",
          "lyrevane::TerminationWatcher::")
NOT_AT_START = ("libQt6Gui", "libQt6Network", "libQt6Widgets", "libQt6WebEngine", "libvlc")


def strong_definitions(binary: str) -> list[str]:
    """Names of the functions and data `binary` defines itself (not weak inline copies)."""
    listing = subprocess.run(["nm", "-C", "--defined-only", binary], capture_output=True,
                             text=True, check=True).stdout
    fields = (line.split(" ", 2) for line in listing.splitlines())
    return [f[2] for f in fields if len(f) == 3 and f[1] in "TtDdBbRr"]


def main() -> int:
    program, module = sys.argv[1:3]
    found = [f"{binary}: defines {name}" for binary in (program, module)
             for name in strong_definitions(binary) if name.startswith(SHARED)]
    loaded = subprocess.run(["ldd", program], capture_output=True, text=True, check=True).stdout
    found += [f"{program} loads {name} at start" for name in NOT_AT_START if name in loaded]
    found += [f"{program} does not find {line.split()[0]}" for line in loaded.splitlines()
              if "not found" in line]
    return findings.report(found, "problem(s)")


if __name__ == "__main__":
    sys.exit(main())
