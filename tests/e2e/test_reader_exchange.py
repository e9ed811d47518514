"""What the reader sends and what it is shown, end to end: outgoing articles
as the reader's exporter writes them (quoted-printable, base64), posted to a
UTF-8 and an ISO-8859-1 forum (form bodies byte for byte), and the References
of a long topic as the reader's importer can keep them."""

import base64
import email.header
import unittest
from datetime import datetime

from e2e.installation import group_list_text
from e2e.runner import log_messages, parse_rnews, spool_files
from e2e.support import E2ECase, problem
from forumsim.forumsim import ForumSim

DATE = datetime(2004, 10, 5, 22, 30)
POSTING = "#3"  # the posting thread's slot with two boxes
UBB_PATH = "/support/forums/postings.cgi"
NEWSREADER = "CrossPoint [XP2] v3.40"
FOOTER = f"[I]## {NEWSREADER}, via QUORIX v0.23g[/I]".encode()


def enc(data: bytes) -> str:
    """The gateway's form encoding of bytes."""
    out = []
    for byte in data:
        ch = chr(byte)
        if ch.isascii() and ch.isalnum():
            out.append(ch)
        elif ch == " ":
            out.append("+")
        else:
            out.append(f"%{byte:02X}")
    return "".join(out)


def exported(group: str, references: str, subject: bytes, charset: str, encoding: str,
             body: bytes) -> bytes:
    """An outgoing article as the reader's exporter writes it: LF line ends,
    a Lines header, MIME headers naming set and transfer encoding."""
    head = [b"Path: tester", b"From: Tester <tester@example.invalid>",
            b"Newsgroups: " + group.encode(), b"Subject: " + subject,
            b"Message-ID: <out1@example.invalid>", b"References: " + references.encode(),
            b"MIME-Version: 1.0", b"Content-Type: text/plain; charset=" + charset.encode(),
            b"Content-Transfer-Encoding: " + encoding.encode(),
            b"X-Newsreader: " + NEWSREADER.encode(),
            b"Lines: " + str(body.count(b"\n") + 1).encode()]
    return b"\n".join(head) + b"\n\n" + body + b"\n"


# The quoted-printable article: ISO-8859-1, a long line cut by a soft line
# break, the signature separator protected as "-- =".
QP_BODY = (b"Sch=F6ne Gr=FC=DFe, J=F6rg! Diese Zeile ist so lang, dass der Exporter sie =\n"
           b"mit einem weichen Umbruch teilt; 5 =3D 5.\n"
           b"-- =\n"
           b"\n"
           b"J=F6rg")
QP_TEXT = ["Schöne Grüße, Jörg! Diese Zeile ist so lang, dass der Exporter sie "
           "mit einem weichen Umbruch teilt; 5 = 5.", "------------------", "Jörg"]
# The base64 article: UTF-8, characters beyond ISO-8859-1 included.
B64_PLAIN = "Grüße aus der Datei – 5 €\n-- \nZoë\n"
B64_TEXT = ["Grüße aus der Datei – 5 €", "------------------", "Zoë"]


