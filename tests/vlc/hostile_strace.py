#!/usr/bin/env python3
"""The hostile-server tests under strace, on a private loopback: no connection leaves it.

    tests/vlc/hostile_strace.py NET_TESTS VLC_TESTS

Runs the hostile-server table (the feed and the gateway) and the engine's indirect-source
tests, libVLC included, in a network namespace of their own whose loopback also carries the
refused 192.0.2.17, where the tests' witness listens (LYREVANE_TEST_WITNESS), with private
hosts and resolver files (names are looked up on loopback only). Every connect,
sendto and sendmsg of the whole process tree is traced; any address outside loopback fails
the check, as does any failing test.

Exit status 0 on success, 1 on failure, 77 when a needed tool or namespace is missing.
"""

from __future__ import annotations

import os
import re
import shutil
import subprocess
import sys
import tempfile

WITNESS = "192.0.2.17"
RUNS = [(0, "HostileServerTest.*"), (1, "IndirectSourceTest.*")]
ADDRESS = re.compile(r'inet_addr\("([^"]+)"\)|inet_pton\(AF_INET6, "([^"]+)"')


def loopback(address: str) -> bool:
    return address.startswith("127.") or address in ("::1", "::") or \
        address.startswith("::ffff:127.")


def main() -> int:
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    binaries = [os.path.abspath(path) for path in sys.argv[1:]]
    for tool in ("strace", "unshare", "ip"):
        if shutil.which(tool) is None:
            print(f"SKIP: {tool} is not installed")
            return 77
    for unshare in (["unshare", "-nm"], ["unshare", "-rnm"]):
        if subprocess.run([*unshare, "true"], capture_output=True).returncode == 0:
            break
    else:
        print("SKIP: cannot make a network namespace here (unshare -nm or -rnm)")
        return 77
    failed = False
    with tempfile.TemporaryDirectory() as folder:
        private = {"hosts": f"127.0.0.1 localhost\n::1 localhost\n{WITNESS} witness.test\n",
                   "resolv.conf": "nameserver 127.0.0.1\n"}
        mounts = ""
        for name, text in private.items():
            with open(os.path.join(folder, name), "w", encoding="utf-8") as file:
                file.write(text)
            mounts += f"mount --bind {folder}/{name} /etc/{name} && "
        for index, pattern in RUNS:
            log = os.path.join(folder, f"trace{index}")
            script = (f"{mounts}ip link set lo up && ip addr add {WITNESS}/32 dev lo && "
                      f"exec strace -f -qq "
                      f"-e trace=connect,sendto,sendmsg -e signal=none -o {log} "
                      f'"$0" --gtest_filter="{pattern}"')
            run = subprocess.run([*unshare, "sh", "-c", script, binaries[index]],
                                 env={**os.environ, "LYREVANE_TEST_WITNESS": WITNESS},
                                 capture_output=True, text=True)
            if run.returncode != 0:
                print(run.stdout[-6000:], run.stderr[-2000:], sep="\n")
                print(f"FAIL: {pattern} did not pass under strace")
                failed = True
            with open(log, encoding="utf-8", errors="replace") as trace:
                for line in trace:
                    for match in ADDRESS.finditer(line):
                        address = match.group(1) or match.group(2)
                        if not loopback(address):
                            print(f"FAIL: {pattern}: a connection left loopback: {line.strip()}")
                            failed = True
    print("FAIL" if failed else "PASS: nothing left loopback")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
