#!/usr/bin/env python3
"""Peak memory of a harvest with one huge topic page.

The simulator holds one UBB forum of TOPICS small topics plus one topic
whose opening post is MIB MiB of forum text (lines with links, smileys,
quotes and entities, as a long post carries them). The binary harvests it
headless in a fresh installation; its peak resident set size (GNU time's
maximum resident set size) is printed beside the page's size, for the run
with the huge topic and for the same forum without it.

    python3 bench/memory_bench.py [--mib 64] [--topics 200]

With --bases N the run instead starts from bases of a long-running
installation: QUORIX.IDX with N Message-IDs and QUORIX.HTM with N records
(about 45 bytes each), which it loads, adds the forum's topics to and saves;
the peak is printed beside the two files' size.

    python3 bench/memory_bench.py --bases 1000000

Standard library and /usr/bin/time (Debian package time).
"""

from __future__ import annotations

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import harvest_bench as hb  # noqa: E402
from forumsim.forumsim import ForumSim  # noqa: E402

LINE = ("Line {n} of a long post :) with [url=http://www.example.org/{n}]a link[/url], "
        "[b]bold[/b] words & <angles> and a mail to [email]a{n}@example.net[/email]\n")


def huge_body(mib: float) -> str:
    target = int(mib * (1 << 20))
    lines, size, n = [], 0, 0
    while size < target:
        line = LINE.format(n=n)
        lines.append(line)
        size += len(line)
        n += 1
    return "".join(lines)


def peak_rss(rnd: hb.Round) -> tuple:
    """(peak RSS in MiB, exit status) of one headless run. GNU time starts
    the binary: a child of this (large) Python process would inherit its
    size as the start of its peak."""
    report = rnd.inst.root / "peak.txt"
    proc = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", str(report), "./quorix",
                           "BENCH.BFG"], cwd=str(rnd.inst.root), stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    return int(report.read_text().split()[-1]) / 1024, proc.returncode


def largest_answer(sim: ForumSim) -> int:
    """Bytes of the largest page the run was sent (rendered again)."""
    largest = 0
    for path in {r.path for r in sim.requests}:
        status, page, content_type = sim.answer(hb.FakeRequest(path))
        largest = max(largest, len(hb.response_bytes(status, page.encode("latin-1"), content_type)))
    return largest


def measure(binary: Path, mib: float, topics: int, scratch: Path) -> dict:
    os.environ["QUORIX_BIN"] = str(binary)
    figures = {}
    for label, size in (("small topics only", 0), (f"with a {mib:g} MiB post", mib)):
        sim = ForumSim(posts_per_page=10).start()
        try:
            hb.fill_forum(sim, "ubb", topics, 2)
            if size:
                sim.add_topic(hb.FORUMS["ubb"][0], "Huge", "Alice", huge_body(size), hb.BASE)
            root = Path(tempfile.mkdtemp(prefix="quorix-memory-", dir=scratch))
            # The simulator takes long to render a huge page: a long time-out.
            rnd = hb.Round(sim, "ubb", root, timeout=900)
            sim.clear_requests()
            rss, status = peak_rss(rnd)
            page = max((len(p.read_bytes()) for p in hb.spool_files(rnd.box.spool_dir)), default=0)
            figures[label] = (rss, status, page / (1 << 20), largest_answer(sim) / (1 << 20))
            shutil.rmtree(root, ignore_errors=True)
        finally:
            sim.stop()
    return figures


def write_big_bases(root: Path, entries: int) -> int:
    """QUORIX.IDX and QUORIX.HTM with `entries` entries each; their bytes."""
    ids = b"".join(b"<de.bench.old@forum9.%08d.html.%d.a1b2c3d4>" % (n, n % 10)
                   for n in range(entries))
    records = b"".join(b"/ubb/Forum9/HTML/%08d.html,%d\0" % (n, n % 17) for n in range(entries))
    (root / "QUORIX.IDX").write_bytes(b"# QUORIX Dupebase, do not edit or delete! #\r\n" + ids)
    (root / "QUORIX.HTM").write_bytes(hb.HTML_BASE_HEADER + records)
    return (root / "QUORIX.IDX").stat().st_size + (root / "QUORIX.HTM").stat().st_size


def measure_bases(binary: Path, entries: int, topics: int, scratch: Path) -> tuple:
    """(peak RSS MiB, exit status, bytes of both bases before, after)."""
    os.environ["QUORIX_BIN"] = str(binary)
    sim = ForumSim(posts_per_page=10).start()
    root = Path(tempfile.mkdtemp(prefix="quorix-memory-", dir=scratch))
    try:
        hb.fill_forum(sim, "ubb", topics, 2)
        rnd = hb.Round(sim, "ubb", root)
        before = write_big_bases(rnd.inst.root, entries)
        rnd.box.keys.append(("WebDupeSize", str(before * 2)))  # the base is not cut
        rnd.box.write(hb.group_list_text([hb.FORUMS["ubb"][2]]))
        rss, status = peak_rss(rnd)
        after = sum((rnd.inst.root / name).stat().st_size for name in ("QUORIX.IDX", "QUORIX.HTM"))
        return rss, status, before, after
    finally:
        shutil.rmtree(root, ignore_errors=True)
        sim.stop()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("binaries", nargs="*", type=Path,
                        help="binaries to measure (default: $QUORIX_BIN or build/quorix)")
    parser.add_argument("--mib", type=float, default=64)
    parser.add_argument("--topics", type=int, default=200)
    parser.add_argument("--bases", type=int, default=0,
                        help="start from bases of this many entries each (no huge post)")
    args = parser.parse_args()
    binaries = [b.resolve() for b in args.binaries] or [hb.quorix_binary().resolve()]
    scratch = Path("/dev/shm") if Path("/dev/shm").is_dir() else Path(tempfile.gettempdir())
    for binary in binaries:
        if args.bases:
            rss, status, before, after = measure_bases(binary, args.bases, args.topics, scratch)
            print(f"{binary}: bases of {args.bases} entries each ({before / (1 << 20):.1f} MiB, "
                  f"saved {after / (1 << 20):.1f} MiB): peak RSS {rss:.1f} MiB "
                  f"({rss * (1 << 20) / before:.1f} x the bases), exit {status}", flush=True)
            continue
        for label, (rss, status, spool, page) in measure(binary, args.mib, args.topics,
                                                         scratch).items():
            print(f"{binary}: {label}: peak RSS {rss:.1f} MiB, exit {status}, "
                  f"largest page {page:.1f} MiB, largest spool file {spool:.1f} MiB", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
