#!/usr/bin/env python3
"""Plants one-line faults (mutants) in ZEP, one at a time, and runs the tests
that should see each one. scripts/mutate.sh is its front door; see the README
("Mutation runs") for how it draws the sites and chooses the tests.
"""
import argparse
import concurrent.futures
import filecmp
import hashlib
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

COPIED = ["CMakeLists.txt", "src", "tests", "bench", "packaging", "scripts"]
PROGRAMS = ("gemray", "zepcmd", "zeptool", "zep")
BUILD_LIMIT_S = 900


# ---------------------------------------------------------------- the sites


def mask(line, in_comment):
    """The line with string and character literals and comments blanked (the
    same length, so that a column of the mask is a column of the line), and
    whether a block comment runs on past its end."""
    out = []
    i, n = 0, len(line)
    while i < n:
        if in_comment:
            end = line.find("*/", i)
            if end < 0:
                out.append(" " * (n - i))
                return "".join(out), True
            out.append(" " * (end + 2 - i))
            i, in_comment = end + 2, False
            continue
        c = line[i]
        if line.startswith("//", i):
            out.append(" " * (n - i))
            break
        if line.startswith("/*", i):
            in_comment = True
            continue
        if c == 'R' and line.startswith('R"', i):
            end = line.find(')"', i)
            end = n if end < 0 else end + 2
            out.append('R"' + "_" * (end - i - 3) + '"' if end - i >= 3 else " " * (end - i))
            i = end
            continue
        if c in "\"'":
            j = i + 1
            while j < n and line[j] != c:
                j += 2 if line[j] == "\\" else 1
            j = min(j + 1, n)
            out.append(c + "_" * max(0, j - i - 2) + (c if j - i >= 2 else ""))
            i = j
            continue
        out.append(c)
        i += 1
    return "".join(out)[:n].ljust(n), in_comment


COMPARISONS = {"<": ["<=", ">="], "<=": ["<", ">"], ">": [">=", "<="], ">=": [">", "<"],
               "==": ["!="], "!=": ["=="]}
DECLARATION = re.compile(r"^\s*((const|static|constexpr|inline|unsigned|mutable)\s+)*"
                         r"[A-Za-z_][\w:]*(<[^;=()]*>)?[\s*&]+[A-Za-z_]\w*\s*(=|\{|\(|;|\[|:)")
NOT_STATEMENT = re.compile(r"^\s*(return|break|continue|case|default|else|using|typedef|namespace|"
                           r"static_assert|public|private|protected|template|struct|class|enum|"
                           r"friend|Q_OBJECT|Q_\w+)\b|^\s*[{}#]")
LITERAL = re.compile(r"(?<![\w.])(\d+\.\d*|\.\d+|\d+)([eE][+-]?\d+)?([fFuUlL]*)(?![\w.'])")


def operand_edges(m, op_start, op_end):
    """Where the operands left and right of a && or || on the masked line
    begin and end, at the operator's own depth of brackets."""
    depth, i = 0, op_start - 1
    while i >= 0:
        c = m[i]
        if c in ")]}":
            depth += 1
        elif c in "([{":
            if depth == 0:
                break
            depth -= 1
        elif depth == 0 and (c in ",;?" or m[i - 1:i + 1] in ("&&", "||") or
                             (c == "=" and m[i - 1] not in "=!<>" and m[i + 1:i + 2] != "=")):
            break
        i -= 1
    left = i + 1
    while left < op_start and m[left] == " ":
        left += 1
    if m[left:].startswith("return "):
        left += len("return ")
    depth, j = 0, op_end
    while j < len(m):
        c = m[j]
        if c in "([{":
            depth += 1
        elif c in ")]}":
            if depth == 0:
                break
            depth -= 1
        elif depth == 0 and (c in ",;?" or m[j:j + 2] in ("&&", "||") or
                             (c == ":" and "::" not in m[j - 1:j + 2])):
            break
        j += 1
    if j == len(m) and not m.rstrip().endswith((";", "{", ")")):
        return left, op_end  # the right term goes on past the line
    right = j
    while right > op_end and m[right - 1] == " ":
        right -= 1
    return left, right


