"""Misbehaviour on demand: rules that change how the server answers.

A rule matches a request path (exactly, by prefix, by substring, or every
path when none is given) and has a mode:

  stall        read the request, then answer nothing until released
               (release_stalls or server stop); after release, answer normally
  slow         wait `seconds` before the normal answer
  close_after  send the first `bytes` bytes of the normal answer, then close
  huge         a valid answer whose body is `mib` MiB of filler
  garbage      `bytes` bytes of seeded random data, no HTTP head at all
  fail         close at once without sending anything
  reset        close with a TCP reset
  raw          send `data` (latin-1 text) verbatim, then close
  status       answer with HTTP status `code` and the normal body
  drip         the normal answer one byte every `interval` seconds
  headers_only the normal answer's head, then close (a kept connection cut
               after the headers)
  close_between  the normal answer, then close without saying so (a kept
               connection the server drops between requests)

With `taken=True`, `stall`, `fail` and `close_after` first let the forum
handle the request (a posted form changes the forum), as a forum does that
takes a post and then loses the connection.

`times` limits how often a rule applies (None = always). The first matching
rule wins.
"""

from __future__ import annotations

import random
import threading
from dataclasses import dataclass, field

MODES = ("stall", "slow", "close_after", "huge", "garbage", "fail", "reset",
         "raw", "status", "drip", "headers_only", "close_between")
MATCHES = ("exact", "prefix", "contains", "any")


@dataclass
class Rule:
    id: int
    mode: str
    path: str | None = None
    match: str = "contains"
    times: int | None = None
    params: dict = field(default_factory=dict)

    def matches(self, path: str) -> bool:
        if self.path is None or self.match == "any":
            return True
        if self.match == "exact":
            return path == self.path
        if self.match == "prefix":
            return path.startswith(self.path)
        return self.path in path


class FaultPlan:
    """The active rules plus the gate that stalled requests wait on."""

    def __init__(self):
        self._lock = threading.Lock()
        self._rules: list[Rule] = []
        self._next_id = 1
        self._release = threading.Event()
        self.stalled = 0  # requests waiting right now

    def add(self, mode: str, path: str | None = None, match: str = "contains",
            times: int | None = None, **params) -> int:
        if mode not in MODES:
            raise ValueError(f"unknown misbehaviour {mode!r}")
        if match not in MATCHES:
            raise ValueError(f"unknown match {match!r}")
        with self._lock:
            rule = Rule(self._next_id, mode, path, match, times, params)
            self._next_id += 1
            self._rules.append(rule)
            if mode == "stall":
                self._release.clear()
            return rule.id

    def remove(self, rule_id: int) -> None:
        with self._lock:
            self._rules = [r for r in self._rules if r.id != rule_id]

    def clear(self) -> None:
        with self._lock:
            self._rules = []

    def take(self, path: str) -> Rule | None:
        """The rule for this request, counting one use of it."""
        with self._lock:
            for rule in self._rules:
                if rule.matches(path):
                    if rule.times is not None:
                        rule.times -= 1
                        if rule.times <= 0:
                            self._rules.remove(rule)
                    return rule
        return None

    def release_stalls(self) -> None:
        self._release.set()

    def wait_released(self, stop: threading.Event, limit: float | None = None) -> None:
        """Block a stalled request until released, stopped or `limit` passed."""
        with self._lock:
            self.stalled += 1
        try:
            waited = 0.0
            while not self._release.is_set() and not stop.is_set():
                self._release.wait(0.05)
                waited += 0.05
                if limit is not None and waited >= limit:
                    break
        finally:
            with self._lock:
                self.stalled -= 1


def garbage_bytes(count: int, seed: int = 1) -> bytes:
    """Deterministic bytes of every value, NUL and control bytes included."""
    rng = random.Random(seed)
    return bytes(rng.randrange(256) for _ in range(count))


def huge_chunks(mib: float, chunk: int = 1 << 16):
    """Filler body of `mib` MiB in chunks; lines of HTML comments."""
    total = int(mib * (1 << 20))
    line = b"<!-- filler filler filler filler filler filler filler -->\n"
    block = (line * (chunk // len(line) + 1))[:chunk]
    sent = 0
    while sent < total:
        piece = block[:min(chunk, total - sent)]
        sent += len(piece)
        yield piece
