#!/usr/bin/env python3
"""Harvest benchmark: the real binary against the forum simulator.

For each engine (UBB, UBBThreads) the simulator holds one forum of TOPICS
topics of POSTS posts each (UBB: ten posts per page, so every topic is one
page). A stand-in XP2 installation gets one box for it, and the binary runs
headless three times:

  empty       the group list is empty: start, the fixed pauses, the end;
  first       every topic is new: all list pages and all topic pages are
              fetched and converted; the spool must then hold TOPICS x POSTS
              articles with distinct Message-IDs;
  second      nothing changed: only the topic list pages are fetched, no
              article is written.

Each figure is the median of --repeat rounds, every round in a fresh
installation. Besides the wall time the table shows the CPU time of the
quorix process, the time the simulator spent building its pages, and
"fetch alone": the same requests made one after the other by a bare client
(a new HTTP/1.0 connection each, read to the end, nothing done with the
answer), which is the network and simulator side of the run.

"Conversion alone": the simulator's answers to the very requests of the
first run (the topic pages, with their HTTP head, byte for byte) are written
to a directory, and quorix_bench converts them in-process with the same
template: a fresh run state, an empty spool directory on the same file
system, the main log open, one converter call per page as the article
retrieval makes it (BM_ConvertSimulatorPages). The list pages of the second
run are parsed the same way (BM_ParseSimulatorLists). No network, no
simulator, no process start.

With --https every engine is measured twice in the same run: over plain
HTTP, then with a second simulator serving HTTPS (a test CA's certificate,
"WebServer=https://127.0.0.1", "WebCAFile=") and the bare client fetching over
TLS too; the table gets an "engine/https" row set and the ratio of the runs.
Both boxes name the server by its address (the certificate holds it), so
the two runs differ only in TLS: a name would be resolved for every request.

    python3 bench/harvest_bench.py                 # both engines, 3 rounds
    QUORIX_BIN=$PWD/build/quorix python3 bench/harvest_bench.py --engines ubb
    QUORIX_BIN=$PWD/build/quorix python3 bench/harvest_bench.py --https --no-conversion
    python3 bench/harvest_bench.py --rtt-ms 100 --https --keep-alive Y --engines ubb

With --rtt-ms N the binary reaches the simulator through the link emulator
(bench/link_emulator.py: every byte N/2 ms late each way, a connection's
first bytes one round trip later still), and each round prints the round
trips per request of the first run: (first run - empty run) / (requests x
RTT). --keep-alive Y or N writes "WebKeepAlive=" into the box (default: the
box's own default, kept connections for https only), --connections N
"WebConnections=" (default: 4 for a box that keeps its connections).

With --nginx, nginx (bench/nginx_front.py: Debian's nginx, "gzip on", kept
upstream connections) stands in front of the simulator and serves the binary
and the bare client, over HTTPS too with --https: kept answers then come
compressed and chunked, as from a real forum.

QUORIX_BIN must be an absolute path: the binary is linked into installations
in other directories.

Standard library only. Exit status 1 when a check fails.
"""

from __future__ import annotations

import argparse
import json
import re
import os
import resource
import shutil
import socket
import ssl
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from datetime import datetime, timedelta
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests"))

sys.path.insert(0, str(REPO / "bench"))
from link_emulator import LinkEmulator  # noqa: E402
from nginx_front import NginxFront, write_static_pages  # noqa: E402
from e2e.certificates import test_certificates  # noqa: E402
from e2e.installation import create_installation, group_list_text, quorix_binary  # noqa: E402
from e2e.runner import (PROXY_VARIABLES, parse_article, parse_rnews,  # noqa: E402
                        run_quorix, spool_files)
from forumsim.forumsim import ForumSim  # noqa: E402
from forumsim.server import response_bytes  # noqa: E402

FORUMS = {  # engine -> (forum number, forum name, group list entry)
    "ubb": (3, "General Talk", ("de.bench.ubb", "General+Talk", 3, 30)),
    "threads": (7, "PHP Corner", ("de.bench.php", "PHP+Corner", 7, 0)),
}
BASE = datetime(2004, 10, 5, 9, 15)

