"""A minimal HTTP/1.0 client that talks like the gateway: one connection per
request, the gateway's header lines, reading until the server closes.
Every wait is bounded."""

from __future__ import annotations

import json
import socket
import time

USER_AGENT = "Korvendale 3.50 (forumsim test client)"


def exchange(port: int, data: bytes, timeout: float = 10.0, host="127.0.0.1") -> bytes:
    """Send `data`, then read until the server closes or `timeout` passes
    without data (socket.timeout is raised then)."""
    with socket.create_connection((host, port), timeout=timeout) as sock:
        sock.sendall(data)
        chunks = []
        while True:
            try:
                chunk = sock.recv(65536)
            except ConnectionResetError:
                break
            if not chunk:
                break
            chunks.append(chunk)
        return b"".join(chunks)


def get_request(path: str, server: str = "127.0.0.1") -> bytes:
    return (f"GET {path} HTTP/1.0\r\nHost: {server}\r\nReferer: {server}\r\n"
            f"User-Agent: {USER_AGENT}\r\n\r\n").encode("latin-1")


def post_request(path: str, body: bytes, server: str = "127.0.0.1") -> bytes:
    return (f"POST {path} HTTP/1.0\r\nReferer: {server}\r\nHost: {server}\r\n"
            f"User-Agent: {USER_AGENT}\r\n"
            "Content-type: application/x-www-form-urlencoded\r\n"
            f"Content-Length: {len(body)}\r\n\r\n").encode("latin-1") + body


def split_response(raw: bytes) -> tuple:
    """(status code, body text) of a whole response."""
    head, _, body = raw.partition(b"\r\n\r\n")
    status = int(head.split(b" ", 2)[1]) if head.startswith(b"HTTP/") else 0
    return status, body.decode("latin-1")


def get(port: int, path: str, timeout: float = 10.0) -> tuple:
    return split_response(exchange(port, get_request(path), timeout))


def post(port: int, path: str, body: bytes, timeout: float = 10.0) -> tuple:
    return split_response(exchange(port, post_request(path, body), timeout))


def form_encode(fields) -> bytes:
    """Form-encode (name, value) pairs the way the gateway's encoder does:
    letters and digits kept, blank to "+", every other byte %XX."""
    def enc(text: str) -> str:
        out = []
        for byte in text.encode("latin-1"):
            ch = chr(byte)
            if ch.isascii() and ch.isalnum():
                out.append(ch)
            elif ch == " ":
                out.append("+")
            else:
                out.append(f"%{byte:02X}")
        return "".join(out)
    return "&".join(f"{name}={enc(value)}" for name, value in fields).encode("latin-1")


def control(port: int, op: str, timeout: float = 10.0, **args):
    """Call the simulator's control endpoint; raise RuntimeError on refusal."""
    body = json.dumps(dict(args, op=op)).encode("utf-8")
    status, text = split_response(exchange(port, post_request("/__control", body), timeout))
    reply = json.loads(text)
    if not reply.get("ok"):
        raise RuntimeError(reply.get("error"))
    return reply.get("result")


def wait_until(condition, timeout: float = 10.0, interval: float = 0.02):
    """Poll `condition` until it returns a true value; raise TimeoutError."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise TimeoutError("condition not met in time")
        time.sleep(interval)
