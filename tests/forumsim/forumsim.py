#!/usr/bin/env python3
"""Forum simulator: a real HTTP server on 127.0.0.1 that serves forums of
both engines (UBB and UBBThreads) from an in-memory model, accepts their
posting forms, records every request and misbehaves on demand.

Importable (tests put the "tests" directory on sys.path):

    from forumsim.forumsim import ForumSim
    with ForumSim() as sim:
        sim.add_forum("ubb", 3, "General Talk")
        sim.add_topic(3, "Hello", "Bob", "First post")
        ... run the gateway against 127.0.0.1:sim.port ...
        sim.requests  # every request received

Standalone:  python3 tests/forumsim/forumsim.py --port P --demo
prints "http://127.0.0.1:P/" and serves until interrupted; with --tls-cert C
--tls-key K it serves HTTPS and prints "https://127.0.0.1:P/". Other processes
drive it through POST /__control with a JSON object (see `control`).
"""

from __future__ import annotations

import argparse
import json
import os
import signal
import sys
import threading
import time
from datetime import datetime

if __name__ == "__main__" and not __package__:
    sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

from forumsim import templates  # noqa: E402
from forumsim.faults import FaultPlan  # noqa: E402
from forumsim.forms import FormHandler  # noqa: E402
from forumsim.model import ForumModel, ModelError  # noqa: E402
from forumsim.routes import Router  # noqa: E402
from forumsim.server import KeptAnswers, SimServer, control_reply, tls_context  # noqa: E402


def _now() -> datetime:
    return datetime.now().replace(second=0, microsecond=0)


