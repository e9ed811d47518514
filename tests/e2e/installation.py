"""Stand-in CrossPoint installations (XP2, OpenXP, FreeXP) in a directory.

An installation holds what the gateway looks at: XPOINT.CFG, BOXEN.DB1, the
program file XP.EXE (or the help file OPENXP-D.HLP) with the variant's marker
texts, box files (.BFG, optional .BFE) with the web keys of the variant's
style, group lists (.WEB), spool and log folders, and a link "quorix" to the
binary under test, so that the program directory taken from argv[0] is the
installation.

Names are written in upper case unless `lower_case` is set; directory names
stay as given. Paths inside configuration files use "\\" like CrossPoint.
"""

from __future__ import annotations

import os
from dataclasses import dataclass, field
from pathlib import Path

VARIANTS = ("xp2", "openxp", "freexp")
CRLF = "\r\n"

# Marker texts a program file of each variant carries.
MARKERS = {
    "xp2": ("CrossPoint XP2", "http://www.xp2.de/"),
    "openxp": ("OpenXP/32", "http://www.openxp.de/"),
    "freexp": ("FreeXP", "http://www.freexp.de/"),
}

# Box keys per style: logical setting -> key.
XP2_KEYS = {
    "server": "WebServer", "port": "WebPort", "user": "WebUser", "password": "WebPass",
    "client": "WebClient", "timeout": "WebTimeOut", "spool": "WebSpool",
    "path": "WebPath", "topic": "WebTopic", "post": "WebPost", "posting": "WebPosting",
    "flooding": "WebFloodingControl", "dupe_size": "WebDupeSize",
}
CLIENT_KEYS = {
    "server": "Client-WebServer", "port": "Client-WebPort", "user": "Client-WebUser",
    "password": "Client-WebPassword", "client": "Client-WebClient", "timeout": "WebTimeOut",
    "spool": "Client-Spool", "path": "WebPath", "topic": "WebTopic", "post": "WebPost",
    "posting": "WebPosting", "dupe_size": "WebDupeSize", "client_path": "Client-Path",
}


def quorix_binary() -> Path:
    """The binary under test: $QUORIX_BIN, else <repository>/build/quorix."""
    configured = os.environ.get("QUORIX_BIN")
    if configured:
        return Path(configured)
    return Path(__file__).resolve().parents[2] / "build" / "quorix"


def runs_under_wine() -> bool:
    """True when the binary under test is the Windows program, started under
    wine by the build's "quorix-wine" script: the one place where the tests
    ask which platform they test."""
    return quorix_binary().name == "quorix-wine"