# Post bodies in forum markup: quotes, links, mail links, smileys, code
# blocks, highlights, entities, paragraphs; {t} and {k} make each one unique.
BODIES = (
    "Hello all,\n\nhere is my [b]post {k}[/b] in topic {t} :) with a link to "
    "[url=http://www.example.org/docs?a={t}&b={k}]the docs[/url] and one to "
    "[url]www.example.com/{t}[/url].\n"
    "Write to [email]user{k}.name@example.net[/email] if you like ;)\n\n"
    "[code]for i in 1 2 3\n  echo $i {t}\ndone[/code]\n"
    "Tom & Jerry say <hello> :D",
    "[quote=Bob]here is what topic {t} said\nwith two lines[/quote]\n"
    "Thanks Bob :cool: that helped (reply {k}).",
    "Short answer {k} to {t}: [i]it depends[/i] :confused:\n"
    "See [url=http://forum.example.org/faq#{k}]the FAQ[/url] first.\n\n"
    "Second paragraph with [u]underlined[/u] words and a line\nbreak :p",
    "[quote]A quote without a name, topic {t}[/quote]\n"
    "[quote=Alice]and a second one,\nreply {k}[/quote]\n"
    "I disagree :( because 3 < 4 && 5 > 2.\n"
    "[code]x = {k}\nprint(x * {t})[/code]\nBye :eek:",
)
SIGNATURE = "Greetings\nhttp://home.example.org/~user{k}"
AUTHORS = ("Alice", "Bob", "Carol", "Dave", "Erin", "Frank")


def say(text: str = "") -> None:
    print(text, flush=True)


def fill_forum(sim: ForumSim, engine: str, topics: int, posts: int) -> None:
    number, name, _ = FORUMS[engine]
    sim.add_forum(engine, number, name)
    for t in range(1, topics + 1):
        start = BASE - timedelta(minutes=t * 20)
        topic = sim.add_topic(number, f"Topic {t}: question & answer", AUTHORS[t % 6],
                              BODIES[t % len(BODIES)].format(t=t, k=0), start,
                              signature=SIGNATURE.format(k=0) if t % 3 == 0 else "")
        for k in range(1, posts):
            sim.add_post(number, topic.id, AUTHORS[(t + k) % 6],
                         BODIES[(t + k) % len(BODIES)].format(t=t, k=k),
                         start + timedelta(seconds=k),
                         signature=SIGNATURE.format(k=k) if k % 4 == 0 else "")


class TimedRouter:
    """Wraps the simulator's router: adds up the time spent building answers."""

    def __init__(self, router):
        self.router = router
        self.lock = threading.Lock()
        self.seconds = 0.0

    def answer(self, request):
        started = time.perf_counter()
        try:
            return self.router.answer(request)
        finally:
            spent = time.perf_counter() - started
            with self.lock:
                self.seconds += spent

    def take(self) -> float:
        with self.lock:
            spent, self.seconds = self.seconds, 0.0
            return spent


class FakeRequest:
    """What the router reads of a request the binary would send."""

    def __init__(self, path: str):
        self.method = "GET"
        self.path = path
        self.body = b""

    @staticmethod
    def header(name: str):
        return "127.0.0.1" if name.lower() == "host" else None


def child_cpu_seconds() -> float:
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