class ExportedArticles(E2ECase):
    def setUp(self):
        super().setUp()
        self.inst = self.installation("xp2")
        self.boxes = {}
        for charset, number, name, group, box in (
                ("utf-8", 9, "Umlaut Talk", "de.test.utf8", "UTFBOX"),
                ("iso-8859-1", 3, "General Talk", "de.test.latin", "LATBOX")):
            sim = ForumSim(clock=lambda: DATE).start()
            self.addCleanup(sim.stop)
            sim.add_forum("ubb", number, name, charset=charset)
            sim.add_topic(number, "Hallo", "Anna", "Erster Beitrag")
            b = self.inst.add_box(box, port=sim.port, template=sim.template_text("ubb"),
                                  web=sim.web_settings("ubb"))
            b.write(group_list_text([(group, name.replace(" ", "+"), number, 30)]))
            self.boxes[charset] = (sim, b, number, name, group)

    def test_quoted_printable_and_base64_to_both_forums(self):
        for charset, (sim, box, number, name, group) in self.boxes.items():
            ref = f"<{group}@forum{number}.000001.html.0.abc>"
            (box.spool_dir / "n0001.OUT").write_bytes(exported(
                group, ref, b"Re: =?ISO-8859-1?Q?Gr=FC=DFe?=", "ISO-8859-1", "quoted-printable",
                QP_BODY))
            (box.spool_dir / "n0002.OUT").write_bytes(exported(
                group, ref, b"=?UTF-8?B?" + base64.b64encode("Re: Zoë".encode()) + b"?=",
                "UTF-8", "base64",
                base64.encodebytes(B64_PLAIN.encode()).rstrip(b"\n")))
        result = self.run_quorix(self.inst, ["UTFBOX.BFG", "LATBOX.BFG"])
        lines = log_messages(self.log_path(self.inst))
        self.assertEqual(result.returncode, 0, "\n".join(lines))

        cases = [  # forum, file, subject, body lines
            ("utf-8", "Grüße", QP_TEXT), ("utf-8", "Zoë", B64_TEXT),
            ("iso-8859-1", "Grüße", QP_TEXT), ("iso-8859-1", "Zoë", B64_TEXT)]
        posts = {charset: [r for r in self.boxes[charset][0].requests if r.method == "POST"]
                 for charset in self.boxes}
        for charset in self.boxes:
            self.assertEqual(len(posts[charset]), 2, charset)
        for i, (charset, subject, text) in enumerate(cases):
            sim, box, number, name, group = self.boxes[charset]
            form_set = "utf-8" if charset == "utf-8" else "cp1252"
            body = b"\r\n" + b"".join(line.encode(form_set) + b"\r\n" for line in text) + FOOTER
            with self.subTest(forum=charset, subject=subject):
                post = posts[charset][i % 2]
                self.assertEqual(post.path, UBB_PATH)
                self.assertEqual(
                    post.body.decode("latin-1"),
                    "UserName=Tester&Password=secret&ReplyMessage=" + enc(body)
                    + "&Signature=no&action=postreply&TopicSubject=" + enc(subject.encode(form_set))
                    + f"&forum={name.replace(' ', '+')}&number={number}&topic=000001.cgi"
                    + "&SUBMIT=Submit+Reply")
        for charset in self.boxes:
            box = self.boxes[charset][1]
            self.assertEqual(list(box.spool_dir.glob("*.OUT")), [], charset)

    def test_malformed_encodings_are_posted_as_written_and_logged(self):
        sim, box, number, name, group = self.boxes["iso-8859-1"]
        ref = f"<{group}@forum{number}.000001.html.0.abc>"
        (box.spool_dir / "n0001.OUT").write_bytes(exported(
            group, ref, b"Re: x", "ISO-8859-1", "quoted-printable", b"1 = 1 und Gr=FC=DFe"))
        (box.spool_dir / "n0002.OUT").write_bytes(exported(
            group, ref, b"Re: y", "ISO-8859-1", "base64", b"das ist kein base64!"))
        result = self.run_quorix(self.inst, ["LATBOX.BFG"])
        lines = log_messages(self.log_path(self.inst))
        self.assertEqual(result.returncode, 0, "\n".join(lines))
        posts = [r.body.decode("latin-1") for r in sim.requests if r.method == "POST"]
        self.assertEqual(len(posts), 2)
        self.assertIn("&ReplyMessage=" + enc(b"\r\n1 = 1 und Gr\xfc\xdfe\r\n" + FOOTER) + "&", posts[0])
        self.assertIn("&ReplyMessage=" + enc(b"\r\ndas ist kein base64!\r\n" + FOOTER) + "&",
                      posts[1])
        self.assertIn(problem('Stray "=" in a quoted-printable body, kept as written: '
                              "SPOOL\\LATBOX\\n0001.OUT", "#2"), lines)
        self.assertIn(problem("Body is not valid base64, posted as written: "
                              "SPOOL\\LATBOX\\n0002.OUT", "#2"), lines)


