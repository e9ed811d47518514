"""Boxes behind proxies, end to end, against real proxies started on loopback:
tinyproxy (HTTP: absolute-form requests for plain boxes, CONNECT for https
boxes) and microsocks (SOCKS5, the forum's name resolved by the proxy).
Harvest and posting through each, for plain and https boxes; logins (Basic,
SOCKS5 user/password); the proxy from the environment as curl reads it; and
each kind of refusal as an error line that names the proxy."""

from __future__ import annotations

import shutil
import socket
import subprocess
import time
import unittest

from e2e.certificates import test_certificates
from e2e.installation import group_list_text
from e2e.runner import log_messages, parse_article, parse_rnews, spool_files, stop_process
from e2e.support import E2ECase, error, progress
from forumsim import templates
from forumsim.forumsim import ForumSim

GROUPS = {"ubb": [("de.test.forum", "General+Talk", 3, 30)]}
START_SECONDS = 20


def free_port() -> int:
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def closed_port() -> int:
    """A loopback port nobody listens on (bound once, then released)."""
    return free_port()


class ProxyProcess:
    """A proxy program listening on 127.0.0.1:port, its output in a file."""

    def __init__(self, argv, port: int, output_path):
        self.port = port
        self.output_path = output_path
        self.output = open(output_path, "wb")
        self.proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=self.output,
                                     stderr=subprocess.STDOUT, start_new_session=True)
        deadline = time.monotonic() + START_SECONDS
        while True:
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                return
            except OSError:
                if self.proc.poll() is not None or time.monotonic() > deadline:
                    self.stop()
                    raise AssertionError(f"{argv[0]} did not start: " + self.log())
                time.sleep(0.05)

    def log(self) -> str:
        if not self.output.closed:
            self.output.flush()
        return self.output_path.read_bytes().decode("latin-1")

    def stop(self):
        stop_process(self.proc)
        self.output.close()


class ProxyCase(E2ECase):
    def setUp(self):
        super().setUp()
        for program in ("tinyproxy", "microsocks"):
            if shutil.which(program) is None:
                self.fail(f"{program} is missing: scripts/install-packages installs it")

    def tinyproxy(self, login: tuple[str, str] | None = None) -> ProxyProcess:
        port = free_port()
        config = self.tmp / f"tinyproxy-{port}.conf"
        lines = [f"Port {port}", "Listen 127.0.0.1", "Allow 127.0.0.1", "Timeout 30",
                 "LogLevel Info", "MaxClients 20"]
        if login:
            lines.append(f"BasicAuth {login[0]} {login[1]}")
        config.write_text("\n".join(lines) + "\n")
        proxy = ProxyProcess(["tinyproxy", "-d", "-c", str(config)], port,
                             self.tmp / f"tinyproxy-{port}.log")
        self.addCleanup(proxy.stop)
        return proxy

    def microsocks(self, login: tuple[str, str] | None = None) -> ProxyProcess:
        port = free_port()
        argv = ["microsocks", "-i", "127.0.0.1", "-p", str(port)]
        if login:
            argv += ["-u", login[0], "-P", login[1]]
        proxy = ProxyProcess(argv, port, self.tmp / f"microsocks-{port}.log")
        self.addCleanup(proxy.stop)
        return proxy

    def forum(self, tls: bool) -> ForumSim:
        options = {"tls": test_certificates().server("good")} if tls else {}
        sim = ForumSim(**options).start()
        self.addCleanup(sim.stop)
        sim.add_forum("ubb", 3, "General Talk")
        sim.add_topic(3, "Hello", "Bob", "first post")
        return sim

    def box(self, inst, sim: ForumSim, tls: bool, proxy_keys=(), server=None, port=None):
        server = server or ("https://localhost" if tls else "localhost")
        box = inst.add_box("MYBOX", server=server, port=port or sim.port, engine="ubb",
                           template=templates.template_text("ubb", templates.DEFAULT_TEXTS),
                           web=ForumSim.web_settings("ubb"))
        if tls:
            box.keys.append(("WebCAFile", str(test_certificates().ca_file)))
        box.keys.extend(proxy_keys)
        return box.write(group_list_text(GROUPS["ubb"]))

    def articles(self, box) -> list:
        return [parse_article(a) for path in spool_files(box.spool_dir)
                for a in parse_rnews(path.read_bytes())]