class Round:
    """One fresh installation with one box on the simulator."""

    def __init__(self, sim: ForumSim, engine: str, root: Path, timeout: int = 30,
                 port: int | None = None, keep_alive: str | None = None,
                 keys=(), trace_threads: bool = False):
        self.sim, self.engine = sim, engine
        self.trace_threads = trace_threads
        tls = getattr(sim, "box_tls", bool(sim.tls))
        self.inst = create_installation(root, "xp2")
        self.box = self.inst.add_box(
            "BENCH", server="https://127.0.0.1" if tls else "127.0.0.1",
            port=port or sim.port,
            engine=engine, template=sim.template_text(engine),
            web=sim.web_settings(engine), posting="N", timeout=timeout)
        if tls:
            self.box.keys.append(("WebCAFile", str(test_certificates().ca_file)))
        if keep_alive:
            self.box.keys.append(("WebKeepAlive", keep_alive))
        self.box.keys.extend(keys)
        self.box.write(group_list_text([FORUMS[engine][2]]))

    def run_empty(self, timed: TimedRouter) -> dict:
        """A run with an empty group list: start, the fixed pauses, the end."""
        self.box.group_list.write_bytes(b"")
        figures = self.run(timed)
        self.box.group_list.write_bytes(group_list_text([FORUMS[self.engine][2]]).encode())
        return figures

    def run(self, timed: TimedRouter) -> dict:
        # With nginx serving static pages the simulator sees no request:
        # nginx's log of them stands in for its record.
        static = getattr(self.sim, "static_front", None)
        self.sim.clear_requests()
        if static is not None:
            static.clear_paths()
        timed.take()
        cpu_before = child_cpu_seconds()
        thread = None
        if self.trace_threads:
            wall, thread = self.run_traced()
        else:
            result = run_quorix(self.inst, ["BENCH.BFG"], timeout=1800)
            if result.returncode != 0:
                raise SystemExit(f"quorix ended with {result.returncode}:\n{result.console}")
            wall = result.seconds
        cpu = child_cpu_seconds() - cpu_before
        paths = ([r.path for r in self.sim.requests] if static is None
                 else served_paths(static))
        return {"wall": wall, "cpu": cpu, "sim": timed.take(), "paths": paths,
                "thread": thread}

    def run_traced(self) -> tuple:
        """The run under `perf record` of two scheduler tracepoints (thread
        created, thread ended), which cost the binary next to nothing: the
        wall time and the life of the box's fetch thread in seconds (start to
        end: the box read, its lists, its topics fetched and converted; not the
        process start, the bases' load and save, the waits of the main
        routine). strace, even stopped only at thread starts, doubled the
        binary's processor time."""
        trace = self.inst.root / "threads.perf"
        env = {k: v for k, v in os.environ.items() if k != "OMRALOG" and k not in PROXY_VARIABLES}
        env.setdefault("TZ", "UTC")
        started = time.monotonic()
        result = subprocess.run(
            ["perf", "record", "-q", "-e", "task:task_newtask", "-e", "sched:sched_process_exit",
             "-o", str(trace), "--", "./quorix", "BENCH.BFG"],
            cwd=self.inst.root, env=env, stdin=subprocess.DEVNULL, capture_output=True,
            timeout=1800, check=False)
        wall = time.monotonic() - started
        if result.returncode != 0:
            raise SystemExit(f"quorix under perf ended with {result.returncode}:\n"
                             f"{result.stdout.decode('latin-1')}{result.stderr.decode('latin-1')}")
        script = subprocess.run(
            ["perf", "script", "-i", str(trace), "-F", "pid,tid,time,event,trace"],
            capture_output=True, text=True, errors="replace", timeout=120, check=False)
        return wall, fetch_thread_seconds(script.stdout)

    def articles(self) -> list:
        found = []
        for path in spool_files(self.box.spool_dir):
            found += [parse_article(a) for a in parse_rnews(path.read_bytes())]
        return found


def fetch_thread_seconds(script: str) -> float:
    """The life of the first fetch thread in a `perf script` of the two
    tracepoints of a run with one box: the main thread starts the display
    thread, then the box's fetch thread (which starts the threads of its
    connections), then the posting thread. From its creation to its end."""
    started = []  # (time, tid) of each thread the main thread started
    ended = {}
    main_pid = None
    for line in script.splitlines():
        match = re.match(r"\s*(\d+)/(\d+)\s+([\d.]+):\s+(\S+):\s+(.*)", line)
        if not match:
            continue
        pid, tid, stamp, event, fields = match.groups()
        child = re.search(r"\bpid=(\d+)", fields)
        if event == "task:task_newtask" and child:
            if main_pid is None and pid == tid:
                main_pid = pid  # perf records the binary from its start
            if tid == main_pid:
                started.append((float(stamp), child.group(1)))
        elif event == "sched:sched_process_exit" and child:
            ended[child.group(1)] = float(stamp)
    if len(started) < 2 or started[1][1] not in ended:
        raise SystemExit("the trace shows no fetch thread")
    stamp, tid = started[1]
    return ended[tid] - stamp


def served_paths(front: NginxFront) -> list:
    """The paths nginx logged. It logs a request just after its answer, so
    the last line may come a moment after the binary has ended: read until
    the log stops growing."""
    paths = front.paths()
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline:
        time.sleep(0.05)
        again = front.paths()
        if again == paths:
            break
        paths = again
    return paths


def static_site(sim: ForumSim, engine: str, args, scratch_root: Path, timed) -> Path:
    """The pages of a first run as static files: one harvest against the
    simulator records the paths it asks for, the simulator's answers to them
    (the page, no head) are written where a static nginx finds them.
    Returns the directory; the simulator serves no request after this."""
    root = Path(tempfile.mkdtemp(prefix=f"quorix-record-{engine}-", dir=scratch_root))
    pages = Path(tempfile.mkdtemp(prefix=f"quorix-static-{engine}-", dir=scratch_root))
    try:
        recorded = Round(sim, engine, root).run(timed)["paths"]
    finally:
        shutil.rmtree(root, ignore_errors=True)
    bodies = {}
    for path in recorded:
        status, page, content_type = sim.answer(FakeRequest(path))
        if status != 200 or content_type != "text/html; charset=iso-8859-1":
            raise SystemExit(f"{path}: {status} {content_type}: not a static page")
        bodies[path] = page.encode("latin-1")
    write_static_pages(bodies, pages)
    say(f"{engine}: {len(bodies)} pages ({sum(map(len, bodies.values())) / 1e6:.1f} MB) "
        f"written for nginx to serve as files")
    return pages


