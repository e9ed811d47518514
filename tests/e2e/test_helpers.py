"""The end-to-end helpers themselves: installation files, log and spool
readers (no binary needed)."""

import tempfile
import unittest
from pathlib import Path

from e2e.installation import (CLIENT_KEYS, Installation, create_installation,
                              group_list_text, program_file, xpoint_cfg_text)
from e2e.runner import parse_article, parse_log_line, parse_rnews, read_log, spool_files


class InstallationFiles(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.root = Path(tmp.name)

    def test_xp2_version_mark_position_counts_from_one(self):
        for position in (35, 36, 37):
            text = xpoint_cfg_text("xp2", position)
            self.assertEqual(text.find(" (XP2)") + 1, position)
        self.assertNotIn("(XP2)", xpoint_cfg_text("xp2", None))

    def test_program_file_holds_only_the_given_markers(self):
        data = program_file([(31998, "XP2")], size=40_000).upper()
        for marker in (b"OPENXP", b"FREEXP", b"XP.D", b"WWW.XP2.DE"):
            self.assertNotIn(marker, data)
        self.assertEqual(data.find(b"XP2"), 31998)

    def test_files_of_a_lower_case_installation(self):
        inst = create_installation(self.root, "openxp", lower_case=True, link_binary=False)
        box = inst.add_box("MYBOX", port=8080)
        box.write(group_list_text([("de.a", "Forum+One", 1, 20)]))
        names = sorted(p.name for p in self.root.iterdir() if p.is_file())
        self.assertEqual(names, ["boxen.db1", "mybox.bfg", "xp.exe", "xpoint.cfg"])
        self.assertEqual(box.group_list.read_bytes(), b"de.a,Forum+One,1,20\r\n")
        text = (self.root / "mybox.bfg").read_bytes().decode("latin-1")
        self.assertIn("Client-WebPort=8080\r\n", text)
        self.assertIn("Client-Path=CLIENT\\MYBOX\\\r\n", text)
        self.assertEqual(box.client_dir, self.root / "CLIENT" / "MYBOX")

    def test_box_settings_by_style(self):
        inst = Installation(self.root, "freexp")
        box = inst.add_box("B")
        box.set("password", "pw")
        self.assertEqual(box.get("password"), "pw")
        self.assertIn((CLIENT_KEYS["password"], "pw"), box.keys)
        box.unset("password")
        self.assertIsNone(box.get("password"))


class Readers(unittest.TestCase):
    def test_log_line_fields(self):
        line = parse_log_line("! 14:03:59  QUORIX #2: Error: parsing file")
        self.assertEqual((line.mark, line.time, line.tag, line.message),
                         ("! ", "14:03:59", "#2", "Error: parsing file"))
        self.assertEqual(line.untimed, "! #2: Error: parsing file")
        self.assertEqual(parse_log_line("  14:05:12  QUORIX   : END").untimed, "    : END")
        self.assertIsNone(parse_log_line("continued text").mark)

    def test_log_with_bare_line_feed_is_rejected(self):
        with tempfile.NamedTemporaryFile() as f:
            f.write(b"  14:05:12  QUORIX   : a\nb\r\n")
            f.flush()
            with self.assertRaises(AssertionError):
                read_log(f.name)

    def test_rnews_batch(self):
        article = b"Path: quorix!localhost\nSubject: x\n\nbody\n"
        batch = b"#! rnews %d\n%s" % (len(article), article)
        self.assertEqual(parse_rnews(batch * 2), [article, article])
        for bad in (batch[:-1], b"x" + batch, batch + b"\n", b"#! rnews 0\n"):
            with self.assertRaises(ValueError):
                parse_rnews(bad)
        headers, body = parse_article(article)
        self.assertEqual(headers, [("Path", "quorix!localhost"), ("Subject", "x")])
        self.assertEqual(body, b"body\n")

    def test_folded_header_lines_are_unfolded(self):
        # A line that begins with a blank or a tab continues the field before
        # it; unfolding removes only the line end.
        article = (b"Path: quorix!localhost\n"
                   b"Subject: =?ISO-8859-1?Q?Gr=FC=DFe_aus_K=F6ln_und_eine_lange?=\n"
                   b" =?ISO-8859-1?Q?_Betreffzeile?=\n"
                   b"Message-ID: <demo.general@forum3.000001.html.21.b53ba780>\n"
                   b"References: <demo.general@forum3.000001.html.0.a1>\n"
                   b" <demo.general@forum3.000001.html.1.b2>\n"
                   b"\t<demo.general@forum3.000001.html.2.c3>\n"
                   b"Lines: 1\n\nbody\n")
        headers, body = parse_article(article)
        self.assertEqual(headers, [
            ("Path", "quorix!localhost"),
            ("Subject", "=?ISO-8859-1?Q?Gr=FC=DFe_aus_K=F6ln_und_eine_lange?="
                        " =?ISO-8859-1?Q?_Betreffzeile?="),
            ("Message-ID", "<demo.general@forum3.000001.html.21.b53ba780>"),
            ("References", "<demo.general@forum3.000001.html.0.a1>"
                           " <demo.general@forum3.000001.html.1.b2>"
                           "\t<demo.general@forum3.000001.html.2.c3>"),
            ("Lines", "1")])
        self.assertEqual(body, b"body\n")

    def test_malformed_header_lines_are_refused(self):
        for head in (b" <continues nothing>", b"Subject: x\n \t", b"Subject x",
                     b": no name", b"Sub ject: x", b"Subject: x\nbroken"):
            with self.subTest(head=head), self.assertRaises(ValueError):
                parse_article(head + b"\n\nbody\n")

    def test_spool_file_names(self):
        with tempfile.TemporaryDirectory() as tmp:
            for name in ("N000001.msg", "N000000.MSG", "n12.OUT", "N1234567.msg"):
                (Path(tmp) / name).write_bytes(b"")
            self.assertEqual([p.name for p in spool_files(tmp)], ["N000000.MSG", "N000001.msg"])


if __name__ == "__main__":
    unittest.main()
