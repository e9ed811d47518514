"""The setup guide's worked installation, built from the guide's own text.

docs/setup.md marks every file of its worked example with a comment line
`<!-- guide-file VARIANTS: PATH -->` (or `guide-markers` for the program
file's marker texts, `guide-folders` for the folders to create) right before
the fenced block that holds the file. This test takes those blocks as they
stand, builds the installation of each reader variant from them (only the
port is the simulator's instead of the guide's 8080), and harvests and posts
with it against the simulator's demo forums, checking what the guide says
happens. A guide that drifts from the program fails here.
"""

from __future__ import annotations

import os
import re
import unittest
from pathlib import Path

from e2e.installation import VARIANTS, Installation, quorix_binary
from e2e.runner import log_messages, parse_article, parse_rnews, spool_files
from e2e.support import E2ECase
from forumsim.demo import fill_demo
from forumsim.forumsim import ForumSim
from forumsim.templates import template_keys

GUIDE = Path(__file__).resolve().parents[2] / "docs" / "setup.md"
LABEL = re.compile(r"^<!-- guide-(file|markers|folders) ([a-z0-9 ]+):\s*(.*?)\s*-->$")
GUIDE_PORT = "8080"


def guide_blocks(text: str) -> dict:
    """{variant: {(kind, path): block text}} of the labelled blocks; a block's
    lines as written, each ended by CR LF."""
    blocks = {variant: {} for variant in VARIANTS}
    lines = text.split("\n")
    labels = []
    i = 0
    while i < len(lines):
        match = LABEL.match(lines[i])
        if match:
            labels.append(match.groups())
        elif lines[i].startswith("```") and labels:
            end = lines.index("```", i + 1)
            body = "".join(line + "\r\n" for line in lines[i + 1:end])
            for kind, variants, path in labels:
                for variant in variants.split():
                    if variant not in blocks:
                        raise ValueError(f"unknown variant {variant!r} in the guide")
                    blocks[variant][(kind, path)] = body
            labels = []
            i = end
        elif lines[i].strip():
            labels = []  # a label belongs to the block right after it
        i += 1
    return blocks


def rewrite_port(text: str, port: int) -> str:
    """The guide's port in the port keys replaced by the simulator's."""
    return re.sub(rf"^((?:Client-)?WebPort)={GUIDE_PORT}\r$", rf"\g<1>={port}\r", text,
                  flags=re.MULTILINE)


class GuideBlocks(unittest.TestCase):
    """The parser itself, on a small text."""

    def test_labelled_blocks_by_variant(self):
        text = ("<!-- guide-file xp2: A.BFG -->\n```\nWebPort=8080\n```\n"
                "<!-- guide-file xp2: A.WEB -->\n<!-- guide-file openxp freexp: C\\A.WEB -->\n"
                "```\n; list\n```\n"
                "<!-- guide-file openxp: B.BFG -->\nSome words.\n```\nnot this\n```\n")
        blocks = guide_blocks(text)
        self.assertEqual(blocks["xp2"], {("file", "A.BFG"): "WebPort=8080\r\n",
                                         ("file", "A.WEB"): "; list\r\n"})
        self.assertEqual(blocks["openxp"], {("file", "C\\A.WEB"): "; list\r\n"})
        self.assertEqual(blocks["freexp"], {("file", "C\\A.WEB"): "; list\r\n"})
        self.assertEqual(rewrite_port("WebPort=8080\r\nWebPort=80801\r\n", 5),
                         "WebPort=5\r\nWebPort=80801\r\n")


class GuideTemplates(unittest.TestCase):
    def test_worked_templates_name_everything_the_simulator_serves(self):
        # Every marker and all eleven smileys of each engine, as the
        # simulator's pages carry them (the filters keep their default).
        blocks = guide_blocks(GUIDE.read_text(encoding="utf-8"))
        for variant in VARIANTS:
            for box, engine in (("UBBBOX", "ubb"), ("PHPBOX", "threads")):
                with self.subTest(variant=variant, engine=engine):
                    text = blocks[variant][("file", f"{box}.BFE")]
                    keys = [tuple(line.split("=", 1)) for line in text.split("\r\n") if line]
                    expected = [(k, v) for k, v in template_keys(engine)
                                if v and not k.startswith("Strip_")]
                    self.assertEqual(keys, expected)

    def test_packaged_samples_carry_the_guides_templates(self):
        blocks = guide_blocks(GUIDE.read_text(encoding="utf-8"))["xp2"]
        samples = GUIDE.parents[1] / "samples"
        for style in ("xp2", "client"):
            for box in ("UBBBOX", "PHPBOX"):
                with self.subTest(style=style, box=box):
                    self.assertEqual((samples / style / f"{box}.BFE").read_bytes(),
                                     blocks[("file", f"{box}.BFE")].encode("ascii"))