def check_first_run(rnd: Round, figures: dict, topics: int, posts: int, problems: list) -> None:
    articles = rnd.articles()
    ids = {next(v for n, v in headers if n == "Message-ID") for headers, _ in articles}
    if len(articles) != topics * posts or len(ids) != topics * posts:
        problems.append(f"{rnd.engine}: {len(articles)} articles, {len(ids)} distinct IDs; "
                        f"expected {topics * posts}")
    figures["articles"] = len(articles)
    figures["spool_files"] = len(spool_files(rnd.box.spool_dir))
    figures["spool_bytes"] = sum(p.stat().st_size for p in spool_files(rnd.box.spool_dir))


def is_list_path(engine: str, path: str) -> bool:
    return ("forumdisplay.cgi" in path) if engine == "ubb" else ("postlist.php" in path)


def check_second_run(rnd: Round, figures: dict, files_before: int, problems: list) -> None:
    topic_requests = [p for p in figures["paths"] if not is_list_path(rnd.engine, p)]
    if topic_requests:
        problems.append(f"{rnd.engine}: second run fetched {len(topic_requests)} topic pages")
    if len(spool_files(rnd.box.spool_dir)) != files_before:
        problems.append(f"{rnd.engine}: second run wrote spool files")


def dump_pages(sim: ForumSim, engine: str, paths: list, directory: Path) -> Path:
    """The simulator's answers to `paths` (head and page, as the binary
    received them) as files, and a manifest: kind, engine, request path, file."""
    directory.mkdir(parents=True, exist_ok=True)
    lines = []
    for index, path in enumerate(paths):
        status, page, content_type = sim.answer(FakeRequest(path))
        name = f"{index:06d}.html"
        (directory / name).write_bytes(response_bytes(status, page.encode("latin-1"),
                                                      content_type))
        kind = "list" if is_list_path(engine, path) else "topic"
        lines.append(f"{kind}\t{engine}\t{path}\t{name}")
    manifest = directory / "pages.txt"
    manifest.write_text("\n".join(lines) + "\n", encoding="latin-1")
    return manifest


def template_file(sim: ForumSim, engine: str, directory: Path) -> Path:
    target = directory / f"{engine}.template"
    target.write_bytes(sim.template_text(engine).encode("latin-1"))
    return target


def bench_binary(explicit: str | None) -> Path:
    if explicit:
        return Path(explicit)
    if os.environ.get("QUORIX_BENCH_BIN"):
        return Path(os.environ["QUORIX_BENCH_BIN"])
    return quorix_binary().parent / "bench" / "quorix_bench"


def conversion_alone(bench: Path, manifest: Path, template: Path, scratch: Path,
                     repeat: int) -> dict:
    """Median (real, CPU) times in seconds of converting the topic pages and
    of parsing the list pages of the manifest, from quorix_bench."""
    env = dict(os.environ, QUORIX_BENCH_DIR=str(scratch))
    result = subprocess.run(
        [str(bench), f"--pages={manifest}", f"--template={template}",
         "--benchmark_filter=Simulator", f"--benchmark_repetitions={repeat}",
         "--benchmark_min_time=0.01", "--benchmark_format=json"],
        env=env, capture_output=True, text=True, check=False)
    if result.returncode != 0:
        raise SystemExit(f"{bench} failed:\n{result.stderr}")
    report = json.loads(result.stdout)
    times: dict = {}
    for entry in report["benchmarks"]:
        if entry.get("run_type") == "iteration":
            name = entry["run_name"].split("/")[0]
            scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[entry["time_unit"]]
            real, cpu = times.setdefault(name, ([], []))
            real.append(entry["real_time"] * scale)
            cpu.append(entry["cpu_time"] * scale)
    return {name: (median(real), median(cpu)) for name, (real, cpu) in times.items()}


def fetch_binary() -> Path:
    """quorix_fetch: $QUORIX_FETCH_BIN, else beside quorix_bench."""
    if os.environ.get("QUORIX_FETCH_BIN"):
        return Path(os.environ["QUORIX_FETCH_BIN"])
    return quorix_binary().parent / "bench" / "quorix_fetch"


