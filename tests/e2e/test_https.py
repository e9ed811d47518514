"""HTTPS boxes end to end: "WebServer=https://localhost" against the
simulator serving TLS with a certificate of the test CA, which the box
trusts through "WebCAFile=". Harvest and posting with both engines; wrong
host name, expired and untrusted certificates refused with their log lines;
a handshake that never ends times out; a digit on the status screen cuts a
connection in the middle of its handshake."""

from __future__ import annotations

import socket
import threading
import time
import unittest

from e2e.certificates import test_certificates
from e2e.installation import group_list_text, runs_under_wine
from e2e.runner import log_messages, parse_article, parse_rnews, spool_files
from e2e.support import E2ECase, error, problem, progress
from e2e.test_status_screen import TMUX, Terminal, wait_until
from forumsim import templates
from forumsim.forumsim import ForumSim

GROUPS = {"ubb": [("de.test.forum", "General+Talk", 3, 30)],
          "threads": [("de.test.php", "PHP+Corner", 7, 0)]}
HTTPS_AGENT = "Korvendale 3.50 (https://quorix.invalid/)"


class HttpsCase(E2ECase):
    def https_simulator(self, kind: str = "good") -> ForumSim:
        sim = ForumSim(tls=test_certificates().server(kind)).start()
        self.addCleanup(sim.stop)
        sim.add_forum("ubb", 3, "General Talk")
        sim.add_topic(3, "Hello", "Bob", "first post")
        sim.add_forum("threads", 7, "PHP Corner")
        sim.add_topic(7, "Loops", "Frank", "how?")
        return sim

    def https_box(self, inst, port: int, engine: str = "ubb", server: str = "https://localhost",
                  ca_file=True, **options):
        box = inst.add_box("MYBOX", server=server, port=port, engine=engine,
                           template=templates.template_text(engine, templates.DEFAULT_TEXTS),
                           web=ForumSim.web_settings(engine), **options)
        if ca_file:
            box.keys.append(("WebCAFile", str(test_certificates().ca_file)))
        return box.write(group_list_text(GROUPS[engine]))

    def articles(self, box) -> list:
        return [parse_article(a) for path in spool_files(box.spool_dir)
                for a in parse_rnews(path.read_bytes())]


class HttpsHarvestAndPosting(HttpsCase):
    def test_harvest_and_posting_over_https_with_both_engines(self):
        sim = self.https_simulator()
        for engine, newsgroup in (("ubb", "de.test.forum"), ("threads", "de.test.php")):
            with self.subTest(engine=engine):
                sim.clear_requests()
                inst = self.installation("xp2", name=engine)
                box = self.https_box(inst, sim.port, engine)
                outgoing = box.spool_dir / "n0001.OUT"
                outgoing.write_bytes(b"Newsgroups: " + newsgroup.encode() +
                                     b"\r\nSubject: Over TLS\r\n\r\nsent over https\r\n")
                result = self.run_quorix(inst, ["MYBOX.BFG"])
                lines = log_messages(self.log_path(inst))
                self.assertEqual(result.returncode, 0, "\n".join(lines))

                articles = self.articles(box)
                self.assertTrue(articles, "\n".join(lines))
                for headers, _ in articles:
                    page = dict(headers)["X-Htmlpage"]
                    self.assertTrue(page.startswith("https://localhost/"), page)
                posts = [r for r in sim.requests if r.method == "POST"]
                self.assertEqual(len(posts), 1, [r.path for r in sim.requests])
                self.assertIn(b"sent+over+https", posts[0].body)
                self.assertFalse(outgoing.exists(), "the confirmed article leaves the spool")
                self.assertIn(progress("Article posted", "#2"), lines)
                for request in sim.requests:
                    # The harvest's kept HTTP/1.1 connections name the port
                    # in Host; a form goes over HTTP/1.0 as before.
                    host = "localhost" if request.method == "POST" else f"localhost:{sim.port}"
                    self.assertEqual(request.header("Host"), host)
                    self.assertEqual(request.header("Referer"), "localhost")
                    self.assertEqual(request.header("User-Agent"), HTTPS_AGENT)

    def test_http_scheme_and_bare_host_send_the_same_requests(self):
        sim = self.simulator()
        seen = []
        for name, server in (("bare", "127.0.0.1"), ("scheme", "http://127.0.0.1")):
            sim.clear_requests()
            inst = self.installation("xp2", name=name)
            box = inst.add_box("MYBOX", server=server, port=sim.port,
                               template=sim.template_text("ubb"),
                               web=sim.web_settings("ubb"), posting="N")
            box.write(group_list_text(GROUPS["ubb"]))
            result = self.run_quorix(inst, ["MYBOX.BFG"])
            self.assertEqual(result.returncode, 0, result.console)
            seen.append([r.head for r in sim.requests])
            headers = dict(self.articles(box)[0][0])
            self.assertTrue(headers["X-Htmlpage"].startswith("http://127.0.0.1/"))
        self.assertEqual(seen[0], seen[1])
        self.assertIn(b"User-Agent: Korvendale 3.50 (http://quorix.invalid/)\r\n", seen[0][0])


