#!/usr/bin/env python3
"""Which lines of src/ each test program runs: the map that lets a mutation
run start only the tests that execute a mutant's line.

usage: coverage_map.py ROOT BUILD OUT.json [TEST...]

With TESTs named, only they run again, and the map in OUT.json keeps the
others' lines.

BUILD is the coverage build (scripts/coverage.sh). Each test program runs
alone in its own counter folder (GCOV_PREFIX: the programs it starts write
there too), two at a time; gcov then reads each folder. The map keeps, per
test, the executed lines of every .cpp of src/, and for every line gcov knows
of (it has code) that it is one: a line gcov has no record of (a constant, a
declaration) is not in the map, and a mutation run treats it as before.
"""
import concurrent.futures
import hashlib
import json
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))


def file_digests(root):
    """Each .cpp of src/ and of tests/ and the digest of its bytes: the map of
    a src file that has changed since is not used for it, and a test program
    whose source has changed since may run lines the map does not give it."""
    out = {}
    for top in ("src", "tests"):
        for folder, _, files in os.walk(os.path.join(root, top)):
            for name in files:
                if name.endswith(".cpp"):
                    path = os.path.join(folder, name)
                    with open(path, "rb") as f:
                        out[os.path.relpath(path, root)] = hashlib.sha1(f.read()).hexdigest()
    return out


def suite(build):
    """The suite as a mutation run reads it, less the package's test and the
    programs not built here."""
    from mutate import suite as whole_suite
    return {n: t for n, t in whole_suite(build).items()
            if n != "test_package" and os.path.exists(t["command"][0])}


def lines_of(root, build, prefix):
    """{source: ({executed lines}, {lines with code})} of one counter folder."""
    out = {}
    for folder, _, files in os.walk(prefix):
        for name in files:
            if not name.endswith(".gcda"):
                continue
            gcda = os.path.join(folder, name)
            gcno = os.path.join("/", os.path.relpath(gcda, prefix))[:-len(".gcda")] + ".gcno"
            if not os.path.exists(gcno):
                continue
            link = gcda[:-len(".gcda")] + ".gcno"
            if not os.path.exists(link):
                os.symlink(gcno, link)
            r = subprocess.run(["gcov", "--json-format", "--stdout", gcda], cwd=folder, capture_output=True, text=True)
            for doc in r.stdout.splitlines():
                if not doc.strip():
                    continue
                try:
                    data = json.loads(doc)
                except ValueError:
                    continue
                cwd = data.get("current_working_directory", folder)
                for f in data.get("files", []):
                    path = os.path.relpath(os.path.normpath(os.path.join(cwd, f["file"])), root)
                    if not (path.startswith("src/") and path.endswith(".cpp")):
                        continue
                    ran, code = out.setdefault(path, (set(), set()))
                    for line in f.get("lines", []):
                        code.add(line["line_number"])
                        if line["count"] > 0:
                            ran.add(line["line_number"])
    return out


def run_one(root, build, name, test, store):
    prefix = os.path.join(store, name)
    shutil.rmtree(prefix, ignore_errors=True)
    os.makedirs(prefix)
    env = dict(os.environ)
    env.update(test["env"])
    # A test program that ends by abort (Qt Test's bound of a function) writes
    # no counters of its own: the bound grows with the slower programs.
    env.update({"GCOV_PREFIX": prefix, "GCOV_PREFIX_STRIP": "0", "QT_QPA_PLATFORM": "offscreen",
                "ZEP_TEST_TIME_SCALE": "6", "QTEST_FUNCTION_TIMEOUT": "1800000"})
    try:
        rc = subprocess.run(test["command"], cwd=test["cwd"], env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, timeout=1800).returncode
    except subprocess.TimeoutExpired:
        rc = "timed out"
    found = lines_of(root, build, prefix)
    shutil.rmtree(prefix, ignore_errors=True)
    return name, rc, found


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    root, build, out_path = (os.path.realpath(a) for a in sys.argv[1:4])
    tests = suite(build)
    store = os.path.join(build, "per-test")
    known, ran, old, failed = {}, {}, None, []
    if sys.argv[4:]:
        with open(out_path, encoding="utf-8") as f:
            old = json.load(f)
        known = {p: set(c) for p, c in old["known"].items()}
        ran = {t: files for t, files in old["tests"].items() if t not in sys.argv[4:]}
        failed = [t for t in old.get("failed", []) if t not in sys.argv[4:]]
        tests = {n: tests[n] for n in sys.argv[4:]}
    with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
        for name, rc, found in pool.map(lambda n: run_one(root, build, n, tests[n], store), sorted(tests)):
            print(f"coverage map: {name}: {sum(len(r) for r, _ in found.values())} lines run"
                  + (f" (it ended {rc}: its lines count all the same)" if rc else ""), flush=True)
            ran[name] = {path: sorted(r) for path, (r, _) in found.items() if r}
            if rc:
                failed.append(name)
            for path, (_, code) in found.items():
                known.setdefault(path, set()).update(code)
    with open(out_path, "w", encoding="utf-8") as f:
        json.dump({"digests": old["digests"] if sys.argv[4:] else file_digests(root), "known": {p: sorted(c) for p, c in known.items()}, "tests": ran,
                   "failed": sorted(failed)}, f)
    print(f"coverage map: {out_path}")


if __name__ == "__main__":
    main()
