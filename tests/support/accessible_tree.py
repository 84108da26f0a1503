#!/usr/bin/python3
"""Reads a running program's windows over AT-SPI as a screen reader would say them.

    accessible_tree.py PID [WINDOW]   one line per part, indented as the parts are nested:
                                      name, role, description, the labels that name it, the
                                      value, "unavailable" and "focused"; every window on
                                      screen, or only the one named, with a blank line after it
    accessible_tree.py --where NAME PID
                                      "x y", the middle of the first part on screen so named

Prints nothing while the program is not on the accessibility bus yet.
"""
import sys

import pyatspi


def spoken(node, depth=0):
    states = node.getState()
    words = [word for word in (node.name, node.getRoleName(), node.description) if word]
    words += ["labelled by " + relation.getTarget(i).name
              for relation in node.getRelationSet()
              if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY
              for i in range(relation.getNTargets())]
    try:
        value = node.queryValue()
        words.append(f"{value.currentValue:g} of {value.minimumValue:g} to {value.maximumValue:g}")
    except NotImplementedError:
        pass
    if not states.contains(pyatspi.STATE_ENABLED):
        words.append("unavailable")
    if states.contains(pyatspi.STATE_FOCUSED):
        words.append("focused")
    yield "  " * depth + ", ".join(words)
    for child in node:
        if child is not None:
            yield from spoken(child, depth + 1)


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def where(node, name):
    if node.name == name and showing(node):
        box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return f"{box.x + box.width // 2} {box.y + box.height // 2}"
    return next((found for child in node if child is not None
                 for found in [where(child, name)] if found), None)


def main():
    pid = int(sys.argv[3] if sys.argv[1] == "--where" else sys.argv[1])
    for application in pyatspi.Registry.getDesktop(0):
        if application is None or application.get_process_id() != pid:
            continue
        if sys.argv[1] == "--where":
            print(where(application, sys.argv[2]) or "")
            return
        wanted = sys.argv[2] if len(sys.argv) > 2 else None
        for window in application:
            if window is not None and showing(window) and wanted in (None, window.name):
                print("\n".join(spoken(window)) + "\n")


if __name__ == "__main__":
    main()