def kept_connections(args, tls: bool) -> int:
    """How many kept connections the box's harvest uses (0: a fresh HTTP/1.0
    connection per request), as the binary decides it."""
    keeps = args.keep_alive == "Y" or (tls and args.keep_alive != "N")
    return max(1, min(8, args.connections or 4)) if keeps else 0


def fetch_alone(port: int, paths: list, tls: bool = False, kept: int = 0) -> float:
    """Seconds to fetch `paths` one after the other as the binary does (a new
    HTTP/1.0 connection per request, the binary's five request lines each in
    its own send, read until the server closes), doing nothing with the
    answers: the network and simulator side of a run. Over TLS each
    connection resumes the session of the one before, as the binary's do.
    With quorix_fetch built, it makes the requests with the program's own
    connections and TLS streams; else a Python client does. With `kept`
    connections (a box that keeps them), quorix_fetch fetches as such a
    harvest does: that many kept HTTP/1.1 connections, each on a thread of
    its own, gzip asked for (the Python client knows only the first way)."""
    client = fetch_binary()
    if client.is_file():
        return fetch_alone_native(client, port, paths, tls, kept)
    return fetch_alone_python(port, paths, tls)


def fetch_alone_native(client: Path, port: int, paths: list, tls: bool, kept: int = 0) -> float:
    command = [str(client), "127.0.0.1", str(port), user_agent(tls)]
    if tls:
        command.append(str(test_certificates().ca_file))
    if kept:
        command += ["--kept", str(kept)]
    result = subprocess.run(command, input="\n".join(paths) + "\n", capture_output=True,
                            text=True, timeout=1800, check=False)
    if result.returncode != 0:
        raise SystemExit(f"{client} failed:\n{result.stderr}")
    return float(result.stdout.split()[1])


def user_agent(tls: bool) -> str:
    return f"Korvendale 3.50 ({'https' if tls else 'http'}://quorix.invalid/)"


def request_lines(path: str, host: str, tls: bool) -> list:
    """The lines of the binary's GET, as it sends them."""
    return [line.encode("latin-1") for line in
            (f"GET {path} HTTP/1.0\r\n", f"Host: {host}\r\n", f"Referer: {host}\r\n",
             f"User-Agent: {user_agent(tls)}\r\n", "\r\n")]


def fetch_alone_python(port: int, paths: list, tls: bool) -> float:
    """fetch_alone with Python's sockets and ssl (TCP_NODELAY as the binary)."""
    context = None
    if tls:
        context = ssl.create_default_context(cafile=str(test_certificates().ca_file))
    session = None
    started = time.perf_counter()
    for path in paths:
        with socket.create_connection(("127.0.0.1", port), timeout=30) as raw:
            conn = raw
            raw.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            if context is not None:
                conn = context.wrap_socket(raw, server_hostname="127.0.0.1", session=session)
            for line in request_lines(path, "127.0.0.1", tls):
                conn.sendall(line)
            try:
                while conn.recv(65536):
                    pass
            except ssl.SSLEOFError:
                pass  # the server closes without a closing alert, as HTTP/1.0 may
            if context is not None:
                session = conn.session
    return time.perf_counter() - started


def median(values) -> float:
    return statistics.median(values)


PHASES = ("empty", "first", "second")
# The waits every run keeps whatever its work: 1.5 s per fetch thread before
# the posting phase and 10 ms between thread starts (one box: one thread).
FIXED_WAITS = 1.51
MEASURES = ("wall", "cpu", "sim", "fetch")


def one_round(sim, timed, engine, args, problems, root) -> dict:
    """The three runs of one fresh installation, and the fetch-alone times."""
    rnd = Round(sim, engine, root, port=getattr(sim, "link_port", None),
                keep_alive=args.keep_alive,
                keys=[("WebConnections", str(args.connections))] if args.connections else [],
                trace_threads=args.thread_times)
    runs = {"empty": rnd.run_empty(timed)}
    runs["first"] = first = rnd.run(timed)
    check_first_run(rnd, first, args.topics, args.posts, problems)
    runs["second"] = second = rnd.run(timed)
    check_second_run(rnd, second, first["spool_files"], problems)
    tls = getattr(sim, "box_tls", bool(sim.tls))
    for figures in runs.values():
        figures["fetch"] = fetch_alone(getattr(sim, "front_port", sim.port), figures["paths"],
                                       tls, kept_connections(args, tls))
    timed.take()
    say(f"{engine} round: first {first['wall']:.2f} s ({len(first['paths'])} requests, "
        f"{first['articles']} articles), second {second['wall']:.2f} s "
        f"({len(second['paths'])} requests)")
    if args.rtt_ms:
        work = first["wall"] - runs["empty"]["wall"]
        per_request = work / (len(first["paths"]) * args.rtt_ms / 1000.0)
        first["round_trips"] = per_request
        say(f"{engine} round over a {args.rtt_ms:g} ms round trip: work {work:.2f} s, "
            f"{per_request:.2f} round trips per request")
    return runs