class HarvestAndPostingThroughProxies(ProxyCase):
    def check_run(self, proxy: ProxyProcess, kind: str, tls: bool, login=None, env=None):
        sim = self.forum(tls)
        inst = self.installation("xp2", name=f"{kind}-{'tls' if tls else 'plain'}-{proxy.port}")
        keys = [] if env else [("WebProxy", f"{kind}://127.0.0.1:{proxy.port}")]
        if login:
            keys += [("WebProxyUser", login[0]), ("WebProxyPass", login[1])]
        box = self.box(inst, sim, tls, keys)
        outgoing = box.spool_dir / "n0001.OUT"
        outgoing.write_bytes(b"Newsgroups: de.test.forum\r\nSubject: Through a proxy\r\n\r\n"
                             b"sent through the proxy\r\n")

        result = self.run_quorix(inst, ["MYBOX.BFG"], env=env)

        lines = log_messages(self.log_path(inst))
        self.assertEqual(result.returncode, 0, "\n".join(lines) + proxy.log())
        articles = self.articles(box)
        self.assertTrue(articles, "\n".join(lines))
        self.assertIn("Hello", [dict(h)["Subject"] for h, _ in articles])
        posts = [r for r in sim.requests if r.method == "POST"]
        self.assertEqual(len(posts), 1, [r.path for r in sim.requests])
        self.assertIn(b"sent+through+the+proxy", posts[0].body)
        self.assertFalse(outgoing.exists(), "the confirmed article leaves the spool")
        self.assertIn(progress("Article posted", "#2"), lines)
        for request in sim.requests:
            # The forum sees its own name, never the proxy's (an HTTP proxy
            # writes the port of the absolute target into it).
            self.assertIn(request.header("Host"), ("localhost", f"localhost:{sim.port}"))
        return sim, lines

    def test_http_proxy_plain_and_https_boxes(self):
        proxy = self.tinyproxy()
        for tls in (False, True):
            with self.subTest(tls=tls):
                sim, _ = self.check_run(proxy, "http", tls)
                log = proxy.log()
                if tls:
                    # A tunnel: the TLS and its certificate check stay end to end.
                    self.assertIn(f"CONNECT localhost:{sim.port} HTTP/1.0", log)
                else:
                    self.assertIn(f"GET http://localhost:{sim.port}/", log)
                    self.assertIn(f"POST http://localhost:{sim.port}/", log)
                    self.assertTrue(all(r.header("Via") for r in sim.requests),
                                    "every plain request went through the proxy")

    def test_socks5_proxy_plain_and_https_boxes(self):
        proxy = self.microsocks()
        for tls in (False, True):
            with self.subTest(tls=tls):
                sim, _ = self.check_run(proxy, "socks5", tls)
                # The proxy resolved the name: it logs the name it was given.
                self.assertIn(f"connected to localhost:{sim.port}", proxy.log())

    def test_logins_basic_and_socks5(self):
        login = ("gateway", "s3cret-pw")
        http = self.tinyproxy(login=login)
        socks = self.microsocks(login=login)
        for proxy, kind in ((http, "http"), (socks, "socks5")):
            for tls in (False, True):
                with self.subTest(kind=kind, tls=tls):
                    self.check_run(proxy, kind, tls, login=login)

    def test_proxy_from_the_environment_and_no_proxy(self):
        proxy = self.tinyproxy()
        env = {"http_proxy": f"http://127.0.0.1:{proxy.port}",
               "https_proxy": f"127.0.0.1:{proxy.port}"}
        for tls in (False, True):
            with self.subTest(tls=tls):
                self.check_run(proxy, "http", tls, env=env)
        # no_proxy exempts the forum: a direct connection, the proxy sees nothing.
        before = proxy.log()
        sim = self.forum(False)
        inst = self.installation("xp2", name="no-proxy")
        box = self.box(inst, sim, False)
        result = self.run_quorix(inst, ["MYBOX.BFG"],
                                 env={**env, "no_proxy": "example.org,localhost"})
        self.assertEqual(result.returncode, 0, result.console)
        self.assertTrue(self.articles(box))
        self.assertFalse(any(r.header("Via") for r in sim.requests))
        self.assertEqual(proxy.log().count("GET http://"), before.count("GET http://"))