class HttpsRefusals(HttpsCase):
    def test_bad_certificates_are_refused_with_their_reason(self):
        cases = {
            "wrong_name": "hostname mismatch",
            "expired": "certificate has expired",
            "untrusted": "self-signed certificate in certificate chain",
        }
        for kind, reason in cases.items():
            with self.subTest(kind=kind):
                sim = self.https_simulator(kind)
                inst = self.installation("xp2", name=kind)
                self.https_box(inst, sim.port, posting="N")
                result = self.run_quorix(inst, ["MYBOX.BFG"])
                lines = log_messages(self.log_path(inst))
                self.assertEqual(result.returncode, 1, "\n".join(lines))
                self.assertIn(error(f"Certificate of WebBBS Server localhost refused: {reason}",
                                    "#1"), lines)
                self.assertEqual(sim.requests, [], "no request goes to a refused server")

    def test_without_the_ca_file_the_test_ca_is_not_trusted(self):
        sim = self.https_simulator()
        inst = self.installation("openxp")
        self.https_box(inst, sim.port, ca_file=False, posting="N")
        result = self.run_quorix(inst, ["MYBOX.BFG"])
        lines = log_messages(self.log_path(inst))
        self.assertEqual(result.returncode, 1, "\n".join(lines))
        self.assertIn(error("Certificate of WebBBS Server localhost refused: "
                            "self-signed certificate in certificate chain", "#1"), lines)

    def test_a_stalled_handshake_times_out(self):
        listener = SilentListener()
        self.addCleanup(listener.close)
        inst = self.installation("xp2")
        self.https_box(inst, listener.port, timeout=2, posting="N")
        result = self.run_quorix(inst, ["MYBOX.BFG"], timeout=60)
        lines = log_messages(self.log_path(inst))
        self.assertEqual(result.returncode, 1, "\n".join(lines))
        self.assertIn(error("TLS with WebBBS Server localhost failed: timed out", "#1"), lines)
        self.assertLess(result.seconds, 30)


class SilentListener:
    """Accepts connections on 127.0.0.1 and never sends a byte."""

    def __init__(self):
        self.sock = socket.create_server(("127.0.0.1", 0))
        self.port = self.sock.getsockname()[1]
        self.accepted = []
        self.thread = threading.Thread(target=self._accept, daemon=True)
        self.thread.start()

    def _accept(self):
        while True:
            try:
                connection, _ = self.sock.accept()
            except OSError:
                return
            self.accepted.append(connection)

    def close(self):
        self.sock.close()
        for connection in self.accepted:
            connection.close()
        self.thread.join(10)


@unittest.skipIf(TMUX is None, "tmux is not installed: the terminal tests need it")
@unittest.skipIf(runs_under_wine(),
                 "wine's console on a terminal passes no keys to the program; the cut of a "
                 "Windows handshake is tested by the platform's unit tests")
class HttpsKill(HttpsCase):
    def test_a_digit_cuts_a_connection_in_its_handshake(self):
        listener = SilentListener()
        self.addCleanup(listener.close)
        inst = self.installation("xp2")
        self.https_box(inst, listener.port, timeout=600, posting="N")
        term = Terminal(inst.root, 25, 80)
        self.addCleanup(term.close)
        term.type("./quorix MYBOX.BFG; echo RUN-ENDED")
        term.key("Enter")
        wait_until(lambda: listener.accepted, "the connection to the silent server")
        time.sleep(0.2)  # let the client hello go out: the cut hits a waiting handshake
        started = time.monotonic()
        term.type("1")
        term.wait_for(lambda s: any("RUN-ENDED" in line for line in s), "the end of the run",
                      timeout=30)
        self.assertLess(time.monotonic() - started, 15, "the handshake waits 600 s if not cut")
        lines = log_messages(self.log_path(inst))
        self.assertIn(problem("WebBBS-Connection  1 killed by User", "#0"), lines)
        self.assertFalse([l for l in lines if "TLS with" in l], "a cut is no TLS failure")


if __name__ == "__main__":
    unittest.main()