class LongTopicReferences(E2ECase):
    def test_a_120_post_topic_keeps_first_and_parent_within_980_bytes(self):
        sim = ForumSim(clock=lambda: DATE, posts_per_page=40).start()
        self.addCleanup(sim.stop)
        sim.add_forum("ubb", 3, "General Talk")
        topic = sim.add_topic(3, "Long", "Bob", "post 0")
        for i in range(1, 120):
            sim.add_post(3, topic.id, "Bob", f"post {i}")
        inst = self.installation("xp2")
        box = inst.add_box("MYBOX", port=sim.port, template=sim.template_text("ubb"),
                           web=sim.web_settings("ubb"), posting="N")
        box.write(group_list_text([("de.test.forum", "General+Talk", 3, 30)]))
        self.assertEqual(self.run_quorix(inst, ["MYBOX.BFG"]).returncode, 0)
        articles = [a for path in spool_files(box.spool_dir) for a in parse_rnews(path.read_bytes())]
        self.assertEqual(len(articles), 120)
        ids = [a.split(b"\nMessage-ID: ", 1)[1].split(b"\n", 1)[0] for a in articles]
        for n in (1, 21, 22, 23, 84, 85, 119):
            head = articles[n].split(b"\n\n", 1)[0]
            # Unfolded (a continuation line starts with a blank).
            value = head.split(b"\nReferences: ", 1)[1].replace(b"\n ", b" ").split(b"\n", 1)[0]
            refs = value.split(b" ")
            with self.subTest(article=n):
                self.assertLessEqual(len(value), 980)
                self.assertEqual(refs[0], ids[0], "the first ID")
                self.assertEqual(refs[-1], ids[n - 1], "the parent last")
                self.assertEqual(refs[1:], ids[n - len(refs) + 1:n], "the latest ones")
                if n >= 23:
                    self.assertGreater(len(value), 980 - 60, "as many as fit")


class UbbDateZones(E2ECase):
    def test_box_zone_else_the_machines_at_that_date(self):
        sim = ForumSim(clock=lambda: DATE).start()
        self.addCleanup(sim.stop)
        sim.add_forum("ubb", 3, "General Talk")
        summer = sim.add_topic(3, "Summer", "Bob", "in October", date=DATE)
        sim.add_post(3, summer.id, "Ann", "a morning reply", date=datetime(2004, 10, 6, 9, 15))
        sim.add_topic(3, "Winter", "Bob", "in December", date=datetime(2004, 12, 5, 12, 5))
        cases = [  # WebTimeZone, TZ of the machine, dates
            (None, "CET-1CEST,M3.5.0,M10.5.0/3",
             ["05 Oct 2004 22:30:00 +0200", "06 Oct 2004 09:15:00 +0200",
              "05 Dec 2004 12:05:00 +0100"]),
            ("local", "EST5EDT,M4.1.0,M10.5.0",
             ["05 Oct 2004 22:30:00 -0400", "06 Oct 2004 09:15:00 -0400",
              "05 Dec 2004 12:05:00 -0500"]),
            ("+0100", "EST5EDT,M4.1.0,M10.5.0",
             ["05 Oct 2004 22:30:00 +0100", "06 Oct 2004 09:15:00 +0100",
              "05 Dec 2004 12:05:00 +0100"]),
            ("-0330", "UTC", ["05 Oct 2004 22:30:00 -0330", "06 Oct 2004 09:15:00 -0330",
                              "05 Dec 2004 12:05:00 -0330"]),
        ]
        ids = None
        for n, (zone, tz, dates) in enumerate(cases):
            with self.subTest(zone=zone, tz=tz):
                inst = self.installation("xp2", name=f"xp{n}")
                box = inst.add_box("MYBOX", port=sim.port, template=sim.template_text("ubb"),
                                   web=sim.web_settings("ubb"), posting="N")
                if zone is not None:
                    box.set("WebTimeZone", zone)
                box.write(group_list_text([("de.test.forum", "General+Talk", 3, 30)]))
                self.assertEqual(self.run_quorix(inst, ["MYBOX.BFG"], env={"TZ": tz}).returncode, 0)
                articles = [a for path in spool_files(box.spool_dir)
                            for a in parse_rnews(path.read_bytes())]
                heads = sorted((a.split(b"\nDate: ", 1)[1].split(b"\n", 1)[0].decode(),
                                a.split(b"\nMessage-ID: ", 1)[1].split(b"\n", 1)[0])
                               for a in articles)
                self.assertEqual(sorted(d for d, _ in heads), sorted(dates))
                # The zone is no part of the Message-ID.
                these = sorted(i for _, i in heads)
                ids = ids or these
                self.assertEqual(these, ids)