class WorkedInstallation(E2ECase):
    @classmethod
    def setUpClass(cls):
        cls.guide = GUIDE.read_text(encoding="utf-8")
        cls.blocks = guide_blocks(cls.guide)

    def build(self, variant: str, port: int) -> Installation:
        """The installation exactly as the guide's blocks describe it."""
        blocks = self.blocks[variant]
        root = self.tmp / variant
        root.mkdir()
        inst = Installation(root, variant)
        folders = [path for (kind, path) in blocks if kind == "folders"]
        self.assertEqual(len(folders), 1, f"{variant}: one folder list in the guide")
        for line in blocks[("folders", folders[0])].split("\r\n"):
            if line:
                inst.path(line).mkdir(parents=True, exist_ok=True)
        inst.write("BOXEN.DB1", b"")
        inst.write("XP.EXE", blocks[("markers", "XP.EXE")])
        outgoing = {}
        for (kind, path), text in blocks.items():
            if kind != "file":
                continue
            if path.upper().endswith(".OUT"):
                outgoing[path] = text  # written by CrossPoint later
                continue
            self.assertTrue(inst.path(path).parent.is_dir(), f"{variant}: no folder for {path}")
            inst.write(path, rewrite_port(text, port))
        os.symlink(quorix_binary(), root / "quorix")
        return inst, outgoing

    def harvest(self, inst, box: str) -> list:
        articles = []
        for path in spool_files(inst.path(f"SPOOL\\{box}\\")):
            articles += [parse_article(raw) for raw in parse_rnews(path.read_bytes())]
            path.unlink()  # imported, as CrossPoint does
        return [(dict(headers), body.decode("latin-1")) for headers, body in articles]

    def test_each_reader_harvests_and_posts_with_the_guides_files(self):
        for variant in VARIANTS:
            with self.subTest(variant):
                self.check_variant(variant)

    def check_variant(self, variant: str):
        sim = ForumSim()
        fill_demo(sim)
        sim.start()
        self.addCleanup(sim.stop)
        inst, outgoing = self.build(variant, sim.port)
        self.assertEqual(sorted(outgoing), ["SPOOL\\PHPBOX\\n0001.OUT", "SPOOL\\UBBBOX\\n0001.OUT"])
        boxes = ["UBBBOX.BFG", "PHPBOX.BFG"]
        group_lists = {p: inst.path(p).read_bytes() for (k, p) in self.blocks[variant]
                       if k == "file" and p.upper().endswith(".WEB")}

        # The first run: every post once, smileys all turned into text.
        first = self.run_quorix(inst, boxes, timeout=180)
        self.assertEqual(first.returncode, 0, first.console)
        ubb, php = self.harvest(inst, "UBBBOX"), self.harvest(inst, "PHPBOX")
        with sim.model.lock:
            posts = {n: sum(len(t.posts) for t in sim.model.forum(n).topics.values())
                     for n in (3, 5, 7)}
        self.assertEqual(len(ubb), posts[3] + posts[5])
        self.assertEqual(len(php), posts[7])
        self.assertIn(f"`SPOOL\\UBBBOX\\` ({len(ubb)} articles", self.guide)
        self.assertIn(f"`SPOOL\\PHPBOX\\` ({len(php)} of", self.guide)
        ids = [h["Message-ID"] for h, _ in ubb + php]
        self.assertEqual(len(ids), len(set(ids)))
        for headers, body in ubb + php:
            self.assertNotIn("<img", body.lower(), f"a smiley the template lacks: {body!r}")
        for path, before in group_lists.items():
            self.assertEqual(inst.path(path).read_bytes(), before, f"{path} rewritten otherwise")
        log = inst.path("LOG\\QUORIX.LOG")
        self.assertEqual(log_messages(log)[-1], "    : END")
        if variant == "xp2":
            self.assertTrue(inst.path("LOG\\XP-PPP.LOG").is_file())
        else:
            # The first box's client folder gets the reader's log, for both boxes.
            client_log = inst.path("CLIENT\\UBBBOX\\XPCLIENT.LOG")
            self.assertTrue(client_log.is_file())
            self.assertFalse(inst.path("CLIENT\\PHPBOX\\XPCLIENT.LOG").exists())
            self.assertEqual({line.split(":")[0] for line in log_messages(client_log)
                              if "Reading Web/Grouplist" in line}, {"  #1", "  #2", "  #3"})

        # The guide's reply names a post that the first run delivered.
        reply = outgoing["SPOOL\\PHPBOX\\n0001.OUT"]
        referenced = re.search(r"^References: (\S+)\r$", reply, re.MULTILINE).group(1)
        self.assertIn(referenced, ids)

        # CrossPoint writes the guide's two outgoing articles; the next run posts them.
        for path, text in outgoing.items():
            inst.write(path, text)
        second = self.run_quorix(inst, boxes, timeout=180)
        self.assertEqual(second.returncode, 0, second.console)
        for path in outgoing:
            self.assertFalse(inst.path(path).exists(), f"{path} still in the spool")
        messages = log_messages(log)
        self.assertLinesInOrder(messages, [
            "  #3: Posting: SPOOL\\UBBBOX\\n0001.OUT", "  #3: Article posted",
            "  #3: Posting: SPOOL\\PHPBOX\\n0001.OUT", "  #3: Article posted"])
        self.harvest(inst, "UBBBOX"), self.harvest(inst, "PHPBOX")

        # The run after that delivers both posts back, with the footer.
        third = self.run_quorix(inst, boxes, timeout=180)
        self.assertEqual(third.returncode, 0, third.console)
        footer = "## CrossPoint, via QUORIX v0.23g"
        self.assertIn(f"footer `{footer}`", self.guide)
        new_ubb = [(h, b) for h, b in self.harvest(inst, "UBBBOX")
                   if "A new topic, written offline." in b]
        self.assertEqual(len(new_ubb), 1)
        self.assertEqual(new_ubb[0][0]["Subject"], "Hello from CrossPoint")
        self.assertIn(footer, new_ubb[0][1])
        new_php = [(h, b) for h, b in self.harvest(inst, "PHPBOX")
                   if "A reply, written offline." in b]
        self.assertEqual(len(new_php), 1)
        self.assertIn(referenced, new_php[0][0]["References"])
        self.assertIn(footer, new_php[0][1])
        sim.stop()


if __name__ == "__main__":
    unittest.main()
