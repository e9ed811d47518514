#!/usr/bin/env python3
"""Byte-exactness check between two builds: both binaries harvest the same
simulated forums (the harvest benchmark's forums, both engines) into fresh
installations, and every file they leave behind (spool files, QUORIX.HTM,
QUORIX.IDX, the rewritten group list) must be identical byte for byte, and
the logs line for line but for the times.
Then a second run over an edited forum (one post changed, one added) is
compared the same way.

    python3 bench/compare_runs.py BEFORE/quorix AFTER/quorix [--topics N]
    python3 bench/compare_runs.py Q Q --before-key WebKeepAlive=Y --before-key WebConnections=1 \
        --after-key WebKeepAlive=Y --after-key WebConnections=4 [--https]

--before-key and --after-key add a key to that run's box (one binary against
itself with other settings); --https serves the forums over TLS.

Standard library only. Exit status 1 when a file differs.
"""

from __future__ import annotations

import argparse
import filecmp
import os
import shutil
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import harvest_bench as hb  # noqa: E402
from e2e.runner import read_log  # noqa: E402
from forumsim.forumsim import ForumSim  # noqa: E402

COMPARED = ("QUORIX.HTM", "QUORIX.IDX", "QUORIX.JRN", "BENCH.WEB", "QUORIX.LOG")


def harvest(binary: Path, sim: ForumSim, engine: str, root: Path, keys=()) -> hb.Round:
    os.environ["QUORIX_BIN"] = str(binary)
    rnd = hb.Round(sim, engine, root, keys=keys)
    result = hb.run_quorix(rnd.inst, ["BENCH.BFG"], timeout=1800)
    if result.returncode != 0:
        raise SystemExit(f"{binary} ended with {result.returncode}")
    return rnd


def outputs(rnd: hb.Round) -> dict:
    files = {f"spool/{p.name}": p for p in hb.spool_files(rnd.box.spool_dir)}
    for name in COMPARED:
        for path in rnd.inst.root.rglob(name):
            files[str(path.relative_to(rnd.inst.root))] = path
    return files


def compare(engine: str, stage: str, before: hb.Round, after: hb.Round) -> list:
    a, b = outputs(before), outputs(after)
    problems = [f"{engine} {stage}: {name} only in one run" for name in sorted(set(a) ^ set(b))]
    same = 0
    for name in sorted(set(a) & set(b)):
        if name.upper().endswith(".LOG"):
            if [l.untimed for l in read_log(a[name])] == [l.untimed for l in read_log(b[name])]:
                same += 1
            else:
                problems.append(f"{engine} {stage}: {name} differs (times aside)")
        elif filecmp.cmp(a[name], b[name], shallow=False):
            same += 1
        else:
            problems.append(f"{engine} {stage}: {name} differs")
    print(f"{engine} {stage}: {same} files identical, {len(problems)} differences", flush=True)
    return problems


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("before", type=Path)
    parser.add_argument("after", type=Path)
    parser.add_argument("--topics", type=int, default=300)
    parser.add_argument("--before-key", action="append", default=[], metavar="KEY=VALUE")
    parser.add_argument("--after-key", action="append", default=[], metavar="KEY=VALUE")
    parser.add_argument("--https", action="store_true")
    args = parser.parse_args()
    keys = [[tuple(key.split("=", 1)) for key in given]
            for given in (args.before_key, args.after_key)]
    scratch = Path(tempfile.mkdtemp(prefix="quorix-compare-",
                                    dir="/dev/shm" if Path("/dev/shm").is_dir() else None))
    problems = []
    try:
        for engine in ("ubb", "threads"):
            sim = ForumSim(posts_per_page=10, tls=hb.test_certificates().server("good")
                           if args.https else None).start()
            try:
                hb.fill_forum(sim, engine, args.topics, 10)
                runs = [harvest(binary.resolve(), sim, engine, scratch / f"{engine}{n}", keys[n])
                        for n, binary in enumerate((args.before, args.after))]
                problems += compare(engine, "first run", *runs)
                number = hb.FORUMS[engine][0]
                first, second = sorted(sim.model.forum(number).topics)[:2]
                sim.edit_post(number, first, index=0, body="Edited :) <b>now</b> & then")
                sim.add_post(number, second, "Bob", "A late reply :cool:", hb.BASE)
                for rnd, binary in zip(runs, (args.before, args.after)):
                    os.environ["QUORIX_BIN"] = str(binary.resolve())
                    for path in hb.spool_files(rnd.box.spool_dir):
                        path.unlink()
                    hb.run_quorix(rnd.inst, ["BENCH.BFG"], timeout=1800)
                problems += compare(engine, "second run", *runs)
            finally:
                sim.stop()
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    for problem in problems:
        print("DIFFERENT:", problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