def sites_of_line(m, line, after=";"):
    """(column, old text, new text, operator) for every mutant of one line;
    `after` is the code line before it, masked and stripped."""
    out = []
    stripped = m.strip()
    if not stripped or stripped.startswith("#"):
        return out
    for k in re.finditer(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)", m):
        for new in COMPARISONS[k.group(1)]:
            out.append((k.start(), k.group(1), new, "comparison"))
    for k in re.finditer(r" (&&|\|\|) ", m):
        left, right = operand_edges(m, k.start(), k.end())
        if left >= k.start() or right <= k.end():
            continue
        # Drop the left term (and the operator), or the right one.
        out.append((left, line[left:k.end()], "", "term dropped"))
        out.append((k.start(), line[k.start():right], "", "term dropped"))
    for k in re.finditer(r"(?<=\s)(\+|-|\+=|-=)(?=\s)", m):
        new = {"+": "-", "-": "+", "+=": "-=", "-=": "+="}[k.group(1)]
        out.append((k.start(), k.group(1), new, "arithmetic"))
    if not re.match(r"^\s*(case\b|enum\b|template\b)", m):
        for k in LITERAL.finditer(m):
            text = k.group(1) + (k.group(2) or "")
            if m[k.start() - 1:k.start()] == "[" and DECLARATION.match(m):
                continue  # the length of an array declared
            value = float(text)
            suffix = k.group(3)
            if "." in text or "e" in text.lower():
                if abs(value) < 1:
                    news = [repr(value * 10)]
                elif value + 1 == value:  # a bound past a double's whole numbers: ±1 is the same number
                    news = [repr(value * 10), repr(value / 10)]
                else:
                    news = [repr(value + 1), repr(value - 1)]
            else:
                news = [str(int(value) + 1)] + ([str(int(value) - 1)] if int(value) > 0 else [])
            for new in news:
                out.append((k.start(), k.group(0), new + suffix, "literal"))
    for k in re.finditer(r"\b(std::fabs|std::abs|qAbs|fabs)\s*(?=\()", m):
        out.append((k.start(), k.group(0), "", "abs dropped"))
    k = re.match(r"^(\s*)return\s+(.+);\s*$", m)
    if k:
        value = k.group(2).strip()
        start = m.index("return", len(k.group(1))) + len("return ")
        end = m.rindex(";")
        swap = {"true": "false", "false": "true"}
        # A zero, a null, an empty optional or a default-made value (`QString()`) is
        # already what {} makes (a literal's own change covers `return 0`).
        made = re.fullmatch(r"[A-Z]\w*(\(\)|\{\})", value)
        if value not in ("{}", "0", "nullptr", "std::nullopt") and not made:
            out.append((start, line[start:end], swap.get(value, "{}"), "return replaced"))
    starts_statement = after.endswith((";", "{", "}", ")", ":")) or after.endswith("else") or not after
    if (starts_statement and stripped.endswith(";") and m.count("(") == m.count(")")
            and not NOT_STATEMENT.match(m) and not DECLARATION.match(m)):
        start = len(m) - len(m.lstrip())
        end = m.rindex(";") + 1
        out.append((start, line[start:end], ";", "statement removed"))
    for k in re.finditer(r"(?<=[\w\)\]])\[([^\[\]]+)\]", m):
        inner = k.group(1).strip()
        if inner in ("&", "=", "this") or inner.startswith(("&", "=")) or DECLARATION.match(m[:k.start()] + ";"):
            continue
        body = line[k.start() + 1:k.end() - 1]
        for sign in ("+", "-"):
            out.append((k.start(), line[k.start():k.end()], f"[{body} {sign} 1]", "index"))
    return out


