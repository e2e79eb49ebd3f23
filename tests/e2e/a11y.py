"""Reads and presses what a running program shows, through the accessibility bus.

Run as a separate process by desktop.py, so a slow or stuck accessibility bus can only ever
cost one time-out and never hang the caller. Needs the system Python (pyatspi) and the
session's DISPLAY and DBUS_SESSION_BUS_ADDRESS in its environment.

    a11y.py tree PID                     prints the program's accessible tree as JSON
    a11y.py press PID BUTTON [TEXT]      presses BUTTON in the box whose label is TEXT
                                         (any box when TEXT is left out); exit 1 if none
    a11y.py focus PID COMMAND...         runs COMMAND (a key press) and prints as JSON the
                                         menu item that takes the focus and its siblings

A popup menu is not among an application's accessible children, so its items are found
through the focus event of the item that the key press selects.
"""

import json
import subprocess
import sys

import pyatspi
from gi.repository import GLib


def application_of(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            continue
    return None


def describe(node, depth=0):
    try:
        states = node.getState()
        entry = {
            "role": node.getRoleName(),
            "name": node.name or "",
            "description": node.description or "",
            "showing": states.contains(pyatspi.STATE_SHOWING),
            "children": [],
        }
        if depth < 12:
            for index in range(node.childCount):
                child = node.getChildAtIndex(index)
                if child is not None:
                    entry["children"].append(describe(child, depth + 1))
        return entry
    except Exception:
        return {"role": "gone", "name": "", "description": "", "showing": False, "children": []}


def walk(node):
    yield node
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is not None:
            yield from walk(child)


def label_texts(node):
    return [n.name for n in walk(node) if n.getRoleName() == "label" and n.name]


def press(app, button, text):
    for index in range(app.childCount):
        window = app.getChildAtIndex(index)
        if window is None or window.getRoleName() not in ("alert", "dialog"):
            continue
        if text is not None and text not in label_texts(window):
            continue
        for node in walk(window):
            if node.getRoleName() == "push button" and node.name == button:
                action = node.queryAction()
                return action.doAction(0)
    return False


def focused_menu_item(pid, command, seconds=8):
    found = {}

    def on_focus(event):
        source = event.source
        try:
            if event.detail1 != 1 or source.getRoleName() != "menu item":
                return
            if source.getApplication().get_process_id() != pid:
                return
            menu = source.parent
            found["item"] = source.name
            found["items"] = [menu.getChildAtIndex(i).name for i in range(menu.childCount)]
            pyatspi.Registry.stop()
        except Exception:
            return

    def run_command():
        subprocess.run(command)
        return False

    def give_up():
        pyatspi.Registry.stop()
        return False

    pyatspi.Registry.registerEventListener(on_focus, "object:state-changed:focused")
    GLib.timeout_add(300, run_command)
    GLib.timeout_add(seconds * 1000, give_up)
    pyatspi.Registry.start()
    return found or None


def main(argv):
    command, pid = argv[1], int(argv[2])
    app = application_of(pid)
    if app is None:
        print("null")
        return 1
    if command == "tree":
        print(json.dumps(describe(app), ensure_ascii=False))
        return 0
    if command == "press":
        text = argv[4] if len(argv) > 4 else None
        return 0 if press(app, argv[3], text) else 1
    if command == "focus":
        found = focused_menu_item(pid, argv[3:])
        print(json.dumps(found, ensure_ascii=False))
        return 0 if found else 1
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
