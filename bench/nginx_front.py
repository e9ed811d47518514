#!/usr/bin/env python3
"""nginx on loopback for the harvest benchmark (Debian's nginx, run as the
calling user from a directory of its own, no daemon, no root).

Two ways to serve the forum's pages:

  proxy   in front of the simulator: every request goes on to it over a
          kept upstream connection, and the answer comes back as nginx sends
          a real forum's: HTTP/1.1 answers chunked and, with "gzip on",
          compressed for a client that asks for gzip.
  static  the pages of a directory as files, so that the Python simulator's
          own cost does not hide the client's: a request path (with its query)
          is the file name under the root, as write_static_pages names them.

Each serves plain HTTP and, with a certificate, HTTPS on a second port
(TLS 1.3, session tickets on, as nginx's defaults are).

    with NginxFront(upstream_port=sim.port, tls=(chain, key)) as front:
        front.port, front.tls_port

Standard library only.
"""

from __future__ import annotations

import os
import shutil
import socket
import subprocess
import tempfile
import time
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests"))
from e2e.runner import stop_process  # noqa: E402

NGINX = shutil.which("nginx") or "/usr/sbin/nginx"

CONFIG = """\
{user}worker_processes 1;
error_log {root}/error.log warn;
pid {root}/nginx.pid;
events {{ worker_connections 256; }}
http {{
  {access_log}
  client_body_temp_path {root}/body;
  proxy_temp_path {root}/proxy;
  fastcgi_temp_path {root}/fastcgi;
  uwsgi_temp_path {root}/uwsgi;
  scgi_temp_path {root}/scgi;
  default_type text/html;
  {charset}
  gzip on;
  gzip_types text/html text/plain;
  keepalive_requests 1000;
  {upstream}
  server {{
    listen 127.0.0.1:{port};
    {tls_listen}
    {tls_files}
    location / {{
      {location}
    }}
  }}
}}
"""

PROXY_UPSTREAM = "upstream forum { server 127.0.0.1:%d; keepalive 16; }"
PROXY_LOCATION = ("proxy_pass http://forum; proxy_http_version 1.1; "
                  'proxy_set_header Connection ""; proxy_buffering on;')
# The file of a request: its path and query as StaticPages names them.
STATIC_LOCATION = "root {pages}; try_files /$static_name =404;"
STATIC_MAP = ('map $request_uri $static_name { default ""; '
              '"~^/(?<name>.*)$" $name; }')
# In static mode every request's URI goes to a log of its own, a line each:
# what the simulator records of its requests otherwise.
PATHS_LOG = "log_format paths '$request_uri'; access_log {root}/paths.log paths;"


def static_name(path: str) -> str:
    """The file name (under the static root) of a request path with its
    query: the request URI as sent, without its leading "/" (nginx compares
    it with the name undecoded)."""
    return path.lstrip("/")


def free_port() -> int:
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class NginxFront:
    def __init__(self, upstream_port: int | None = None, pages: Path | None = None,
                 tls: tuple | None = None, charset: str | None = None):
        """charset: (static mode) named in the Content-Type of the pages, as
        the simulator names its own."""
        if (upstream_port is None) == (pages is None):
            raise ValueError("either an upstream port or a pages directory")
        self.upstream_port, self.pages, self.tls = upstream_port, pages, tls
        self.charset = charset
        self.root = Path(tempfile.mkdtemp(prefix="quorix-nginx-"))
        self.port = free_port()
        self.tls_port = free_port() if tls else None
        self.process: subprocess.Popen | None = None

    def config_text(self) -> str:
        if self.pages is not None:
            upstream = STATIC_MAP
            # The map gives the request URI as sent, query and all; the
            # files carry exactly that name.
            location = STATIC_LOCATION.format(pages=self.pages)
        else:
            upstream = PROXY_UPSTREAM % self.upstream_port
            location = PROXY_LOCATION
        access_log = PATHS_LOG.format(root=self.root) if self.pages else "access_log off;"
        charset = f"charset {self.charset};" if self.charset else ""
        tls_listen = tls_files = ""
        if self.tls:
            chain, key = self.tls
            tls_listen = f"listen 127.0.0.1:{self.tls_port} ssl;"
            tls_files = f"ssl_certificate {chain}; ssl_certificate_key {key};"
        # Started by root, nginx's worker would drop to a user who cannot
        # read the temporary directories: it stays the caller.
        user = "user root;\n" if os.geteuid() == 0 else ""
        return CONFIG.format(user=user, root=self.root, port=self.port, upstream=upstream,
                             tls_listen=tls_listen, tls_files=tls_files, location=location,
                             access_log=access_log, charset=charset)

    def paths(self) -> list:
        """(Static mode) the request URIs served since the last clear_paths,
        in the order nginx logged them (it writes each line as it answers)."""
        log = self.root / "paths.log"
        return log.read_text(encoding="latin-1").splitlines() if log.exists() else []

    def clear_paths(self) -> None:
        log = self.root / "paths.log"
        if log.exists():
            log.write_bytes(b"")  # nginx appends: its next line goes to the start

    def start(self) -> "NginxFront":
        config = self.root / "nginx.conf"
        config.write_text(self.config_text())
        self.process = subprocess.Popen(
            [NGINX, "-p", str(self.root), "-c", str(config), "-g", "daemon off;"],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        deadline = time.monotonic() + 10
        ports = [p for p in (self.port, self.tls_port) if p]
        while ports:
            if self.process.poll() is not None:
                raise RuntimeError(f"nginx ended: {self.process.stderr.read().decode()}"
                                   f"{(self.root / 'error.log').read_text()}")
            try:
                socket.create_connection(("127.0.0.1", ports[0]), timeout=1).close()
                ports.pop(0)
            except OSError:
                if time.monotonic() > deadline:
                    self.stop()
                    raise RuntimeError("nginx did not start listening within 10 s")
                time.sleep(0.05)
        return self

    def stop(self) -> None:
        if self.process is not None:
            stop_process(self.process)
            self.process.stderr.close()
        shutil.rmtree(self.root, ignore_errors=True)

    def __enter__(self) -> "NginxFront":
        return self.start()

    def __exit__(self, *exc) -> None:
        self.stop()


def write_static_pages(pages: dict, directory: Path) -> None:
    """Writes each page (request path -> body bytes) where a static nginx
    finds it."""
    for path, body in pages.items():
        target = directory / static_name(path)
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(body)