def all_sites(root, room):
    """Every mutant of every .cpp of src/ (or of one room), in a fixed order."""
    sites = []
    base = os.path.join(root, "src")
    for folder, dirs, files in sorted(os.walk(base)):
        dirs.sort()
        rel = os.path.relpath(folder, root)
        if room and not (rel + "/").startswith(room.rstrip("/") + "/"):
            continue
        for name in sorted(files):
            if not name.endswith(".cpp"):
                continue
            path = os.path.join(rel, name)
            with open(os.path.join(root, path), encoding="utf-8") as f:
                lines = f.read().split("\n")
            in_comment, after = False, ""
            for number, line in enumerate(lines, 1):
                m, in_comment = mask(line, in_comment)
                seen = {}
                for column, old, new, kind in sites_of_line(m, line, after):
                    if old == new:
                        continue
                    key = (old, new, kind)
                    seen[key] = seen.get(key, 0) + 1
                    sites.append({"file": path, "line": number, "column": column, "old": old, "new": new,
                                  "kind": kind, "nth": seen[key], "text": line.strip()})
                if m.strip():
                    after = m.strip()
    return sites


def change_text(site):
    nth = f" (#{site['nth']} on the line)" if site["nth"] > 1 else ""
    return f"{site['kind']}: `{site['old']}` -> `{site['new']}`{nth}"


def mutated_line(line, site):
    c = site["column"]
    assert line[c:c + len(site["old"])] == site["old"], (line, site)
    return line[:c] + site["new"] + line[c + len(site["old"]):]


# ------------------------------------------------------- the kept equivalents


def read_equivalents(path):
    """(file, line text, change) of each mutant kept as equivalent."""
    kept, entry = set(), {}
    if not os.path.exists(path):
        return kept
    with open(path, encoding="utf-8") as f:
        for raw in f.read().split("\n") + [""]:
            if raw.startswith("#"):
                continue
            if not raw.strip():
                if entry:
                    if not all(k in entry for k in ("file", "line", "change", "why")):
                        sys.exit(f"mutate: {path}: an entry lacks file:, line:, change: or why: ({entry})")
                    kept.add((entry["file"], entry["line"], entry["change"]))
                entry = {}
                continue
            key, _, value = raw.partition(":")
            entry[key.strip()] = value.strip()
    return kept


# --------------------------------------------------- the tree and its build


def sync_tree(root, copy):
    """Copies the checkout into the mutants' tree, file by file where the
    bytes differ, so that an unchanged file keeps its time and is not rebuilt."""
    wanted = set()
    for top in COPIED:
        src = os.path.join(root, top)
        if os.path.isfile(src):
            wanted.add(top)
            continue
        for folder, _, files in os.walk(src):
            for name in files:
                wanted.add(os.path.relpath(os.path.join(folder, name), root))
    for rel in sorted(wanted):
        src, dst = os.path.join(root, rel), os.path.join(copy, rel)
        if os.path.islink(src):
            continue
        if not os.path.exists(dst) or not filecmp.cmp(src, dst, shallow=False):
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            shutil.copyfile(src, dst)
    for top in COPIED:
        for folder, _, files in os.walk(os.path.join(copy, top)):
            for name in files:
                rel = os.path.relpath(os.path.join(folder, name), copy)
                if rel not in wanted:
                    os.remove(os.path.join(copy, rel))


def tree_digest(copy):
    h = hashlib.sha1()
    for top in COPIED:
        for folder, dirs, files in sorted(os.walk(os.path.join(copy, top))):
            dirs.sort()
            for name in sorted(files):
                path = os.path.join(folder, name)
                h.update(os.path.relpath(path, copy).encode() + b"\0")
                with open(path, "rb") as f:
                    h.update(f.read())
    return h.hexdigest()