class NamedReferences(E2ECase):
    """A forum that writes every umlaut as a named reference delivers the
    same article as one that writes the characters themselves."""

    def harvest(self, named: bool, author: str, subject: str, body: str) -> bytes:
        sim = ForumSim(clock=lambda: DATE).start()
        self.addCleanup(sim.stop)
        sim.add_forum("ubb", 3, "General Talk", named_references=named)
        sim.add_topic(3, subject, author, body)
        inst = self.installation("xp2", name="named" if named else "plain")
        box = inst.add_box("MYBOX", port=sim.port, template=sim.template_text("ubb"),
                           web=sim.web_settings("ubb"), posting="N")
        box.write(group_list_text([("de.test.forum", "General+Talk", 3, 30)]))
        self.assertEqual(self.run_quorix(inst, ["MYBOX.BFG"]).returncode, 0)
        articles = [a for path in spool_files(box.spool_dir) for a in parse_rnews(path.read_bytes())]
        self.assertEqual(len(articles), 1)
        return articles[0]

    def test_in_body_subject_and_author(self):
        author = "Jörg & Müller"
        subject = "Grüße – 5 €"
        named = self.harvest(True, author, subject, "Schöne Grüße für 5\xa0€ – „ok“ &amp; gut")
        plain = self.harvest(False, author, subject, "Schöne Grüße für 5 € – „ok“ &amp; gut")
        without_id = [b"\n".join(line for line in a.split(b"\n") if not line.startswith(b"Message-ID: "))
                      for a in (named, plain)]
        self.assertEqual(without_id[0], without_id[1])
        self.assertIn(b"\nFrom: =?ISO-8859-1?Q?J=F6rg_=26_M=FCller?= <", named)
        self.assertIn(b"\nSubject: =?ISO-8859-1?Q?Gr=FC=DFe?= - 5 EUR\n", named)
        # The page's "&amp;amp;" (an ampersand written out) decodes once.
        self.assertTrue(named.endswith(
            "\n\nSchöne Grüße für 5 EUR - \"ok\" &amp; gut\n".encode("latin-1")), named)


class LongEncodedSubjects(E2ECase):
    """A subject of 150 umlauts kept 33 characters from a UTF-8 forum and 58
    from an ISO-8859-1 one; each header now takes the set and the encoding
    that keep the most within the reader's 244 bytes."""

    def test_most_characters_within_the_readers_limit(self):
        subject = "ä" * 150
        for charset, header_set in (("utf-8", "iso-8859-1"), ("iso-8859-1", "iso-8859-1")):
            with self.subTest(forum=charset):
                sim = ForumSim(clock=lambda: DATE).start()
                self.addCleanup(sim.stop)
                sim.add_forum("ubb", 3, "General Talk", charset=charset)
                sim.add_topic(3, subject, "Zoë Łukasz 😀 🐧", "x")
                inst = self.installation("xp2", name=charset)
                box = inst.add_box("MYBOX", port=sim.port, template=sim.template_text("ubb"),
                                   web=sim.web_settings("ubb"), posting="N")
                box.write(group_list_text([("de.test.forum", "General+Talk", 3, 30)]))
                self.assertEqual(self.run_quorix(inst, ["MYBOX.BFG"]).returncode, 0)
                article = [a for path in spool_files(box.spool_dir)
                           for a in parse_rnews(path.read_bytes())][0]
                value = article.split(b"\nSubject: ", 1)[1].split(b"\n", 1)[0].decode("ascii")
                self.assertLessEqual(len(value), 244)
                decoded = "".join(
                    part.decode(enc) if isinstance(part, bytes) else part
                    for part, enc in email.header.decode_header(value))
                self.assertGreaterEqual(len(decoded), 120, value)
                self.assertEqual(decoded, subject[:len(decoded)])
                self.assertTrue(value.startswith(f"=?{header_set.upper()}?B?"), value)
                name = article.split(b"\nFrom: ", 1)[1].split(b" <", 1)[0].decode("ascii")
                if charset == "utf-8":  # "Ł" and the penguin need UTF-8; the face is ASCII
                    self.assertEqual(name, "=?UTF-8?Q?Zo=C3=AB_=C5=81ukasz_=3A-D_=F0=9F=90=A7?=")


if __name__ == "__main__":
    unittest.main()
