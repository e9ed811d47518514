"""The HTTP side of the simulator: reads each request byte for byte, records
it, applies misbehaviour rules and answers. An HTTP/1.0 request gets an
HTTP/1.0 answer and the connection is closed after it (the gateway reads
until the server closes). An HTTP/1.1 request gets an HTTP/1.1 answer on a
kept connection, as nginx and Apache give one: chunked (or with its length),
gzip when the client accepts it, and "Connection: close" with the last
answer a connection may carry (its request limit).
"""

from __future__ import annotations

import http.server
import json
import socket
import ssl
import struct
import traceback
import zlib
from dataclasses import dataclass

from forumsim.faults import garbage_bytes, huge_chunks
from forumsim.model import encode_page

MAX_HEAD = 64 * 1024
MAX_BODY = 64 * 1024 * 1024
REASONS = {200: "OK", 400: "Bad Request", 404: "Not Found", 405: "Method Not Allowed",
           500: "Internal Server Error", 503: "Service Unavailable"}


@dataclass(frozen=True)
class RecordedRequest:
    """One request as it arrived."""
    method: str
    path: str            # the request target, raw (latin-1)
    version: str
    head: bytes          # request line, header lines and the empty line, exact
    header_lines: tuple  # header lines without their line ends, in order (str)
    body: bytes
    connection: int = 0  # the number of the connection it came on, from 1

    def header(self, name: str) -> str | None:
        """The value of the first header line with this name (any case)."""
        for line in self.header_lines:
            key, sep, value = line.partition(":")
            if sep and key.strip().lower() == name.lower():
                return value.strip()
        return None

    def to_json(self) -> dict:
        return {"method": self.method, "path": self.path, "version": self.version,
                "head": self.head.decode("latin-1"),
                "header_lines": list(self.header_lines),
                "body": self.body.decode("latin-1"), "connection": self.connection}


def response_bytes(status: int, body: bytes, content_type="text/html; charset=iso-8859-1") -> bytes:
    head = (f"HTTP/1.0 {status} {REASONS.get(status, 'Status')}\r\n"
            "Server: forumsim/1.0\r\n"
            f"Content-Type: {content_type}\r\n"
            f"Content-Length: {len(body)}\r\n"
            "Connection: close\r\n\r\n")
    return head.encode("latin-1") + body


@dataclass
class KeptAnswers:
    """How HTTP/1.1 requests are answered."""
    limit: int = 100      # requests per connection (nginx's keepalive_requests)
    chunked: bool = True  # chunked transfer coding; else Content-Length
    gzip: bool = True     # gzip when the request accepts it
    chunk_size: int = 4096


def gzip_bytes(data: bytes) -> bytes:
    """gzip as a web server makes it (no file name, no time)."""
    packer = zlib.compressobj(6, zlib.DEFLATED, 31)
    return packer.compress(data) + packer.flush()


def kept_response_bytes(status: int, body: bytes, content_type: str, kept: KeptAnswers,
                        accepts_gzip: bool, last: bool) -> tuple:
    """An HTTP/1.1 answer: (head, framed body)."""
    lines = [f"HTTP/1.1 {status} {REASONS.get(status, 'Status')}", "Server: forumsim/1.0",
             f"Content-Type: {content_type}"]
    if kept.gzip and accepts_gzip:
        body = gzip_bytes(body)
        lines.append("Content-Encoding: gzip")
    if kept.chunked:
        lines.append("Transfer-Encoding: chunked")
        size = max(1, kept.chunk_size)
        framed = b"".join(b"%x\r\n%s\r\n" % (len(body[i:i + size]), body[i:i + size])
                          for i in range(0, len(body), size)) + b"0\r\n\r\n"
    else:
        lines.append(f"Content-Length: {len(body)}")
        framed = body
    if last:
        lines.append("Connection: close")
    head = "\r\n".join(lines) + "\r\n\r\n"
    return head.encode("latin-1"), framed


def page_charset_of(content_type: str, page: str) -> str:
    """Where the answer names its set: the header, else the page's meta tag."""
    if "charset=" in content_type:
        return content_type.lower()
    return page[:1024].lower()