def configure(copy, build):
    query = os.path.join(build, ".cmake/api/v1/query/codemodel-v2")
    os.makedirs(os.path.dirname(query), exist_ok=True)
    open(query, "a").close()
    launcher = ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"] if shutil.which("ccache") else []
    # As scripts/build.sh sets them: paths below the checkout hash as relative.
    os.environ["CCACHE_BASEDIR"] = os.path.dirname(os.path.dirname(build))
    os.environ["CCACHE_NOHASHDIR"] = "true"
    # The plain build's own settings (scripts/build.sh), and the copy lies
    # to its build folder as the checkout lies to build/: with a compiler
    # cache that takes paths below a common base, every unchanged file is
    # found in the cache that the plain builds fill.
    subprocess.run(["cmake", "-S", copy, "-B", build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG", *launcher],
                   check=True, stdout=subprocess.DEVNULL)


def code_model(build, copy):
    """The targets: each one's sources and the targets it needs."""
    reply = os.path.join(build, ".cmake/api/v1/reply")
    index = sorted(n for n in os.listdir(reply) if n.startswith("index-"))[-1]
    with open(os.path.join(reply, index)) as f:
        model = json.load(f)["reply"]["codemodel-v2"]["jsonFile"]
    with open(os.path.join(reply, model)) as f:
        config = json.load(f)["configurations"][0]
    targets, by_id = {}, {}
    for t in config["targets"]:
        with open(os.path.join(reply, t["jsonFile"])) as f:
            data = json.load(f)
        by_id[t["id"]] = t["name"]
        targets[t["name"]] = data
    out = {}
    for name, data in targets.items():
        sources = [os.path.relpath(os.path.join(copy, s["path"]), copy) if not os.path.isabs(s["path"])
                   else os.path.relpath(s["path"], copy) for s in data.get("sources", [])]
        out[name] = {"type": data["type"], "sources": sources,
                     "deps": [by_id[d["id"]] for d in data.get("dependencies", []) if d["id"] in by_id]}
    return out


def closure(model, name, seen=None):
    seen = set() if seen is None else seen
    for dep in model.get(name, {}).get("deps", []):
        if dep not in seen:
            seen.add(dep)
            closure(model, dep, seen)
    return seen


def suite(build):
    out = subprocess.run(["ctest", "--show-only=json-v1"], cwd=build, check=True, capture_output=True, text=True)
    tests = {}
    for t in json.loads(out.stdout)["tests"]:
        props = {p["name"]: p["value"] for p in t.get("properties", [])}
        env = dict(e.split("=", 1) for e in props.get("ENVIRONMENT", []))
        # A test program not built yet has no command in ctest's list: it is
        # the program of the test's own name.
        command = t.get("command") or [os.path.join(build, "bin", t["name"])]
        tests[t["name"]] = {"command": command, "cwd": props.get("WORKING_DIRECTORY", build), "env": env}
    return tests


def test_libs(copy):
    """Each test program's own LIBS in tests/<room>/CMakeLists.txt."""
    libs = {}
    for folder, _, files in os.walk(os.path.join(copy, "tests")):
        if "CMakeLists.txt" not in files:
            continue
        with open(os.path.join(folder, "CMakeLists.txt")) as f:
            text = f.read()
        for k in re.finditer(r"zep_add_test\(\s*(\w+)([^)]*)\)", text):
            words = k.group(2).split()
            libs[k.group(1)] = set(words[words.index("LIBS") + 1:]) if "LIBS" in words else set()
    return libs


def coverage_map(root):
    """Which lines each test program runs (scripts/coverage.sh --per-test),
    for the files that have not changed since the map was made; else None."""
    path = os.path.join(root, "build-coverage/coverage/per-test.json")
    try:
        with open(path, encoding="utf-8") as f:
            data = json.load(f)
        sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
        from coverage_map import file_digests
        now, then = file_digests(root), data["digests"]
        same = {f for f in now if then.get(f) == now[f]}
        # (a map made before it kept the tests' digests counts them all as changed)
        changed_tests = {f for f in now if f.startswith("tests/") and f not in same}
        known = {f: set(ls) for f, ls in data["known"].items() if f in same}
        tests = {t: {f: set(ls) for f, ls in files.items() if f in same} for t, files in data["tests"].items()}
        failed = set(data.get("failed", []))
    except (OSError, ValueError, KeyError, TypeError):
        return None
    changed = len([f for f in now if f.startswith("src/") and f not in same])
    if changed:
        print(f"mutate: {changed} files changed since the coverage map was made: their mutants run the tests "
              "that link them", flush=True)
    if changed_tests:
        print(f"mutate: {len(changed_tests)} test sources changed since the coverage map was made: their programs "
              "also run for every line of a file they link (remake the map to narrow them)", flush=True)
    return {"known": known, "tests": tests, "failed": failed, "changed_tests": changed_tests}


def choose_tests(site, model, tests, libs, cov=None):
    """With a coverage map, and a line it knows: the test programs that run
    the line. Otherwise, and for a line no test ran when the map was made (a
    test written since may): the test programs the map saw run any line of
    the file, the room's own test programs that link the file, the test
    programs that name its library themselves, and the integration tests:
    those that start a program (gemray, zepcmd, zeptool, zep) built with the
    file."""
    if cov is not None and site["line"] in cov["known"].get(site["file"], ()):
        # A program that failed while the map was made stopped short of lines
        # it runs: it counts for every line of a file it ran at all.
        mapped = {name for name, files in cov["tests"].items()
                  if name in tests and name in model
                  and (site["line"] in files.get(site["file"], ())
                       or (name in cov["failed"] and files.get(site["file"])))}
        if mapped:
            # A program whose tests changed since may run the line now.
            changed = {name for name in linked_tests(site, model, tests, libs)
                       if set(model[name]["sources"]) & cov.get("changed_tests", set())}
            return sorted(mapped | changed)
    # A line the map has no record of (a constant, a declaration) or that no
    # test ran: the test programs that run any line of its file as well.
    chosen = set()
    if cov is not None:
        chosen = {name for name, files in cov["tests"].items()
                  if name in tests and name in model and files.get(site["file"])}
    return sorted(chosen | linked_tests(site, model, tests, libs))


def linked_tests(site, model, tests, libs):
    """The test programs CMake's account of the targets ties to the site's
    file: those of its room that link it, those that name its library
    themselves, and the integration tests that start a program built with it."""
    chosen = set()
    owners = {name for name, t in model.items() if site["file"] in t["sources"]}
    room = site["file"].split("/")[1]
    for name in tests:
        if name not in model:
            continue
        deps = closure(model, name)
        own_room = any(s.startswith(f"tests/{room}/") for s in model[name]["sources"])
        if own_room and (owners & (deps | {name})):
            chosen.add(name)
        elif owners & libs.get(name, set()):
            chosen.add(name)
        else:
            for program in PROGRAMS:
                if program in deps and (owners & (closure(model, program) | {program})):
                    chosen.add(name)
    return chosen


def plain_record(root):
    """The plain build's last suite (build/, ctest's own record): each test's
    time, for the tests that passed, when that suite ran after every change
    to the sources and tests; else {}."""
    record = os.path.join(root, "build/Testing/Temporary/CTestCostData.txt")
    try:
        ran = os.path.getmtime(record)
        with open(record, encoding="utf-8") as f:
            text = f.read()
    except OSError:
        return {}
    if os.path.getmtime(os.path.join(root, "CMakeLists.txt")) > ran:
        return {}
    for top in ("src", "tests"):
        for folder, _, files in os.walk(os.path.join(root, top)):
            if any(os.path.getmtime(os.path.join(folder, n)) > ran for n in files):
                return {}
    times, failed = text.split("---", 1) if "---" in text else (text, "")
    out = {}
    for line in times.splitlines():
        words = line.split()
        # ctest keeps a test's average over all its runs: a time only when it
        # ran once (a fresh build, as in CI); else the test is timed here.
        if len(words) == 3 and words[1] == "1":
            out[words[0]] = {"rc": 0, "fails": [], "seconds": float(words[2]), "from": "the plain build's suite"}
    for name in failed.split():
        out.pop(name, None)
    return out


# ------------------------------------------------------------- running tests

FAIL = re.compile(r"^FAIL!\s*:\s*(\S+?\(.*?\))(?: |$)")


def run_test(test, limit, env_extra, stop=None):
    """Runs one test program; a timed-out one is ended with everything it
    started, and so is one still running when another has killed the mutant."""
    env = dict(os.environ)
    env.update(test["env"])
    env.update(env_extra)
    started = time.time()
    with tempfile.TemporaryFile() as out:
        proc = subprocess.Popen(test["command"], cwd=test["cwd"], env=env, stdout=out,
                                stderr=subprocess.STDOUT, start_new_session=True)
        timed_out = stopped = False
        while proc.poll() is None:
            if time.time() - started > limit:
                timed_out = True
            elif stop is not None and stop.is_set():
                stopped = True
            else:
                time.sleep(0.05)
                continue
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
        out.seek(0)
        text = out.read().decode("utf-8", "replace")
    fails = sorted({k.group(1) for k in map(FAIL.match, text.split("\n")) if k})
    return {"rc": proc.returncode, "fails": fails, "timed_out": timed_out, "stopped": stopped,
            "seconds": time.time() - started, "tail": "\n".join(text.split("\n")[-15:])}


def build_targets(build, targets, log):
    started = time.time()
    proc = subprocess.run(["cmake", "--build", build, "-j", str(os.cpu_count() or 2), "--target", *targets],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=BUILD_LIMIT_S)
    with open(log, "ab") as f:
        f.write(proc.stdout)
    return proc.returncode == 0, time.time() - started


def verdict(result, base):
    if result["timed_out"]:
        return "timed out"
    if result["rc"] < 0 or (result["rc"] != 0 and not result["fails"] and base["rc"] == 0):
        return "killed"
    if set(result["fails"]) - set(base["fails"]):
        return "killed"
    return "survived"


# -------------------------------------------------------------------- the run


def main():
    ap = argparse.ArgumentParser(prog="scripts/mutate.sh")
    ap.add_argument("--sample", type=int, default=20, help="how many mutants to draw (20)")
    ap.add_argument("--seed", type=int, default=None, help="the draw's seed (a new one is printed when absent)")
    ap.add_argument("--room", default=None, help="draw only from this folder, e.g. src/recut")
    ap.add_argument("--list", action="store_true", help="print the drawn mutants and stop")
    ap.add_argument("--no-map", action="store_true",
                    help="choose tests by what links each file, not by the coverage map (after tests changed)")
    args = ap.parse_args()
    root = os.path.realpath(os.path.join(os.path.dirname(__file__), ".."))
    if args.sample < 1:
        sys.exit("mutate: --sample must be a whole number of at least 1")
    if args.room:
        args.room = os.path.relpath(os.path.realpath(os.path.join(root, args.room)), root) \
            if not os.path.isabs(args.room) else os.path.relpath(args.room, root)
        if not args.room.startswith("src/") or not os.path.isdir(os.path.join(root, args.room)):
            sys.exit(f"mutate: --room {args.room}: not a folder of src/")
    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1, 1_000_000)
    print(f"mutate: seed {seed} (rerun with --seed {seed} to draw the same mutants)", flush=True)

    pool = all_sites(root, args.room)
    drawn = random.Random(seed).sample(pool, min(args.sample, len(pool)))
    equivalents = read_equivalents(os.path.join(root, "tests/mutation-equivalent.txt"))
    print(f"mutate: {len(drawn)} of {len(pool)} sites drawn; {len(equivalents)} kept as equivalent", flush=True)
    if args.list:
        for s in drawn:
            print(f"{s['file']}:{s['line']}: {change_text(s)}")
        return 0

    work = os.path.join(root, "build-mutate")
    copy, build = work, os.path.join(work, "build")
    os.makedirs(copy, exist_ok=True)
    sync_tree(root, copy)
    configure(copy, build)
    model, tests, libs = code_model(build, copy), suite(build), test_libs(copy)
    log = os.path.join(work, "build.log")
    open(log, "w").close()
    env_extra = {"QT_QPA_PLATFORM": "offscreen"}

    cov = None if args.no_map else coverage_map(root)
    if cov is not None:
        print("mutate: each mutant's tests are those that run its line (build-coverage/coverage/per-test.json)",
              flush=True)
    plans = []
    for s in drawn:
        key = (s["file"], s["text"], change_text(s))
        plans.append((s, key in equivalents, choose_tests(s, model, tests, libs, cov)))
    needed = sorted({t for _, eq, ts in plans if not eq for t in ts})
    started = time.time()
    print(f"mutate: building the {len(needed)} test programs the mutants need, unchanged", flush=True)
    ok, _ = build_targets(build, needed, log)
    if not ok:
        sys.exit(f"mutate: the unchanged tree does not build (see {log})")
    # The unchanged suite: its time bounds each mutant's, and a test that
    # fails here already (work in progress) kills no mutant by that failure.
    # It is kept with a digest of the tree: a rerun on the same sources takes
    # it up.
    digest = tree_digest(copy)
    saved_path = os.path.join(work, "unchanged.json")
    try:
        with open(saved_path, encoding="utf-8") as f:
            saved = json.load(f)
        base = saved["tests"] if saved.get("digest") == digest else {}
    except (OSError, ValueError, KeyError):
        base = {}
    # A test that passed in the plain build's suite, run after the last
    # change, is taken as passing here too (the copy builds the same sources
    # with the same settings): its time there bounds it.
    plain = plain_record(root)
    for name in needed:
        if name not in base and name in plain:
            base[name] = plain[name]
    missing = [n for n in needed if n not in base]
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool_:
        for name, r in zip(missing, pool_.map(lambda n: run_test(tests[n], 1200, env_extra), missing)):
            base[name] = r
    with open(saved_path, "w", encoding="utf-8") as f:
        json.dump({"digest": digest, "tests": {n: r for n, r in base.items() if "from" not in r}}, f)
    for name in needed:
        r = base[name]
        note = f", failing already: {' '.join(r['fails']) or 'exit ' + str(r['rc'])}" if r["rc"] else ""
        note += f" (as in {r['from']})" if "from" in r else ""
        print(f"mutate:   {name} {r['seconds']:.1f} s{note}", flush=True)
    print(f"mutate: ready after {time.time() - started:.0f} s", flush=True)

    results = []
    for number, (s, equivalent, chosen) in enumerate(plans, 1):
        head = f"[{number}/{len(plans)}] {s['file']}:{s['line']} {change_text(s)}"
        result = {"site": s, "change": change_text(s), "tests": chosen}
        # With no test to run (none links the file, or runs the line), the
        # mutant is still built, with the targets made of its file: one that
        # does not compile is left out of the score, never counted a survivor.
        targets = chosen or sorted(n for n, t in model.items() if s["file"] in t["sources"])
        if equivalent:
            result["status"] = "equivalent"
        elif not targets:
            result["status"] = "survived"  # a file no target builds
        else:
            path = os.path.join(copy, s["file"])
            with open(path, encoding="utf-8") as f:
                original = f.read()
            lines = original.split("\n")
            lines[s["line"] - 1] = mutated_line(lines[s["line"] - 1], s)
            t0 = time.time()
            try:
                with open(path, "w", encoding="utf-8") as f:
                    f.write("\n".join(lines))
                try:
                    built, result["build_seconds"] = build_targets(build, targets, log)
                    result["build_seconds"] = round(result["build_seconds"], 1)
                except subprocess.TimeoutExpired:
                    built = False
                if not built:
                    result["status"] = "not built"
                elif not chosen:
                    result["status"] = "survived"
                else:
                    result["status"] = run_mutant(chosen, tests, base, env_extra, result)
            finally:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(original)
            result["seconds"] = round(time.time() - t0, 1)
        results.append(result)
        extra = f" by {result['killer']}" if result.get("killer") else ""
        print(f"{head}: {result['status']}{extra} ({result.get('seconds', 0)} s)", flush=True)
        # The report so far: a run stopped midway keeps what it found.
        write_report(work, seed, args, pool, results, time.time() - started, quiet=True)

    total = time.time() - started
    write_report(work, seed, args, pool, results, total)
    # The tree is left as the checkout is, for the next run.
    sync_tree(root, copy)
    return 0