HTML_BASE_HEADER = b"# QUORIX Htmlbase, do not edit or delete! #\r\n"


def seed_html_base(rnd: Round, sim: ForumSim) -> None:
    """QUORIX.HTM as a first run over the UBB forum leaves it: every topic
    as its list row shows it ("/" + WebPath + topic file, a comma, the reply
    count). Lets a run in which nothing changed be measured on a forum whose
    first run would take too long; the second run's check (no topic page
    fetched) proves the records right."""
    from forumsim.pages_ubb import topic_file  # noqa: PLC0415
    number = FORUMS["ubb"][0]
    prefix = "/" + sim.web_settings("ubb")["WebPath"]
    records = [f"{prefix}{topic_file(number, t.id)},{t.marker()}".encode("latin-1") + b"\0"
               for t in sim.model.forum(number).topics.values()]
    (rnd.inst.root / "QUORIX.HTM").write_bytes(HTML_BASE_HEADER + b"".join(records))


def unchanged_round(sim, timed, engine, args, problems, root) -> dict:
    """A run over a forum read before (seeded Html base) in which nothing
    changed, and the empty run as its floor."""
    rnd = Round(sim, engine, root)
    seed_html_base(rnd, sim)
    runs = {"empty": rnd.run_empty(timed)}
    runs["second"] = second = rnd.run(timed)
    check_second_run(rnd, second, 0, problems)
    for figures in runs.values():
        figures["fetch"] = fetch_alone(sim.port, figures["paths"])
    runs["first"] = runs["empty"]
    say(f"{engine} round: unchanged {second['wall']:.2f} s ({len(second['paths'])} requests)")
    return runs


def bench_engine(engine: str, args, problems: list, scratch_root: Path,
                 https: bool = False) -> dict:
    tls = test_certificates().server("good") if https else None
    front = None
    pages = None
    if args.static_nginx:
        # nginx serves the simulator's pages as files: the simulator fills
        # them once, then answers nothing.
        sim = ForumSim(posts_per_page=10).start()
    elif args.nginx:
        # nginx in front: the simulator speaks plain HTTP to it, nginx speaks
        # to the binary (and to the bare client) over HTTP or HTTPS.
        sim = ForumSim(posts_per_page=10).start()
        front = NginxFront(upstream_port=sim.port, tls=tls).start()
        sim.front_port = front.tls_port if https else front.port
        sim.link_port = sim.front_port
        sim.box_tls = https
    else:
        sim = ForumSim(posts_per_page=10, tls=tls).start()
    link = None
    if args.rtt_ms:
        link = LinkEmulator(getattr(sim, "front_port", sim.port), args.rtt_ms).start()
        sim.link_port = link.port
    try:
        timed = TimedRouter(sim.router)
        sim.router = timed
        fill_forum(sim, engine, args.topics, args.posts)
        forum = sim.model.forum(FORUMS[engine][0])
        forum.frozen_order = forum.topics_by_activity()  # nothing changes it from here
        forum.compact_page_links = args.compact_lists
        if args.static_nginx:
            pages = static_site(sim, engine, args, scratch_root, timed)
            front = NginxFront(pages=pages, tls=tls, charset="iso-8859-1").start()
            sim.front_port = sim.link_port = front.tls_port if https else front.port
            sim.box_tls = https
            sim.static_front = front
            if link is not None:
                link.stop()  # it led to the simulator; it now leads to nginx
                link = LinkEmulator(sim.front_port, args.rtt_ms).start()
                sim.link_port = link.port
        round_kind = unchanged_round if args.unchanged_only else one_round
        rounds = []
        for _ in range(args.repeat):
            root = Path(tempfile.mkdtemp(prefix=f"quorix-bench-{engine}-", dir=scratch_root))
            try:
                rounds.append(round_kind(sim, timed, engine, args, problems, root))
            finally:
                if not args.keep:
                    shutil.rmtree(root, ignore_errors=True)
        measures = MEASURES + (("thread",) if args.thread_times else ())
        summary = {phase: {key: median([r[phase][key] for r in rounds]) for key in measures}
                   for phase in PHASES}
        last = rounds[-1]
        for phase in PHASES:
            summary[phase]["requests"] = len(last[phase]["paths"])
        summary["first"]["spool_files"] = last["first"].get("spool_files", 0)
        summary["first"]["spool_bytes"] = last["first"].get("spool_bytes", 0)
        if not args.no_conversion and not args.unchanged_only:
            summary["alone"] = measure_conversion(sim, engine, last["first"]["paths"], args,
                                                  problems, scratch_root)
        if args.rtt_ms:
            summary["first"]["round_trips"] = median([r["first"]["round_trips"] for r in rounds])
            say(f"{engine}{'/https' if https else ''}: {summary['first']['round_trips']:.2f} "
                f"round trips per request (median of {len(rounds)}), RTT {args.rtt_ms:g} ms")
        return summary
    finally:
        if link is not None:
            link.stop()
        if front is not None:
            front.stop()
        if pages is not None and not args.keep:
            shutil.rmtree(pages, ignore_errors=True)
        sim.stop()


