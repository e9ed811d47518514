"""The QUORIX demo: the gateway's main job against the bundled forum simulator.

1. The simulator serves sample forums of both engines (two UBB forums, one
   UBBThreads board) on 127.0.0.1.
2. A stand-in XP2 installation is built in a temporary directory, with one box
   for the UBB forums and one for the UBBThreads board.
3. A first run harvests every topic into the boxes' spool folders as rnews batches.
4. One outgoing article of each kind (new topic, reply, edit, delete) is put
   into the UBB box's spool, as CrossPoint would; the next run posts them and
   they leave the spool. The run after that delivers the new posts as articles.

After every run the demo checks what it expects (exit code 0, every post of
the simulator's forums delivered once, distinct Message-IDs, the outgoing
files gone after the posting run, the new posts delivered by the last run) and
ends with exit code 1, naming what differed, when a check fails.

Run it in a terminal to watch the status screen; otherwise the runs are headless.
With --https the simulator serves HTTPS with a certificate of a test CA made
for the demo (openssl command line), and the boxes read "WebServer=https://localhost"
and trust that CA through "WebCAFile=".
"""

from __future__ import annotations

import argparse
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests"))

from e2e.certificates import test_certificates  # noqa: E402
from e2e.installation import create_installation, group_list_text  # noqa: E402
from e2e.runner import log_messages, parse_article, parse_rnews, spool_files  # noqa: E402
from forumsim.demo import fill_demo  # noqa: E402
from forumsim.forumsim import ForumSim  # noqa: E402

UBB_GROUPS = [("demo.general", "General+Talk", 3, 30), ("demo.help", "Help+Desk", 5, 30)]
THREADS_GROUPS = [("demo.php", "PHP+Corner", 7, 0)]


def say(text: str = "") -> None:
    print(text, flush=True)


class DemoFailed(Exception):
    """A run did not do what the demo expects; the text says what differed."""


class Expectations:
    """What the demo checks after each run; a run's failed checks end it."""

    def __init__(self) -> None:
        self.failed: list[str] = []
        self.message_ids: dict[str, str] = {}  # Message-ID -> run that delivered it

    def expect(self, ok: bool, what: str) -> None:
        if not ok:
            self.failed.append(what)

    def exit_code(self, code: int) -> None:
        self.expect(code == 0, f"quorix ended with exit code {code}, expected 0")

    def distinct_ids(self, articles: list, run: str) -> None:
        for headers, _ in articles:
            message_id = headers.get("Message-ID")
            if message_id is None:
                self.failed.append(f"an article without Message-ID: {headers.get('Subject')!r}")
            elif message_id in self.message_ids:
                self.failed.append(f"Message-ID {message_id} delivered again "
                                   f"(first in {self.message_ids[message_id]})")
            else:
                self.message_ids[message_id] = run

    def settle(self, run: str) -> None:
        """Ends the demo when a check of this run failed."""
        if self.failed:
            raise DemoFailed(f"{run}: " + "; ".join(self.failed))
        say(f"  checked: {run} as expected")


def forum_posts(sim, numbers) -> int:
    """How many posts the simulator's forums hold right now."""
    with sim.model.lock:
        return sum(len(topic.posts) for number in numbers
                   for topic in sim.model.forum(number).topics.values())


def run_gateway(inst, boxes: list[str]) -> int:
    """Runs the linked binary in the installation, on this terminal."""
    started = time.monotonic()
    code = subprocess.call(["./quorix", *boxes], cwd=inst.root, stdin=sys.stdin)
    say(f"  quorix {' '.join(boxes)}: exit code {code}, {time.monotonic() - started:.1f} s")
    return code