class ProxyRefusals(ProxyCase):
    def refused(self, proxy_keys, tls: bool, forum_port=None, kind_name="refused"):
        sim = self.forum(tls)
        inst = self.installation("xp2", name=kind_name)
        box = self.box(inst, sim, tls, proxy_keys, port=forum_port)
        outgoing = box.spool_dir / "n0001.OUT"
        content = b"Newsgroups: de.test.forum\r\nSubject: Kept\r\n\r\nkept\r\n"
        outgoing.write_bytes(content)
        result = self.run_quorix(inst, ["MYBOX.BFG"])
        lines = log_messages(self.log_path(inst))
        self.assertEqual(result.returncode, 1, "\n".join(lines))
        self.assertEqual(sim.requests, [], "the forum was never reached")
        self.assertEqual(outgoing.read_bytes(), content, "the article stays")
        self.assertEqual(self.articles(box), [])
        return lines, sim

    def test_http_proxy_wants_a_login(self):
        proxy = self.tinyproxy(login=("gateway", "pw"))
        name = f"http://127.0.0.1:{proxy.port}"
        for tls in (False, True):
            with self.subTest(tls=tls):
                lines, sim = self.refused([("WebProxy", name)], tls, kind_name=f"407-{tls}")
                self.assertIn(error(f"Proxy {name} refused localhost:{sim.port}: "
                                    "407 Proxy Authentication Required", "#1"), lines)

    def test_socks5_refusals(self):
        proxy = self.microsocks(login=("gateway", "pw"))
        name = f"socks5://127.0.0.1:{proxy.port}"
        cases = {
            "no login": ([], "the proxy requires a user name and password"),
            "wrong password": ([("WebProxyUser", "gateway"), ("WebProxyPass", "bad")],
                               "user name or password refused"),
        }
        for case, (login, reason) in cases.items():
            with self.subTest(case=case):
                lines, sim = self.refused([("WebProxy", name)] + login, False,
                                          kind_name=case.replace(" ", "-"))
                self.assertIn(error(f"Proxy {name} refused localhost:{sim.port}: {reason}",
                                    "#1"), lines)
        # The proxy cannot reach the forum: its error code, named.
        open_proxy = self.microsocks()
        name = f"socks5://127.0.0.1:{open_proxy.port}"
        port = closed_port()
        lines, _ = self.refused([("WebProxy", name)], True, forum_port=port, kind_name="code")
        self.assertIn(error(f"Proxy {name} refused localhost:{port}: "
                            "SOCKS5 error 5: connection refused", "#1"), lines)

    def test_a_proxy_that_is_down(self):
        port = closed_port()
        for kind in ("http", "socks5"):
            with self.subTest(kind=kind):
                name = f"{kind}://127.0.0.1:{port}"
                lines, _ = self.refused([("WebProxy", name)], False, kind_name=f"down-{kind}")
                self.assertIn(error(f"Proxy {name} not reachable", "#1"), lines)
                self.assertNotIn("WebBBS Server", "\n".join(lines))


if __name__ == "__main__":
    unittest.main()