def measure_conversion(sim, engine, paths, args, problems, scratch_root) -> dict:
    bench = bench_binary(args.bench_bin)
    if not bench.is_file():
        problems.append(f"no benchmark binary at {bench}: conversion alone not measured "
                        "(cmake --build BUILD --target quorix_bench)")
        return {}
    pages = Path(tempfile.mkdtemp(prefix=f"quorix-pages-{engine}-", dir=scratch_root))
    try:
        manifest = dump_pages(sim, engine, paths, pages)
        template = template_file(sim, engine, pages)
        return conversion_alone(bench, manifest, template, pages, args.repeat)
    finally:
        if args.keep:
            say(f"pages kept in {pages} (quorix_bench --pages={pages}/pages.txt "
                f"--template={pages}/{engine}.template)")
        else:
            shutil.rmtree(pages, ignore_errors=True)


def print_table(results: dict, args) -> None:
    say()
    say(f"{args.topics} topics x {args.posts} posts; median of {args.repeat} rounds; seconds "
        "(conversion alone: milliseconds, real (CPU))")
    say(f"{'engine':8} {'run':7} {'requests':>8} {'wall':>7} {'quorix CPU':>10} "
        f"{'simulator':>9} {'fetch alone':>11} {'conv. alone ms':>17}")
    for engine, summary in results.items():
        alone = summary.get("alone", {})
        for phase, key in (("empty", None), ("first", "BM_ConvertSimulatorPages"),
                           ("second", "BM_ParseSimulatorLists")):
            if args.unchanged_only and phase == "first":
                continue  # not run: the Html base was seeded instead
            row = summary[phase]
            conv = (f"{alone[key][0] * 1000:.1f} ({alone[key][1] * 1000:.1f})"
                    if key in alone else "-")
            say(f"{engine:8} {phase:7} {row['requests']:8d} {row['wall']:7.2f} "
                f"{row['cpu']:10.2f} {row['sim']:9.2f} {row['fetch']:11.2f} {conv:>17}")
        first = summary["first"]
        if args.unchanged_only:
            continue
        say(f"{'':8} first run wrote {first['spool_files']} spool files, "
            f"{first['spool_bytes'] / 1e6:.1f} MB")
        if first["fetch"] > 0 and not args.unchanged_only:
            ratio = (first["wall"] - FIXED_WAITS) / first["fetch"]
            say(f"{'':8} harvest / fetch alone: (first wall - {FIXED_WAITS:.2f} s fixed waits) / "
                f"fetch alone = {ratio:.2f}")
            beyond = (first["wall"] - summary["empty"]["wall"]) / first["fetch"]
            say(f"{'':8} (first wall - empty run wall) / fetch alone = {beyond:.2f}")
            if "thread" in first:
                say(f"{'':8} fetch thread's life, first run {first['thread']:.3f} s, "
                    f"second {summary['second']['thread']:.3f} s, empty "
                    f"{summary['empty']['thread']:.3f} s; first / fetch alone = "
                    f"{first['thread'] / first['fetch']:.2f}")
    say()
    say("empty: a run with an empty group list (start, the fixed 1.5 s wait before the")
    say("posting phase, the end); first: every topic new; second: nothing changed.")
    say("wall: start to exit of the binary; quorix CPU: user + system time of the binary;")
    say("simulator: time the simulator spent building its answers (Python);")
    say("fetch alone: the same requests made one after the other by a bare client")
    say("(quorix_fetch: the program's own connections and TLS, nothing else);")
    say("conv. alone: the same pages converted in-process by quorix_bench (first run:")
    say("converters into an empty spool with a fresh dupe base; second run: list rows parsed).")


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--topics", type=int, default=1000)
    parser.add_argument("--posts", type=int, default=10)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--engines", default="ubb,threads")
    parser.add_argument("--bench-bin", help="quorix_bench (default: $QUORIX_BENCH_BIN, "
                        "else bench/quorix_bench beside the quorix binary)")
    parser.add_argument("--no-conversion", action="store_true",
                        help="skip the conversion-alone measurement")
    parser.add_argument("--scratch", help="directory for installations (default: /dev/shm "
                        "when present, else the system's temporary directory)")
    parser.add_argument("--keep", action="store_true", help="keep the installations")
    parser.add_argument("--https", action="store_true",
                        help="measure every engine over HTTPS too, and the ratio")
    parser.add_argument("--compact-lists", action="store_true",
                        help="list pages after the first link only their neighbours, so "
                        "that they keep their size on big forums")
    parser.add_argument("--unchanged-only", action="store_true",
                        help="UBB only: skip the first run; seed the Html base as it would "
                        "leave it and measure the run in which nothing changed (big forums)")
    parser.add_argument("--rtt-ms", type=float, default=0,
                        help="reach the simulator through the link emulator with this "
                        "round trip, and print round trips per request")
    parser.add_argument("--keep-alive", choices=("Y", "N"),
                        help="write WebKeepAlive= into the box")
    parser.add_argument("--nginx", action="store_true",
                        help="put nginx (gzip on, kept upstream connections) in front of the "
                        "simulator; it serves the binary and the bare client, over HTTPS too")
    parser.add_argument("--static-nginx", action="store_true",
                        help="nginx serves the simulator's pages (those of a first run, "
                        "recorded once) as static files, gzip on, over HTTPS too; the "
                        "simulator's own cost is out of the harvest and of fetch alone")
    parser.add_argument("--thread-times", action="store_true",
                        help="run the binary under perf (two scheduler tracepoints: thread "
                        "created, thread ended) and print the life of the box's fetch thread: the "
                        "harvest's work without the main routine's 100 ms polling steps")
    parser.add_argument("--connections", type=int,
                        help="write WebConnections= into the box (default: the box's own "
                        "default, 4 for a box that keeps its connections)")
    args = parser.parse_args(argv)
    if args.static_nginx and (args.nginx or args.unchanged_only):
        parser.error("--static-nginx goes with neither --nginx nor --unchanged-only")

    # The installation runs the binary from its own directory: a relative
    # QUORIX_BIN must be made absolute before that.
    if os.environ.get("QUORIX_BIN"):
        os.environ["QUORIX_BIN"] = str(Path(os.environ["QUORIX_BIN"]).resolve())
    binary = quorix_binary()
    if not binary.is_file():
        say(f"no binary at {binary}: build it or set QUORIX_BIN")
        return 1
    scratch = Path(args.scratch) if args.scratch else (
        Path("/dev/shm") if Path("/dev/shm").is_dir() else Path(tempfile.gettempdir()))
    say(f"binary {binary}; scratch {scratch}; {os.cpu_count()} CPUs; "
        f"load average at start {os.getloadavg()[0]:.2f}")
    client = fetch_binary()
    say(f"fetch alone: {client}" if client.is_file() else
        f"fetch alone: Python's sockets (no {client}: cmake --build BUILD --target quorix_fetch)")
    problems: list = []
    results = {}
    for engine in args.engines.split(","):
        results[engine] = bench_engine(engine, args, problems, scratch)
        if args.https:
            results[engine + "/https"] = bench_engine(engine, args, problems, scratch, True)
    print_table(results, args)
    if args.https:
        for engine in args.engines.split(","):
            plain, https = results[engine], results[engine + "/https"]
            say(f"{engine}: HTTPS / HTTP wall time: first run "
                f"{https['first']['wall'] / plain['first']['wall']:.2f}, second run "
                f"{https['second']['wall'] / plain['second']['wall']:.2f}; fetch alone, "
                f"first run: {https['first']['fetch'] / plain['first']['fetch']:.2f}")
    say(f"load average at the end {os.getloadavg()[0]:.2f} (other work shares the machine)")
    for problem in problems:
        say(f"PROBLEM: {problem}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
