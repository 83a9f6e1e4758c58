#!/usr/bin/env python3
"""The coverage table per room of src/: logic and windows apart.

usage: coverage_rooms.py ROOT compile_commands.json gcovr.json NOTES

A source file belongs to the windows when it is compiled against Qt Widgets
(its compile command names QtWidgets: the libraries that link Qt6::Widgets,
directly or through another window library); a header goes with its .cpp, or,
when it has none, with the library that lists it. Everything else
is logic, and the logic of each room is held to 90 % of lines and 75 % of
branches.
"""
import json
import os
import re
import sys

LINE_GOAL, BRANCH_GOAL = 90.0, 75.0


def window_sources(root, commands):
    windows = set()
    for entry in commands:
        path = os.path.relpath(os.path.join(entry["directory"], entry["file"]), root)
        if path.startswith("src/") and "QtWidgets" in entry.get("command", " ".join(entry.get("arguments", []))):
            windows.add(path)
    return windows


def is_window(root, path, windows):
    if path in windows:
        return True
    stem, ext = os.path.splitext(path)
    if ext == ".cpp":
        return False
    if os.path.exists(os.path.join(root, stem + ".cpp")):
        return stem + ".cpp" in windows
    # A header of its own: it goes with the library that lists it.
    folder = os.path.dirname(path)
    for name in sorted(os.listdir(os.path.join(root, folder))):
        if not (name == "CMakeLists.txt" or name.endswith(".cmake")):
            continue
        with open(os.path.join(root, folder, name), encoding="utf-8") as f:
            text = f.read()
        for block in re.findall(r"add_(?:library|executable)\(([^)]*)\)", text):
            words = [w.split("/")[-1] for w in block.split()]
            if os.path.basename(path) in words:
                return any(os.path.join(folder, w) in windows for w in words if w.endswith(".cpp"))
    return False


def tally(entry):
    lines = covered = branches = taken = 0
    for line in entry["lines"]:
        if line.get("gcovr/noncode") or line.get("gcovr/excluded"):
            continue
        lines += 1
        covered += line["count"] > 0
        for branch in line.get("branches", []):
            branches += 1
            taken += branch["count"] > 0
    return lines, covered, branches, taken


def percent(part, whole):
    return 100.0 * part / whole if whole else 100.0


def main():
    root, commands_path, report_path, notes_path = sys.argv[1:5]
    root = os.path.realpath(root)
    with open(commands_path, encoding="utf-8") as f:
        windows = window_sources(root, json.load(f))
    with open(report_path, encoding="utf-8") as f:
        report = json.load(f)
    rooms = {}
    for entry in report["files"]:
        path = entry["file"]
        if os.path.isabs(path):
            path = os.path.relpath(path, root)
        parts = path.split("/")
        if len(parts) < 3 or parts[0] != "src":
            continue
        kind = "windows" if is_window(root, path, windows) else "logic"
        counts = rooms.setdefault(parts[1], {}).setdefault(kind, [0, 0, 0, 0])
        for i, n in enumerate(tally(entry)):
            counts[i] += n

    def cell(counts):
        if not counts or counts[0] == 0:
            return "-", "-"
        return (f"{percent(counts[1], counts[0]):5.1f} % of {counts[0]}",
                f"{percent(counts[3], counts[2]):5.1f} % of {counts[2]}")

    print("| room | logic lines | logic branches | window lines | window branches | |")
    print("| --- | --- | --- | --- | --- | --- |")
    totals = {"logic": [0, 0, 0, 0], "windows": [0, 0, 0, 0]}
    below = []
    for room in sorted(rooms):
        logic, win = rooms[room].get("logic"), rooms[room].get("windows")
        for kind, counts in (("logic", logic), ("windows", win)):
            if counts:
                totals[kind] = [a + b for a, b in zip(totals[kind], counts)]
        mark = ""
        if logic and logic[0] and (percent(logic[1], logic[0]) < LINE_GOAL or
                                   (logic[2] and percent(logic[3], logic[2]) < BRANCH_GOAL)):
            mark = "below the goal"
            below.append(room)
        print(f"| {room} | {' | '.join(cell(logic))} | {' | '.join(cell(win))} | {mark} |")
    print(f"| all | {' | '.join(cell(totals['logic']))} | {' | '.join(cell(totals['windows']))} | |")
    print()
    print(f"Goal for the logic of each room: {LINE_GOAL:.0f} % of lines, {BRANCH_GOAL:.0f} % of branches.")
    print("Below it: " + (", ".join(below) if below else "none"))
    print()
    if os.path.exists(notes_path):
        print("Notes (blocks no test reaches, and why):")
        with open(notes_path, encoding="utf-8") as f:
            sys.stdout.write(f.read())


if __name__ == "__main__":
    main()