def run_mutant(chosen, tests, base, env_extra, result):
    """Runs the chosen tests, quickest first, two at a time; the first that
    fails ends the mutant and the others."""
    order = sorted(chosen, key=lambda n: base[n]["seconds"])
    stop = threading.Event()
    status, killer = "survived", None
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as ex:
        futures = {ex.submit(run_test, tests[n], 3 * base[n]["seconds"] + 30, env_extra, stop): n
                   for n in order}
        for fut in concurrent.futures.as_completed(futures):
            if fut.cancelled():
                continue
            name, r = futures[fut], fut.result()
            if r["stopped"] or killer is not None:
                continue
            v = verdict(r, base[name])
            if v != "survived":
                status, killer = v, name
                stop.set()
                for other in futures:
                    other.cancel()
    result["killer"] = killer
    return status


def write_report(work, seed, args, pool, results, total, quiet=False):
    counts = {}
    for r in results:
        counts[r["status"]] = counts.get(r["status"], 0) + 1
    killed = counts.get("killed", 0) + counts.get("timed out", 0)
    scored = killed + counts.get("survived", 0)
    score = 100.0 * killed / scored if scored else 100.0
    ran = [r for r in results if r["status"] in ("killed", "timed out", "survived", "not built")]
    per = sum(r.get("seconds", 0) for r in ran) / len(ran) if ran else 0
    building = sum(r.get("build_seconds", 0) for r in ran) / len(ran) if ran else 0
    lines = [f"seed {seed}, {len(results)} of {args.sample} mutants drawn from {len(pool)} sites"
             + (f", room {args.room}" if args.room else ""),
             "counts: " + ", ".join(f"{k} {v}" for k, v in sorted(counts.items())),
             f"score: {killed} of {scored} non-equivalent mutants killed ({score:.1f} %)",
             f"time: {total:.0f} s in all, {per:.1f} s a mutant built and run ({building:.1f} s of it building)",
             ""]
    survivors = [r for r in results if r["status"] == "survived"]
    lines.append(f"survivors ({len(survivors)}):")
    for r in survivors:
        s = r["site"]
        lines += [f"  {s['file']}:{s['line']}: {s['text']}", f"    change: {r['change']}",
                  f"    tests run: {' '.join(r['tests']) or 'none runs this line'}"]
    lines.append("")
    lines.append("not built (excluded):")
    lines += [f"  {r['site']['file']}:{r['site']['line']}: {r['change']}" for r in results
              if r["status"] == "not built"]
    text = "\n".join(lines) + "\n"
    with open(os.path.join(work, "report.txt"), "w", encoding="utf-8") as f:
        f.write(text)
    with open(os.path.join(work, "results.json"), "w", encoding="utf-8") as f:
        json.dump({"seed": seed, "results": results}, f, indent=1)
    if not quiet:
        print(text + f"mutate: report in {os.path.join(work, 'report.txt')}")


if __name__ == "__main__":
    sys.exit(main())