class Handler(http.server.BaseHTTPRequestHandler):
    """Replaces the library's request parsing so the head is kept exactly."""

    timeout = 30  # seconds a client may take to send its request

    def handle(self):
        self.served = 0  # requests answered on this connection
        self.number = self.server.sim.count_connection()
        try:
            while self._serve():
                pass
        except (ConnectionError, socket.timeout, OSError):
            pass  # the client went away or stalled: nothing to answer

    def _read_head(self) -> bytes | None:
        head = b""
        while len(head) < MAX_HEAD:
            line = self.rfile.readline(MAX_HEAD)
            if not line:
                return head or None
            head += line
            if line in (b"\r\n", b"\n"):
                return head
        return head

    def _serve(self) -> bool:
        """Answers one request. True when the connection stays for another."""
        sim = self.server.sim
        head = self._read_head()
        if head is None:
            return False
        lines = head.split(b"\n")
        request_line = lines[0].rstrip(b"\r").decode("latin-1")
        header_lines = tuple(l.rstrip(b"\r").decode("latin-1")
                             for l in lines[1:] if l.rstrip(b"\r"))
        parts = request_line.split(" ")
        method, target, version = (parts + ["", "", ""])[:3] if len(parts) >= 2 else ("", "", "")
        length = 0
        for line in header_lines:
            key, _, value = line.partition(":")
            if key.strip().lower() == "content-length":
                try:
                    length = max(0, min(int(value.strip()), MAX_BODY))
                except ValueError:
                    length = 0
        body = self.rfile.read(length) if length else b""
        if target == "/__control" and method == "POST":
            self._send(response_bytes(200, sim.control(body), "application/json"))
            return False
        request = RecordedRequest(method, target, version, head, header_lines, body,
                                  self.number)
        sim.record(request)
        if not method or not target:
            self._send(response_bytes(400, b"<html><body>Bad request</body></html>"))
            return False
        rule = sim.faults.take(target)
        answer = None
        if rule is not None and rule.params.get("taken"):
            answer = self._answer(request)  # the forum acts on it before the fault
        if rule is not None and self._misbehave(rule, request):
            return False
        content_type = "text/html; charset=iso-8859-1"
        status, page, *typed = answer if answer is not None else self._answer(request)
        if typed:
            content_type = typed[0]
        if rule is not None and rule.mode == "status":
            status = int(rule.params.get("code", 500))
        charset = "utf-8" if "utf-8" in page_charset_of(content_type, page) else "iso-8859-1"
        kept = version == "HTTP/1.1" and "close" not in (request.header("Connection") or "").lower()
        self.served += 1
        last = not kept or self.served >= sim.kept.limit
        if version == "HTTP/1.1":
            accepts = "gzip" in (request.header("Accept-Encoding") or "").lower()
            answer_head, framed = kept_response_bytes(status, encode_page(page, charset),
                                                      content_type, sim.kept, accepts, last)
            data = answer_head + framed
        else:
            answer_head = b""
            data = response_bytes(status, encode_page(page, charset), content_type)
        if rule is not None and rule.mode == "headers_only":
            self._send(answer_head or data[:data.find(b"\r\n\r\n") + 4])
            return False
        if rule is not None and rule.mode == "close_after":
            data = data[:int(rule.params.get("bytes", 0))]
            last = True
        if rule is not None and rule.mode == "drip":
            interval = float(rule.params.get("interval", 1))
            for i in range(len(data)):
                if sim.stopping.is_set():
                    return
                self._send(data[i:i + 1])
                sim.stopping.wait(interval)
            return False
        self._send(data)
        if rule is not None and rule.mode == "close_between":
            return False  # closed without saying so, as an idle time-out does
        return not last

    def _answer(self, request):
        try:
            return self.server.sim.answer(request)
        except Exception:  # a fault of the simulator itself: say so, keep serving
            traceback.print_exc()
            return 500, "<html><body>forumsim: internal error</body></html>"

    def _misbehave(self, rule, request) -> bool:
        """Carry out a rule. True when the answer has been dealt with."""
        sim = self.server.sim
        mode = rule.mode
        if mode == "stall":
            sim.faults.wait_released(sim.stopping, rule.params.get("limit"))
            return sim.stopping.is_set()
        if mode == "slow":
            sim.stopping.wait(float(rule.params.get("seconds", 1)))
            return False
        if mode == "fail":
            return True
        if mode == "reset":
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            return True
        if mode == "garbage":
            self._send(garbage_bytes(int(rule.params.get("bytes", 4096)),
                                     int(rule.params.get("seed", 1))))
            return True
        if mode == "raw":
            self._send(str(rule.params.get("data", "")).encode("latin-1"))
            return True
        if mode == "huge":
            mib = float(rule.params.get("mib", 1))
            head = ("HTTP/1.0 200 OK\r\nServer: forumsim/1.0\r\n"
                    "Content-Type: text/html\r\n"
                    f"Content-Length: {int(mib * (1 << 20))}\r\nConnection: close\r\n\r\n")
            self._send(head.encode("latin-1"))
            for chunk in huge_chunks(mib):
                if sim.stopping.is_set():
                    break
                self._send(chunk)
            return True
        return False  # the others change the normal answer

    def _send(self, data: bytes):
        if data:
            self.wfile.write(data)
            self.wfile.flush()

    def log_message(self, format, *args):  # keep test output quiet
        pass


class SimServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, address, sim, tls: ssl.SSLContext | None = None):
        self.sim = sim
        self.tls = tls
        super().__init__(address, Handler)

    def get_request(self):
        """With a TLS context every connection is wrapped; the handshake runs
        in the request's own thread, on its first read, under the handler's
        time-out, so a client that never finishes it holds up nobody."""
        sock, address = super().get_request()
        if self.tls is not None:
            # The session tickets and the answer are separate writes: without
            # this the answer waits for the client's delayed acknowledgement.
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            sock = self.tls.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
        return sock, address


def tls_context(cert_file: str, key_file: str) -> ssl.SSLContext:
    """A server context for TLS 1.2 and 1.3 with this certificate chain."""
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(cert_file, key_file)
    # One session ticket per connection: the client resumes with one, and
    # each further ticket is work on both sides for every request.
    context.num_tickets = 1
    return context


def control_reply(payload) -> bytes:
    return json.dumps(payload).encode("utf-8")