class ForumSim:
    def __init__(self, port: int = 0, *, users: dict | None = None,
                 admins=("Admin",), clock=None, posts_per_page: int = 10,
                 texts: dict | None = None, tls: tuple | None = None):
        self.requested_port = port
        self.tls = tls  # (certificate chain file, key file): serve HTTPS
        self.model = ForumModel()
        self.users = dict(users if users is not None else
                          {"Tester": "secret", "Admin": "admin", "Bob": "bob"})
        self.admins = set(admins)
        self.clock = clock or _now
        self.posts_per_page = posts_per_page
        self.texts = dict(templates.DEFAULT_TEXTS, **(texts or {}))
        self.faults = FaultPlan()
        self.kept = KeptAnswers()  # how HTTP/1.1 requests are answered
        self.stopping = threading.Event()
        self.forms = FormHandler(self.model, self.users, self.admins,
                                 lambda: self.clock())
        self.router = Router(self)
        self._requests: list = []
        self.connections = 0  # accepted so far
        self._requests_lock = threading.Condition()
        self._server = None
        self._thread = None

    # -- life cycle -------------------------------------------------------------

    def start(self) -> "ForumSim":
        context = tls_context(*self.tls) if self.tls else None
        self._server = SimServer(("127.0.0.1", self.requested_port), self, context)
        self._thread = threading.Thread(target=self._server.serve_forever,
                                        kwargs={"poll_interval": 0.05},
                                        name="forumsim", daemon=True)
        self._thread.start()
        return self

    def stop(self) -> None:
        self.stopping.set()
        self.faults.release_stalls()
        if self._server is not None:
            self._server.shutdown()
            self._server.server_close()
            self._thread.join(timeout=10)
            self._server = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    @property
    def port(self) -> int:
        return self._server.server_address[1]

    @property
    def url(self) -> str:
        scheme = "https" if self.tls else "http"
        return f"{scheme}://127.0.0.1:{self.port}/"

    # -- requests ---------------------------------------------------------------

    def count_connection(self) -> int:
        """The number of a connection just accepted (1, 2, ...)."""
        with self._requests_lock:
            self.connections += 1
            return self.connections

    def record(self, request) -> None:
        with self._requests_lock:
            self._requests.append(request)
            self._requests_lock.notify_all()

    @property
    def requests(self) -> list:
        """A copy of every request received so far, in arrival order."""
        with self._requests_lock:
            return list(self._requests)

    def clear_requests(self) -> None:
        with self._requests_lock:
            self._requests.clear()

    def wait_for_requests(self, count: int, timeout: float = 10.0) -> list:
        """Wait until `count` requests have arrived; raise TimeoutError if not."""
        deadline = time.monotonic() + timeout
        with self._requests_lock:
            while len(self._requests) < count:
                left = deadline - time.monotonic()
                if left <= 0:
                    raise TimeoutError(f"{len(self._requests)} of {count} requests arrived")
                self._requests_lock.wait(left)
            return list(self._requests)

    # -- misbehaviour -----------------------------------------------------------

    def misbehave(self, mode: str, path: str | None = None, match: str = "contains",
                  times: int | None = None, **params) -> int:
        return self.faults.add(mode, path, match, times, **params)

    def clear_misbehaviour(self) -> None:
        self.faults.clear()

    def release_stalls(self) -> None:
        self.faults.release_stalls()

    # -- model ------------------------------------------------------------------

    def add_forum(self, engine: str, number: int, name: str, **options):
        """options: charset ("iso-8859-1" or "utf-8"), declare ("header" or "meta"),
        named_references (every non-ASCII character written as "&ouml;")."""
        return self.model.add_forum(engine, number, name, **options)

    def add_topic(self, forum: int, subject: str, author: str, body: str,
                  date: datetime | None = None, **post):
        return self.model.add_topic(forum, subject, author, body,
                                    date or self.clock(), **post)

    def add_post(self, forum: int, topic: int, author: str, body: str,
                 date: datetime | None = None, **post):
        return self.model.add_post(forum, topic, author, body,
                                   date or self.clock(), **post)

    def edit_post(self, forum: int, topic: int, **change):
        return self.model.edit_post(forum, topic, **change)

    def delete_post(self, forum: int, topic: int, **address):
        return self.model.delete_post(forum, topic, **address)

    def template_text(self, engine: str) -> str:
        return templates.template_text(engine, self.texts)

    @staticmethod
    def web_settings(engine: str) -> dict:
        return templates.web_settings(engine)

    # -- answers ----------------------------------------------------------------

    def answer(self, request) -> tuple:
        """(status, page text) for a recorded request."""
        return self.router.answer(request)

    def form_answer(self, outcome) -> tuple:
        if outcome.ok:
            text = {"post": self.texts["post_ok"], "edit": self.texts["edit_ok"],
                    "dele": self.texts["dele_ok"]}[outcome.kind]
            return 200, (f"<html><head><title>Thank you</title></head><body>\n"
                         f"<p>{text}</p>\n<p>{outcome.message}</p>\n</body></html>\n")
        return 200, (f"<html><head><title>Error</title></head><body>\n"
                     f"<p><b>Error</b>: {outcome.message}</p>\n</body></html>\n")

    def control(self, body: bytes) -> bytes:
        """Control endpoint: a JSON object with "op" and its arguments."""
        try:
            return control_reply({"ok": True, "result": self._control(json.loads(body))})
        except (ValueError, KeyError, TypeError, ModelError) as err:
            return control_reply({"ok": False, "error": f"{type(err).__name__}: {err}"})

    def _control(self, req: dict):
        op = req.pop("op")
        if "date" in req and req["date"] is not None:
            req["date"] = datetime.fromisoformat(req["date"])
        if op == "misbehave":
            return self.misbehave(req.pop("mode"), **req)
        if op == "clear":
            return self.clear_misbehaviour()
        if op == "kept":
            for key, value in req.items():
                if not hasattr(self.kept, key):
                    raise KeyError(key)
                setattr(self.kept, key, type(getattr(self.kept, key))(value))
            return None
        if op == "release":
            return self.release_stalls()
        if op == "requests":
            return [r.to_json() for r in self.requests[int(req.get("since", 0)):]]
        if op == "clear_requests":
            return self.clear_requests()
        if op == "state":
            return self.model.summary()
        if op == "users":
            self.users.clear()
            self.users.update(req["users"])
            return None
        if op == "add_forum":
            self.add_forum(req["engine"], int(req["number"]), req["name"],
                           charset=req.get("charset", "iso-8859-1"),
                           declare=req.get("declare", "header"))
            return None
        if op == "add_topic":
            return self.add_topic(**req).id
        if op == "add_post":
            return self.add_post(**req).number
        if op == "edit_post":
            return self.edit_post(**req).number
        if op == "delete_post":
            return self.delete_post(**req)
        if op == "template":
            return self.template_text(req["engine"])
        raise ValueError(f"unknown op {op!r}")


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description="Forum simulator (UBB and UBBThreads)")
    parser.add_argument("--port", type=int, default=0, help="TCP port (0 = any free)")
    parser.add_argument("--demo", action="store_true", help="serve sample forums")
    parser.add_argument("--tls-cert", help="serve HTTPS with this certificate chain (PEM)")
    parser.add_argument("--tls-key", help="the certificate's private key (PEM)")
    parser.add_argument("--kept-limit", type=int, default=100,
                        help="HTTP/1.1 requests per kept connection")
    parser.add_argument("--no-gzip", action="store_true", help="never compress answers")
    parser.add_argument("--no-chunked", action="store_true",
                        help="answer HTTP/1.1 with Content-Length instead of chunks")
    args = parser.parse_args(argv)
    if bool(args.tls_cert) != bool(args.tls_key):
        parser.error("--tls-cert and --tls-key go together")
    sim = ForumSim(args.port, tls=(args.tls_cert, args.tls_key) if args.tls_cert else None)
    sim.kept = KeptAnswers(limit=args.kept_limit, chunked=not args.no_chunked,
                           gzip=not args.no_gzip)
    if args.demo:
        from forumsim.demo import fill_demo
        fill_demo(sim)
    sim.start()
    print(sim.url, flush=True)
    done = threading.Event()
    for sig in (signal.SIGINT, signal.SIGTERM):
        signal.signal(sig, lambda *_: done.set())
    while not done.wait(0.5):
        pass
    sim.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
