"""Kept HTTP/1.1 connections end to end: an https box keeps them by default,
a plain box only with "WebKeepAlive=Y"; the simulator answers chunked and
with gzip, drops connections at its request limit and between requests, and
cuts an answer after its headers or garbles its chunks. Every article comes
exactly as over fresh HTTP/1.0 connections; an answer that is not whole is
named at level 2 and its topic read on the next run."""

from __future__ import annotations

import re
import unittest
from datetime import datetime

from e2e.certificates import test_certificates
from e2e.installation import group_list_text
from e2e.runner import log_messages, parse_article, parse_rnews, read_log, spool_files
from e2e.support import E2ECase, problem
from forumsim import templates
from forumsim.forumsim import ForumSim

UBB_FORUM = ("de.test.forum", "General+Talk", 3, 30)
TOPIC_2 = "/support/forums/Forum3/HTML/000002.html"
FIXED_TIME = datetime(2026, 3, 5, 14, 3, 59)


class KeptCase(E2ECase):
    def forum(self, tls=False, topics=3, clock=None) -> ForumSim:
        sim = ForumSim(posts_per_page=2, clock=clock,
                       tls=test_certificates().server("good") if tls else None).start()
        self.addCleanup(sim.stop)
        sim.add_forum("ubb", 3, "General Talk")
        for number in range(1, topics + 1):
            topic = sim.add_topic(3, f"Topic {number}", "Bob", f"first post of {number}")
            for reply in range(3):  # two pages each
                sim.add_post(3, topic.id, "Alice", f"reply {reply} to {number}")
        return sim

    def box(self, sim, name, tls=False, keep_alive=None, connections=None):
        inst = self.installation("xp2", name=name)
        box = inst.add_box("MYBOX", server="https://localhost" if tls else "127.0.0.1",
                           port=sim.port, template=templates.template_text(
                               "ubb", templates.DEFAULT_TEXTS),
                           web=ForumSim.web_settings("ubb"), posting="N")
        if tls:
            box.keys.append(("WebCAFile", str(test_certificates().ca_file)))
        if keep_alive is not None:
            box.keys.append(("WebKeepAlive", keep_alive))
        if connections is not None:
            box.keys.append(("WebConnections", connections))
        box.write(group_list_text([UBB_FORUM]))
        return inst, box

    def harvest(self, sim, inst, box):
        """Runs the box; (its requests, its articles, its slot's log lines)."""
        sim.clear_requests()
        result = self.run_quorix(inst, ["MYBOX.BFG"])
        lines = log_messages(self.log_path(inst), "#1")
        self.assertEqual(result.returncode, 0, "\n".join(lines))
        articles = [parse_article(a) for path in spool_files(box.spool_dir)
                    for a in parse_rnews(path.read_bytes())]
        return list(sim.requests), articles, lines

    @staticmethod
    def bodies(articles):
        return sorted(body for _, body in articles)


