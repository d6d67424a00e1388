#!/usr/bin/env python3
"""Fails when a product include goes against the direction of the libraries.

Each folder under player/ is one library; a file may include its own folder's headers, the
folders listed for it below, and common/. Includes name their folder (`"core/x.h"`), so the
direction is read from the include lines alone. common/ and scheduler/ include no player code.
"""

import re
import sys
from pathlib import Path

import findings

ROOT = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parents[2])

# What each player library may include besides itself and common/.
ALLOWED = {
    "platform": set(),
    "rules": {"platform"},
    # The refusal and time-out texts are the rules' own.
    "engine": {"rules"},
    # The program's first steps, in a shared object the player's module links too.
    "early": {"rules"},
    # The live stream's bytes from the network to the decoder: no network, no libVLC.
    "feed": {"engine"},
    "net": {"early", "engine", "feed", "rules", "platform"},
    "vlc": {"early", "engine", "feed", "net", "rules", "platform"},
    "core": {"engine", "rules", "platform"},
    "skin": set(),
    "desktop": {"core", "engine", "rules", "platform"},
    "dialogs": {"core", "skin", "engine", "rules", "platform"},
    "ui": {"dialogs", "core", "skin", "engine", "rules", "platform"},
    "launcher": {"early", "rules"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def sources(folder: Path):
    return sorted(p for p in folder.rglob("*") if p.suffix in (".cpp", ".h"))


def problems() -> list[str]:
    found = []
    player = ROOT / "player"
    for path in sources(player):
        rel = path.relative_to(player)
        own = rel.parts[0] if len(rel.parts) > 1 else None  # None: the module's own files
        if own is not None and own not in ALLOWED:
            found.append(f"player/{rel}: folder {own}/ is not a known library")
            continue
        for name in INCLUDE.findall(path.read_text()):
            folder = name.split("/")[0] if "/" in name else None
            if folder is None:
                found.append(f"player/{rel}: \"{name}\" does not name its folder")
            elif folder == "common":
                continue
            elif not (player / name).exists():
                found.append(f"player/{rel}: \"{name}\" is not a player header")
            elif own is not None and folder != own and folder not in ALLOWED[own]:
                found.append(f"player/{rel}: {own}/ may not include {name}")
    for top in ("common", "scheduler"):
        for path in sources(ROOT / top):
            for name in INCLUDE.findall(path.read_text()):
                if (ROOT / "player" / name).exists() and not (ROOT / name).exists():
                    found.append(f"{path.relative_to(ROOT)}: includes player code ({name})")
    return found


def main() -> int:
    found = problems()
    return findings.report(found, "include(s) against the direction of the libraries")


if __name__ == "__main__":
    sys.exit(main())
