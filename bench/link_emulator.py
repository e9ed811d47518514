#!/usr/bin/env python3
"""A link emulator: a TCP proxy on 127.0.0.1 that makes a loopback server
look RTT milliseconds away.

Every byte each direction carries is delivered RTT/2 after it arrived (in
the order it arrived), and the first bytes of a connection one RTT later
still, as a TCP handshake would hold them: a request on a fresh connection
costs two round trips, one on a kept connection one, and a resumed TLS
handshake one more. Bandwidth is not limited.

    python3 bench/link_emulator.py --rtt-ms 100 --target 8080   # prints its port

or, from Python: `with LinkEmulator(target_port, rtt_ms) as link: link.port`.
Standard library only.
"""

from __future__ import annotations

import argparse
import heapq
import selectors
import socket
import sys
import threading
import time


class LinkEmulator:
    def __init__(self, target_port: int, rtt_ms: float, target_host: str = "127.0.0.1"):
        self.target = (target_host, target_port)
        self.delay = rtt_ms / 2000.0  # one way, seconds
        self._listener = socket.socket()
        self._listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._listener.bind(("127.0.0.1", 0))
        self._listener.listen(128)
        self._listener.setblocking(False)
        self._stop = threading.Event()
        self._thread = None
        self.connections = 0

    @property
    def port(self) -> int:
        return self._listener.getsockname()[1]

    def start(self) -> "LinkEmulator":
        self._thread = threading.Thread(target=self._loop, name="link", daemon=True)
        self._thread.start()
        return self

    def stop(self) -> None:
        self._stop.set()
        if self._thread is not None:
            self._thread.join(timeout=10)
        self._listener.close()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    # One thread, one selector: every socket non-blocking; a heap of
    # (due time, sequence, destination, bytes or None for the end) holds
    # what is on its way.
    def _loop(self) -> None:
        selector = selectors.DefaultSelector()
        selector.register(self._listener, selectors.EVENT_READ, None)
        pending: list = []
        sequence = 0
        peer = {}         # socket -> the socket on the other side
        opened_at = {}    # socket -> when its connection was accepted or made
        outgoing = {}     # socket -> bytes due but not yet written
        closing = set()   # sockets to shut for writing once their bytes are out
        ended = set()     # sockets whose peer ended its direction
        while not self._stop.is_set():
            now = time.monotonic()
            while pending and pending[0][0] <= now:
                _, _, destination, data = heapq.heappop(pending)
                if destination.fileno() < 0:
                    continue
                if data == "close":
                    outgoing.pop(destination, None)
                    closing.discard(destination)
                    destination.close()
                elif data is None:
                    closing.add(destination)
                else:
                    outgoing[destination] = outgoing.get(destination, b"") + data
            for sock in list(outgoing) + list(closing):
                if sock.fileno() < 0:
                    outgoing.pop(sock, None)
                    closing.discard(sock)
                    continue
                data = outgoing.get(sock, b"")
                if data:
                    try:
                        sent = sock.send(data)
                    except BlockingIOError:
                        sent = 0
                    except OSError:
                        sent = len(data)
                    data = data[sent:]
                    if data:
                        outgoing[sock] = data
                    else:
                        outgoing.pop(sock, None)
                if sock in closing and sock not in outgoing:
                    closing.discard(sock)
                    try:
                        sock.shutdown(socket.SHUT_WR)
                    except OSError:
                        pass
            timeout = 0.05
            if pending:
                timeout = max(0.0, min(timeout, pending[0][0] - time.monotonic()))
            if outgoing:
                timeout = min(timeout, 0.001)
            for key, _ in selector.select(timeout):
                sock = key.fileobj
                if sock is self._listener:
                    try:
                        client, _ = self._listener.accept()
                    except BlockingIOError:
                        continue
                    server = socket.create_connection(self.target)
                    for s in (client, server):
                        s.setblocking(False)
                        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
                        selector.register(s, selectors.EVENT_READ, None)
                    peer[client], peer[server] = server, client
                    opened_at[client] = opened_at[server] = time.monotonic()
                    self.connections += 1
                    continue
                try:
                    data = sock.recv(65536)
                except BlockingIOError:
                    continue
                except OSError:
                    data = b""
                now = time.monotonic()
                # The handshake's round trip: nothing arrives before it ended.
                due = max(now, opened_at.get(sock, now) + 2 * self.delay) + self.delay
                other = peer.get(sock)
                sequence += 1
                if other is not None:
                    heapq.heappush(pending, (due, sequence, other, data or None))
                if not data:
                    selector.unregister(sock)
                    ended.add(sock)
                    if other is None or other in ended:
                        # Both directions ended: closed once the last bytes are out.
                        for s in (sock, other):
                            if s is not None:
                                sequence += 1
                                heapq.heappush(pending, (due + 1.0, sequence, s, "close"))
                                peer.pop(s, None)
                                ended.discard(s)
        for sock in list(peer) + [entry[2] for entry in pending]:
            sock.close()
        selector.close()


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rtt-ms", type=float, required=True)
    parser.add_argument("--target", type=int, required=True, help="port on 127.0.0.1")
    args = parser.parse_args(argv)
    with LinkEmulator(args.target, args.rtt_ms) as link:
        print(link.port, flush=True)
        try:
            threading.Event().wait()
        except KeyboardInterrupt:
            pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
