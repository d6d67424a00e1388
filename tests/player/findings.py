"""How the checks of the player's build report what they found."""

from __future__ import annotations


def report(found: list[str], what: str) -> int:
    """Prints each finding, then how many `what` there are; the exit status: 1 when any."""
    for line in found:
        print(line)
    print(f"{len(found)} {what}")
    return 1 if found else 0
