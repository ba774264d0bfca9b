#!/usr/bin/python3
"""Reads the running program from the accessibility bus, as a screen reader does.

    atspi-check.py APP_NAME SECONDS

Waits up to SECONDS for an application named APP_NAME on the bus, then checks
that every control a person works with is there with its name, or with the
caption that labels it, and that the status bar says the line's settings
("1200 8N1"); prints what it found and exits 1 when something is missing.
"""
import re
import sys
import time

import pyatspi

# role, name or caption
EXPECTED = [
    ("push button", "Send"),
    ("push button", "Clear"),
    ("push button", "Open"),
    ("push button", "Close"),
    ("check box", "Continu"),
    ("check box", "Local Echo"),
    ("text", "Input:"),
    ("text", "Output:"),
    ("combo box", "Com:"),
    ("combo box", "Baud:"),
    ("combo box", "Einde"),
]


def find_application(name, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == name:
                return app
        time.sleep(0.2)
    return None


def captions(accessible):
    found = []
    for relation in accessible.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            for i in range(relation.getNTargets()):
                found.append(relation.getTarget(i).name)
    return found


def controls(root):
    seen = []
    stack = [root]
    while stack:
        accessible = stack.pop()
        role = accessible.getRoleName()
        if role in {r for r, _ in EXPECTED}:
            seen.append((role, accessible.name, captions(accessible)))
        stack.extend(child for child in accessible if child is not None)
    return seen


def status_bar_texts(root):
    stack = [root]
    while stack:
        accessible = stack.pop()
        if accessible.getRoleName() == "status bar":
            return [child.name for child in accessible if child is not None]
        stack.extend(child for child in accessible if child is not None)
    return []


def main():
    name, seconds = sys.argv[1], float(sys.argv[2])
    app = find_application(name, seconds)
    if app is None:
        print(f"no application named {name!r} on the accessibility bus after {seconds:g} s")
        return 1
    seen = controls(app)
    missing = [
        (role, text)
        for role, text in EXPECTED
        if not any(r == role and (n == text or text in c) for r, n, c in seen)
    ]
    status = status_bar_texts(app)
    if not any(re.match(r"^\d+ [5-8][NEOMS](1|1\.5|2)\b", text) for text in status):
        missing.append(("status bar", "the line's settings"))
    for role, text, caption in sorted(seen):
        print(f"  {role}: {text!r}" + (f" labelled by {caption}" if caption else ""))
    print(f"  status bar: {status!r}")
    if missing:
        print("missing:", ", ".join(f"{role} {text!r}" for role, text in missing))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