def harvest_summary(inst, box_names: list[str], keep: bool) -> list[tuple[dict, bytes]]:
    """Prints what the spool folders hold and takes the articles out of them
    (as CrossPoint does) unless `keep` is set."""
    articles = []
    for name in box_names:
        box = inst.boxes[name]
        files = spool_files(box.spool_dir)
        count = 0
        for path in files:
            for raw in parse_rnews(path.read_bytes()):
                headers, body = parse_article(raw)
                articles.append((dict(headers), body))
                count += 1
            if not keep:
                path.unlink()
        say(f"  box {name}: {len(files)} spool file(s), {count} article(s)")
    return articles


def show_article(headers: dict, body: bytes) -> None:
    for key in ("From", "Newsgroups", "Message-ID", "References", "Subject", "Date"):
        if key not in headers:
            continue
        value = headers[key]
        ids = value.split()
        if key == "References" and len(ids) > 2:
            value = f"{ids[0]} ... {ids[-1]} ({len(ids)} IDs)"
        say(f"    {key}: {value}")
    for line in body.decode("latin-1").splitlines()[:12]:
        say(f"    | {line}")


def outgoing(path: Path, lines: list[str]) -> Path:
    path.write_bytes(("\r\n".join(lines) + "\r\n").encode("latin-1"))
    return path


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--keep", action="store_true", help="keep the installation directory")
    parser.add_argument("--https", action="store_true",
                        help="serve the forums over HTTPS with a test CA the boxes trust")
    args = parser.parse_args()

    https = test_certificates() if args.https else None
    sim = ForumSim(tls=https.server("good") if https else None)
    fill_demo(sim)
    sim.start()
    root = Path(tempfile.mkdtemp(prefix="quorix-demo-"))
    try:
        say(f"Forum simulator: {sim.url}")
        say(f"Stand-in XP2 installation: {root}")
        inst = create_installation(root, "xp2")
        server = "https://localhost" if https else "127.0.0.1"
        ubb = inst.add_box("DEMO", server=server, port=sim.port, engine="ubb", user="Admin",
                           password="admin", template=sim.template_text("ubb"),
                           **web_keys(sim, "ubb"))
        threads = inst.add_box("PHP", server=server, port=sim.port, engine="threads",
                               user="Admin", password="admin",
                               template=sim.template_text("threads"), **web_keys(sim, "threads"))
        for box in (ubb, threads):
            if https:
                box.keys.append(("WebCAFile", str(https.ca_file)))
                say(f"  box {box.name}: WebServer=https://localhost, WebCAFile={https.ca_file}")
        ubb.write(group_list_text(UBB_GROUPS))
        threads.write(group_list_text(THREADS_GROUPS))
        boxes = [ubb.file_name, threads.file_name]

        checks = Expectations()
        say("\n== Run 1: harvest both boxes")
        checks.exit_code(run_gateway(inst, boxes))
        delivered = harvest_summary(inst, ["DEMO", "PHP"], keep=False)
        for name, forums in (("DEMO", [g[2] for g in UBB_GROUPS]),
                             ("PHP", [g[2] for g in THREADS_GROUPS])):
            groups = {g[0] for g in (UBB_GROUPS if name == "DEMO" else THREADS_GROUPS)}
            got = sum(1 for h, _ in delivered if h.get("Newsgroups") in groups)
            want = forum_posts(sim, forums)
            checks.expect(got == want, f"box {name} delivered {got} article(s), "
                                       f"its forums hold {want} post(s)")
        checks.distinct_ids(delivered, "run 1")
        checks.settle("run 1")
        if delivered:
            say("  first article:")
            show_article(*delivered[0])
        ubb_articles = [a for a in delivered if a[0]["Newsgroups"] == "demo.general"]

        say("\n== CrossPoint's user writes four articles for the UBB box")
        # A reply to and an edit of the long topic's first two posts; the delete
        # takes an answer in another topic, so that each topic's reply count
        # (the mark that makes the next run fetch it again) changes.
        first, second = (a[0] for a in ubb_articles[:2])
        topic_of = lambda headers: headers["Message-ID"].split("@")[1].split(".")[1]  # noqa: E731
        third = next(h for h, _ in ubb_articles
                     if "References" in h and topic_of(h) != topic_of(first))
        spool = ubb.spool_dir
        files = [
            outgoing(spool / "n0001.OUT", ["Newsgroups: demo.general", "Subject: Hello from CrossPoint",
                                           "X-Newsreader: CrossPoint XP2", "",
                                           "A new topic, written offline."]),
            outgoing(spool / "n0002.OUT", ["Newsgroups: demo.general", "Subject: Re: " + first["Subject"],
                                           "References: " + first["Message-ID"],
                                           "X-Newsreader: CrossPoint XP2", "",
                                           "> quoted line", "A reply, written offline.", "-- ",
                                           "Admin"]),
            outgoing(spool / "n0003.OUT", ["Newsgroups: demo.general", "Subject: " + second["Subject"],
                                           "Supersedes: " + second["Message-ID"], "",
                                           "This post was edited from CrossPoint."]),
            # A cancel names its topic through References, as CrossPoint writes it.
            outgoing(spool / "n0004.OUT", ["Newsgroups: demo.general", "Subject: cancel",
                                           "References: " + third["Message-ID"],
                                           "Control: cancel " + third["Message-ID"], "",
                                           "cancelled"]),
        ]
        for path, kind in zip(files, ("new topic", "reply", "edit", "delete")):
            say(f"  {path.name}: {kind}")

        say("\n== Run 2: harvest (nothing changed) and post the outgoing articles")
        sim.clear_requests()
        checks.exit_code(run_gateway(inst, boxes))
        for request in sim.requests:
            if request.method == "POST":
                say(f"  POST {request.path}  ({len(request.body)} bytes of form)")
        left = [p.name for p in files if p.exists()]
        say(f"  outgoing files left in the spool: {', '.join(left) or 'none'}")
        posted = 0
        for message in log_messages(inst.path("LOG\\QUORIX.LOG")):
            if "Article posted" in message or "Article not posted" in message:
                say(f"  log: {message}")
                posted += "Article posted" in message
        checks.expect(not left, f"outgoing file(s) {', '.join(left)} still in the spool")
        checks.expect(posted == len(files), f"{posted} \"Article posted\" log line(s), "
                                            f"expected {len(files)}")
        checks.distinct_ids(harvest_summary(inst, ["DEMO", "PHP"], keep=False), "run 2")
        checks.settle("run 2")

        say("\n== Run 3: the new and changed posts arrive as articles")
        checks.exit_code(run_gateway(inst, boxes))
        arrived = harvest_summary(inst, ["DEMO", "PHP"], keep=False)
        for headers, body in arrived:
            show_article(headers, body)
            say()
        bodies = [body.decode("latin-1") for _, body in arrived]
        for text in ("A new topic, written offline.", "A reply, written offline.",
                     "This post was edited from CrossPoint."):
            checks.expect(any(text in body for body in bodies),
                          f"no article of run 3 holds {text!r}")
        checks.expect(len(arrived) == 3, f"run 3 delivered {len(arrived)} article(s), "
                                         "expected 3 (new topic, reply, edit)")
        checks.distinct_ids(arrived, "run 3")
        checks.settle("run 3")
        say("Logs: " + str(inst.path("LOG\\")) + ("" if args.keep else " (deleted; rerun with --keep)"))
        say("Demo passed: every check of the three runs held.")
        return 0
    except DemoFailed as failure:
        say(f"\nDEMO FAILED after {failure}")
        say("Logs: " + str(inst.path("LOG\\")) + ("" if args.keep else " (deleted; rerun with --keep)"))
        return 1
    finally:
        sim.stop()
        if not args.keep:
            import shutil
            shutil.rmtree(root, ignore_errors=True)


def web_keys(sim, engine: str) -> dict:
    """The box keys that point a box at the simulator's pages of `engine`."""
    settings = ForumSim.web_settings(engine)
    return {"web": settings} if settings else {}


if __name__ == "__main__":
    sys.exit(main())