def filler(size: int) -> bytes:
    """Program file filler: control bytes only, so no marker text can arise."""
    pattern = bytes(range(1, 32))
    return (b"MZ" + pattern * (size // len(pattern) + 1))[:size]


def program_file(markers=(), size: int = 100_000) -> bytes:
    """A program file of `size` bytes with marker texts at given offsets:
    markers = [(offset, text)]."""
    data = bytearray(filler(size))
    for offset, text in markers:
        raw = text.encode("latin-1")
        data[offset:offset + len(raw)] = raw
    return bytes(data)


def variant_markers(variant: str, start: int = 5000) -> list:
    first, second = MARKERS[variant]
    return [(start, first), (start + 4000, second)]


def xpoint_cfg_text(variant: str, xp2_mark_at: int | None = 35, settings=None) -> str:
    """XPOINT.CFG: a first line (for XP2 with " (XP2)" beginning at character
    xp2_mark_at, counted from 1; None leaves it out) and key=value lines."""
    if variant == "xp2" and xp2_mark_at is not None:
        width = xp2_mark_at - 1
        first = "; CrossPoint configuration file"[:width].ljust(width, ".") + " (XP2)"
    else:
        first = "; CrossPoint configuration file"
    lines = [first] + [f"{k}={v}" for k, v in (settings or {}).items()]
    return CRLF.join(lines) + CRLF


@dataclass
class Box:
    """One box of an installation. `keys` are written in order as the box
    file; `extra` is appended raw (the template, odd lines)."""
    inst: "Installation"
    name: str
    keys: list = field(default_factory=list)
    extra: str = ""
    companion: str | None = None

    @property
    def style_keys(self) -> dict:
        return XP2_KEYS if self.inst.variant == "xp2" else CLIENT_KEYS

    def set(self, setting: str, value) -> None:
        """Set a setting by its logical name (see XP2_KEYS) or a raw key."""
        key = self.style_keys.get(setting, setting)
        self.keys = [(k, v) for k, v in self.keys if k != key] + [(key, str(value))]

    def unset(self, setting: str) -> None:
        key = self.style_keys.get(setting, setting)
        self.keys = [(k, v) for k, v in self.keys if k != key]

    def get(self, setting: str) -> str | None:
        key = self.style_keys.get(setting, setting)
        return next((v for k, v in self.keys if k == key), None)

    def text(self) -> str:
        return "".join(f"{k}={v}{CRLF}" for k, v in self.keys) + self.extra

    @property
    def file_name(self) -> str:
        return self.inst.name(self.name + ".BFG")

    @property
    def client_dir(self) -> Path:
        """Directory of Client-Path (RFC/Client style), else the installation."""
        value = self.get("client_path") if self.inst.variant != "xp2" else None
        return self.inst.path(value) if value else self.inst.root

    @property
    def group_list(self) -> Path:
        return self.client_dir / self.inst.name(self.name + ".WEB")

    @property
    def spool_dir(self) -> Path:
        value = self.get("spool")
        return self.inst.path(value) if value else self.inst.root / "SPOOL"

    def write(self, group_list: str | None = "") -> "Box":
        """Write the box file, its companion and (unless None) its group list."""
        self.inst.write(self.file_name, self.text())
        if self.companion is not None:
            self.inst.write(self.inst.name(self.name + ".BFE"), self.companion)
        self.spool_dir.mkdir(parents=True, exist_ok=True)
        self.client_dir.mkdir(parents=True, exist_ok=True)
        if group_list is not None:
            self.group_list.write_bytes(group_list.encode("latin-1"))
        return self


def group_list_text(entries) -> str:
    """Group list lines from (newsgroup, forum name, number, days) tuples or
    raw strings, CR LF after each."""
    lines = [e if isinstance(e, str) else ",".join(str(f) for f in e) for e in entries]
    return "".join(line + CRLF for line in lines)


class Installation:
    def __init__(self, root: Path, variant: str, lower_case: bool = False):
        if variant not in VARIANTS:
            raise ValueError(variant)
        self.root = Path(root)
        self.variant = variant
        self.lower_case = lower_case
        self.boxes: dict[str, Box] = {}

    def name(self, upper: str) -> str:
        return upper.lower() if self.lower_case else upper

    def path(self, crosspoint_path: str) -> Path:
        """A CrossPoint path ("LOG\\", "SPOOL\\BOX\\") inside the installation."""
        parts = [p for p in crosspoint_path.replace("\\", "/").split("/") if p]
        return self.root.joinpath(*parts)

    def write(self, name: str, data) -> Path:
        target = self.path(name)
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(data if isinstance(data, bytes) else data.encode("latin-1"))
        return target

    def add_box(self, name: str, *, server="127.0.0.1", port=80, engine="ubb",
                web=None, user="Tester", password="secret", timeout=5,
                posting="Y", flooding=0, client_path=None, spool=None,
                template: str = "", sender=("tester", "mypoint", ".example.org")) -> Box:
        """A box with every web key set (not yet written; call Box.write)."""
        box = Box(self, name)
        web = web or {}
        values = {
            "server": server, "port": port, "user": user, "password": password,
            "client": web.get("WebClient", "UBBTHREADS" if engine == "threads" else "UBBCGI"),
            "timeout": timeout,
            "spool": spool or f"SPOOL\\{name}\\",
        }
        for setting, key in (("path", "WebPath"), ("topic", "WebTopic"), ("post", "WebPost")):
            if key in web:
                values[setting] = web[key]
        values["posting"] = posting
        if self.variant == "xp2":
            values["flooding"] = flooding
        else:
            values["client_path"] = client_path or f"CLIENT\\{name}\\"
        for setting, value in values.items():
            if value is not None:
                box.set(setting, value)
        user_name, point, domain = sender
        box.keys += [("Username", user_name), ("Pointname", point), ("Domain", domain)]
        box.extra = template
        self.boxes[name] = box
        return box


def create_installation(root, variant: str, *, lower_case=False, xp2_mark_at=35,
                        settings=None, boxen_db=True, markers=None, help_file=None,
                        link_binary=True) -> Installation:
    """Build an installation in `root` (which must exist).

    markers: [(offset, text)] of the program file (default: the variant's);
    help_file: markers of an OPENXP-D.HLP to add (None: no help file);
    settings: XPOINT.CFG keys (default SCREENLINES=25, SHELL25=N)."""
    inst = Installation(root, variant, lower_case)
    cfg_settings = {"SCREENLINES": "25", "SHELL25": "N"} if settings is None else settings
    inst.write(inst.name("XPOINT.CFG"), xpoint_cfg_text(variant, xp2_mark_at, cfg_settings))
    if boxen_db:
        inst.write(inst.name("BOXEN.DB1"), b"\x00BOXEN\x00" * 16)
    inst.write(inst.name("XP.EXE"), program_file(
        variant_markers(variant) if markers is None else markers))
    if help_file is not None:
        inst.write(inst.name("OPENXP-D.HLP"), program_file(help_file, 40_000))
    log_dir = cfg_settings.get("LOGDIR", "LOG\\")
    inst.path(log_dir).mkdir(parents=True, exist_ok=True)
    (inst.root / "SPOOL").mkdir(exist_ok=True)
    if link_binary:
        os.symlink(quorix_binary(), inst.root / "quorix")
    return inst
