"""A test CA and server certificates for the HTTPS tests, made with the
openssl command line in a temporary directory the first time a test asks
(EC P-256 keys: quick to make and to use). Each server certificate is a chain
file (certificate + issuing CA) and a key file, as the simulator loads them.

  good        localhost and 127.0.0.1, signed by the test CA
  wrong_name  only wrong-host.invalid, signed by the test CA
  expired     localhost, valid only in January 2020, signed by the test CA
  untrusted   localhost, signed by another CA that no box trusts
"""

from __future__ import annotations

import atexit
import shutil
import subprocess
import tempfile
from pathlib import Path

CA_CONFIG = """[ca]
default_ca = test_ca
[test_ca]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any_name
copy_extensions = copy
unique_subject = no
[any_name]
commonName = supplied
"""

LOCALHOST = "DNS:localhost,IP:127.0.0.1"
KINDS = {
    # kind: (issuing CA, subject alternative names, validity options of "openssl ca")
    "good": ("test", LOCALHOST, ["-days", "30"]),
    "wrong_name": ("test", "DNS:wrong-host.invalid", ["-days", "30"]),
    "expired": ("test", LOCALHOST, ["-startdate", "20200101000000Z",
                                    "-enddate", "20200201000000Z"]),
    "untrusted": ("other", LOCALHOST, ["-days", "30"]),
}


def _openssl(directory: Path, *args: str) -> None:
    subprocess.run(["openssl", *args], cwd=directory, check=True, timeout=60,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


class TestCertificates:
    def __init__(self, directory: Path):
        self.directory = directory
        for ca in ("test", "other"):
            ca_dir = directory / ca
            ca_dir.mkdir()
            (ca_dir / "ca.cnf").write_text(CA_CONFIG)
            (ca_dir / "index.txt").write_text("")
            (ca_dir / "serial").write_text("01\n")
            self._key(ca_dir / "ca.key")
            _openssl(ca_dir, "req", "-x509", "-new", "-key", "ca.key", "-days", "30",
                     "-subj", f"/CN=QUORIX {ca} CA", "-out", "ca.pem")
        self.ca_file = directory / "test" / "ca.pem"

    @staticmethod
    def _key(path: Path) -> None:
        _openssl(path.parent, "genpkey", "-algorithm", "EC", "-pkeyopt",
                 "ec_paramgen_curve:P-256", "-out", path.name)

    def server(self, kind: str) -> tuple:
        """(chain file, key file) of a server certificate of this kind."""
        chain, key = self.directory / f"{kind}.chain.pem", self.directory / f"{kind}.key"
        if not chain.exists():
            ca, names, validity = KINDS[kind]
            ca_dir = self.directory / ca
            self._key(key)
            _openssl(self.directory, "req", "-new", "-key", key.name, "-subj", "/CN=localhost",
                     "-addext", f"subjectAltName={names}", "-out", f"{kind}.csr")
            _openssl(ca_dir, "ca", "-batch", "-config", "ca.cnf", "-cert", "ca.pem",
                     "-keyfile", "ca.key", "-in", f"../{kind}.csr", "-out", f"../{kind}.pem",
                     "-notext", *validity)
            chain.write_bytes((self.directory / f"{kind}.pem").read_bytes()
                              + (ca_dir / "ca.pem").read_bytes())
        return str(chain), str(key)


_made: TestCertificates | None = None


def test_certificates() -> TestCertificates:
    """The process's test CA, made on first use and removed at exit."""
    global _made
    if _made is None:
        directory = Path(tempfile.mkdtemp(prefix="quorix-ca-"))
        atexit.register(shutil.rmtree, directory, ignore_errors=True)
        _made = TestCertificates(directory)
    return _made
