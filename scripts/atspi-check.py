#!/usr/bin/python3
"""Walks the accessibility tree (AT-SPI) of a running Plyfold and checks what a screen reader
user depends on: every control has a name, the page check boxes of one document have different
names, every button can take the keyboard focus, and page thumbnails are named images.

Run it on the same D-Bus session as the program (started with QT_ACCESSIBILITY=1). Prints the
tree (role, name, states) and the faults found; exits 1 when there is any fault, 2 when the
program is not found."""

import argparse
import sys
import time

import pyatspi
from gi.repository import Atspi

CONTROL_ROLES = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX,
    pyatspi.ROLE_RADIO_BUTTON, pyatspi.ROLE_TEXT, pyatspi.ROLE_PASSWORD_TEXT,
    pyatspi.ROLE_ENTRY, pyatspi.ROLE_SLIDER, pyatspi.ROLE_SCROLL_BAR, pyatspi.ROLE_IMAGE,
    pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_LINK,
}
BUTTON_ROLES = {pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON}


def find_app(name, timeout):
    deadline = time.time() + timeout
    while time.time() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and name in (app.name or "").lower():
                return app
        time.sleep(0.5)
    return None


def walk(node, depth, out, path):
    try:
        # Never answer from the client's cache: the program's content changes all the time.
        node.clear_cache()
        role = node.getRole()
        name = node.name or ""
        states = node.getState()
        count = node.childCount
    except Exception as error:  # a node that went away while walking
        out.append((depth, None, f"<gone: {error}>", None, path))
        return
    out.append((depth, node, name, (role, states), path))
    for i in range(count):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        if child is not None:
            walk(child, depth + 1, out, path + [(role, name)])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", default="plyfold")
    parser.add_argument("--timeout", type=float, default=20)
    parser.add_argument("--quiet", action="store_true", help="print only the faults")
    parser.add_argument("--focused", action="store_true",
                        help="only print the name of the node that has the keyboard focus")
    parser.add_argument("--centre", metavar="NAME",
                        help="only print the centre (x y, the program's pixels) of the button NAME")
    args = parser.parse_args()

    app = find_app(args.app, args.timeout)
    if app is None:
        print(f"no accessible application named like {args.app!r}", file=sys.stderr)
        return 2
    nodes = []
    walk(app, 0, nodes, [])

    if args.focused or args.centre:
        for _, node, name, info, _ in nodes:
            if info is None:
                continue
            role, states = info
            if args.focused and states.contains(pyatspi.STATE_FOCUSED):
                print(name)
                return 0
            if args.centre and role == pyatspi.ROLE_PUSH_BUTTON and name == args.centre:
                box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                print(box.x + box.width // 2, box.y + box.height // 2)
                return 0
        return 1

    faults = []
    pages_by_group = {}
    images = 0
    for depth, node, name, info, path in nodes:
        if info is None:
            continue
        role, states = info
        role_name = pyatspi.Accessible.getRoleName(node) if node is not None else "?"
        showing = states.contains(pyatspi.STATE_SHOWING)
        if not args.quiet:
            flags = "".join(
                letter for letter, state in (("S", pyatspi.STATE_SHOWING),
                                             ("F", pyatspi.STATE_FOCUSABLE),
                                             ("f", pyatspi.STATE_FOCUSED))
                if states.contains(state))
            print(f"{'  ' * depth}{role_name} [{flags}] {name!r}")
        if role in CONTROL_ROLES and showing and not name.strip():
            faults.append(f"unnamed {role_name} under {path[-1][1]!r}")
        if role in BUTTON_ROLES and showing and not states.contains(pyatspi.STATE_FOCUSABLE):
            faults.append(f"button {name!r} cannot take the keyboard focus")
        if role == pyatspi.ROLE_IMAGE and showing:
            images += 1
        if role == pyatspi.ROLE_CHECK_BOX and name.startswith("Page "):
            document = name.split(" of ", 1)[-1]
            pages_by_group.setdefault(document, []).append(name)
    for document, names in pages_by_group.items():
        repeated = sorted({n for n in names if names.count(n) > 1})
        if repeated:
            faults.append(f"page check boxes of {document!r} share names: {repeated}")
    print(f"{len(nodes)} nodes, {images} images, "
          f"{sum(len(v) for v in pages_by_group.values())} page check boxes")
    for fault in faults:
        print("FAULT:", fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