class KeptConnections(KeptCase):
    def test_https_box_keeps_one_connection_and_reads_gzip_chunks(self):
        sim = self.forum(tls=True)
        requests, articles, lines = self.harvest(
            sim, *self.box(sim, "kept", tls=True, connections="1"))
        self.assertEqual(len(requests), 7, [r.path for r in requests])  # list + 3 x 2 pages
        self.assertEqual({r.connection for r in requests}, {requests[0].connection})
        for request in requests:
            self.assertEqual(request.version, "HTTP/1.1")
            self.assertEqual(request.header("Accept-Encoding"), "gzip")
            self.assertIsNone(request.header("Connection"))
            self.assertEqual(request.header("Host"), f"localhost:{sim.port}")
        self.assertEqual(len(articles), 12)
        self.assertFalse([l for l in lines if l.startswith("?")], lines)

        # The same articles as over fresh HTTP/1.0 connections.
        fresh_requests, fresh_articles, _ = self.harvest(
            sim, *self.box(sim, "fresh", tls=True, keep_alive="N"))
        self.assertEqual({r.version for r in fresh_requests}, {"HTTP/1.0"})
        self.assertEqual(len({r.connection for r in fresh_requests}), 7)
        self.assertEqual(self.bodies(articles), self.bodies(fresh_articles))

    def test_plain_box_keeps_connections_only_when_asked(self):
        sim = self.forum()
        plain, plain_articles, _ = self.harvest(sim, *self.box(sim, "plain"))
        self.assertEqual({r.version for r in plain}, {"HTTP/1.0"})
        self.assertTrue(plain[0].head.startswith(b"GET /support/forums/forumdisplay.cgi?"))
        self.assertNotIn(b"Accept-Encoding", plain[0].head)
        kept, kept_articles, _ = self.harvest(
            sim, *self.box(sim, "kept", keep_alive="Y", connections="1"))
        self.assertEqual({r.version for r in kept}, {"HTTP/1.1"})
        self.assertEqual(len({r.connection for r in kept}), 1)
        self.assertEqual(self.bodies(plain_articles), self.bodies(kept_articles))

    def test_request_limit_and_closes_between_requests_lose_nothing(self):
        for case in ("limit", "close_between", "no_gzip_no_chunks"):
            with self.subTest(case=case):
                sim = self.forum()
                if case == "limit":
                    sim.kept.limit = 2
                elif case == "close_between":
                    sim.misbehave("close_between", "/HTML/", times=3)
                else:
                    sim.kept.gzip = False
                    sim.kept.chunked = False
                requests, articles, lines = self.harvest(
                    sim, *self.box(sim, case, keep_alive="Y", connections="1"))
                self.assertEqual(len(articles), 12, "\n".join(lines))
                self.assertFalse([l for l in lines if l.startswith("?")], lines)
                paths = [r.path for r in requests]
                self.assertEqual(len(paths), len(set(paths)), paths)  # each asked once
                if case == "limit":
                    self.assertEqual(len({r.connection for r in requests}), 4)
                if case == "close_between":
                    self.assertEqual(len({r.connection for r in requests}), 4)

    def test_bad_answers_on_kept_connections_leave_the_topic_for_the_next_run(self):
        bad_chunks = ("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                      "zz\r\n<html></html>\r\n0\r\n\r\n")
        # (parameters, how often it happens, the reason logged); a connection
        # closed without an answer is tried once more on a fresh one.
        cases = {
            "headers_only": ({}, 1, "answer cut short"),
            "raw": ({"data": bad_chunks}, 1, "chunk size not hex"),
            "fail": ({}, 2, "closed without answering"),
        }
        for mode, (params, times, reason) in cases.items():
            with self.subTest(mode=mode):
                sim = self.forum()
                sim.misbehave(mode, TOPIC_2, match="exact", times=times, **params)
                inst, box = self.box(sim, mode, keep_alive="Y", connections="1")
                requests, articles, lines = self.harvest(sim, inst, box)
                self.assertIn(problem(f"Answer of 127.0.0.1 to {TOPIC_2} not taken ({reason})",
                                      "#1"), lines)
                self.assertEqual(len(articles), 8, "\n".join(lines))
                # The fault is over: the next run reads topic 2 alone.
                requests, articles, lines = self.harvest(sim, inst, box)
                self.assertEqual([r.path for r in requests][1:],
                                 [TOPIC_2, TOPIC_2.replace(".html", "-2.html")])
                self.assertEqual(len(articles), 12, "\n".join(lines))


# The run's closing transfer line ("N Bytes / M cps", or "No Cps-Info
# available" for a run too short to rate) is a rate over the run's elapsed
# seconds: a statistic of the run's timing, like the lines' times.
TRANSFER_SUMMARY = re.compile(r"(?<=: )(\d+ Bytes / *\d+ cps|No Cps-Info available)$")


def installation_files(inst) -> dict:
    """What a run left in an installation: every file's bytes (the box file,
    the program's link and its directory aside), each log as untimed lines
    with its transfer line masked."""
    files = {}
    for path in sorted(inst.root.rglob("*")):
        if not path.is_file() or path.is_symlink() or path.suffix.upper() == ".BFG":
            continue
        name = str(path.relative_to(inst.root))
        if path.suffix.upper() == ".LOG":
            files[name] = [TRANSFER_SUMMARY.sub("<transfer summary>", line.untimed)
                           for line in read_log(path)]
        else:
            files[name] = path.read_bytes()
    return files


class ParallelDelivery(KeptCase):
    """Topics fetched over several connections at once come out as over one:
    every file and every log line but its time."""

    def harvest_twice(self, sim, tls, name, connections, keep_alive=None):
        inst, box = self.box(sim, name, tls=tls, keep_alive=keep_alive, connections=connections)
        runs = []
        for turn in range(2):
            if turn == 1:  # the forum moves on between the runs
                sim.add_post(3, 2, "Carol", "a late reply")
                sim.add_topic(3, "Topic late", "Dave", "a late topic")
            runs.append(self.harvest(sim, inst, box)[0])
        return inst, runs

    def test_four_connections_deliver_as_one(self):
        for tls in (True, False):
            with self.subTest(tls=tls):
                outcome = {}
                for connections in ("1", "4"):
                    sim = self.forum(tls=tls, topics=12, clock=lambda: FIXED_TIME)
                    # A page that fails; read on the second run.
                    sim.misbehave("headers_only", "/000005.html", times=1)
                    inst, runs = self.harvest_twice(
                        sim, tls, f"c{connections}{tls}", connections,
                        keep_alive=None if tls else "Y")
                    outcome[connections] = (installation_files(inst), runs)
                one, one_runs = outcome["1"]
                four, four_runs = outcome["4"]
                self.assertEqual(sorted(one), sorted(four))
                for name in one:
                    self.assertEqual(one[name], four[name], name)
                for single, several in zip(one_runs, four_runs):
                    # The same pages asked for, each once, over at most four.
                    self.assertEqual(sorted(r.path for r in single),
                                     sorted(r.path for r in several))
                    self.assertLessEqual(len({r.connection for r in several}), 4 + 1)
                self.assertGreater(len([n for n in one if "SPOOL" in n.upper()]), 1)


if __name__ == "__main__":
    unittest.main()
