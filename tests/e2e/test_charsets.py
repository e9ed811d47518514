"""Character sets end to end: a UTF-8 forum and an ISO-8859-1 forum, each a
box of one installation, harvested and posted to in both directions. The
spool articles and the form bodies are compared byte for byte; an edited
post arrives with Supersedes naming the version it replaces."""

import unittest
import zlib
from datetime import datetime

from e2e.installation import group_list_text
from e2e.runner import log_messages, parse_rnews, spool_files
from e2e.support import E2ECase, progress
from forumsim.forumsim import ForumSim
from forumsim.markup import render_body

DATE = datetime(2004, 10, 5, 22, 30)
POSTING = "#3"  # the posting thread's slot with two boxes
UBB_PATH = "/support/forums/postings.cgi"
FOOTER = b"[I]## CrossPoint, via QUORIX v0.23g[/I]"

UTF_SUBJECT = "Grüße aus Köln – 5 €"
UTF_AUTHOR = "Jörg Müller"
UTF_BODY = "Schöne Grüße — „Zitat“ … 😀"
LATIN_SUBJECT = "Grüße für Anna"
LATIN_AUTHOR = "Jörg"
LATIN_BODY = "Schöne Grüße für 5 €"  # the page carries the euro sign as &#8364;


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


def crc(body: str, charset: str) -> str:
    rendered = render_body("ubb", body).encode("latin-1", errors="xmlcharrefreplace") \
        if charset == "iso-8859-1" else render_body("ubb", body).encode("utf-8")
    return format(zlib.crc32(rendered), "x")


def article(from_, group, message_id, subject, body: bytes, charset=None, page="",
            references=None, supersedes=None) -> bytes:
    lines = [b"Path: quorix!localhost", b"From: " + from_, b"Reply-To: ",
             b"Newsgroups: " + group.encode(), b"Message-ID: " + message_id.encode()]
    if references:
        lines.append(b"References: " + references.encode())
    if supersedes:
        lines.append(b"Supersedes: " + supersedes.encode())
    lines += [b"Subject: " + subject, b"Date: 05 Oct 2004 22:30:00 +0000",
              b"X-Htmlpage: http://127.0.0.1/support/forums/" + page.encode()]
    if charset:
        lines += [b"MIME-Version: 1.0", b"Content-Type: text/plain; charset=" + charset,
                  b"Content-Transfer-Encoding: 8bit"]
    return b"\n".join(lines) + b"\n\n" + body + b"\n"


class Charsets(E2ECase):
    def setUp(self):
        super().setUp()
        self.utf = self.forum("utf-8", 9, "Umlaut Talk", UTF_SUBJECT, UTF_AUTHOR, UTF_BODY)
        self.latin = self.forum("iso-8859-1", 3, "General Talk", LATIN_SUBJECT, LATIN_AUTHOR,
                                LATIN_BODY)
        self.inst = self.installation("xp2")
        self.utf_box = self.box("UTFBOX", self.utf, ("de.test.utf8", "Umlaut+Talk", 9, 30))
        self.latin_box = self.box("LATBOX", self.latin, ("de.test.latin", "General+Talk", 3, 30))
        self.utf_id = f"<de.test.utf8@forum9.000001.html.0.{crc(UTF_BODY, 'utf-8')}>"
        self.latin_id = f"<de.test.latin@forum3.000001.html.0.{crc(LATIN_BODY, 'iso-8859-1')}>"

    def forum(self, charset, number, name, subject, author, body) -> ForumSim:
        sim = ForumSim(clock=lambda: DATE).start()
        self.addCleanup(sim.stop)
        sim.add_forum("ubb", number, name, charset=charset)
        sim.add_topic(number, subject, author, body)
        return sim

    def box(self, name, sim, entry):
        box = self.inst.add_box(name, port=sim.port, template=sim.template_text("ubb"),
                                web=sim.web_settings("ubb"))
        box.write(group_list_text([entry]))
        return box

    def run_boxes(self):
        for sim in (self.utf, self.latin):
            sim.clear_requests()
        result = self.run_quorix(self.inst, ["UTFBOX.BFG", "LATBOX.BFG"])
        self.lines = log_messages(self.log_path(self.inst))
        self.assertEqual(result.returncode, 0, "\n".join(self.lines))

    def delivered(self, box) -> list:
        """The articles in the box's spool (taken out, as CrossPoint does)."""
        articles = []
        for path in spool_files(box.spool_dir):
            articles += parse_rnews(path.read_bytes())
            path.unlink()
        return articles

    def outgoing(self, box, name, lines: list) -> object:
        path = box.spool_dir / name
        path.write_bytes(b"".join(line + b"\r\n" for line in lines))
        return path

    def only_post(self, sim):
        posts = [r for r in sim.requests if r.method == "POST"]
        self.assertEqual(len(posts), 1, [p.path for p in posts])
        self.assertEqual(posts[0].path, UBB_PATH)
        return posts[0].body.decode("latin-1")

    def test_round_trip_both_ways(self):
        # Forum to reader: the texts in the article's set, declared.
        self.run_boxes()
        self.assertEqual(self.delivered(self.utf_box), [article(
            b"=?ISO-8859-1?Q?J=F6rg_M=FCller?= <unknown@quorix.invalid>", "de.test.utf8",
            self.utf_id, b"=?ISO-8859-1?Q?Gr=FC=DFe_aus_K=F6ln?= - 5 EUR",
            "Schöne Grüße -- \"Zitat\" ... :-D".encode("utf-8"), b"UTF-8",
            "Forum9/HTML/000001.html")])
        self.assertEqual(self.delivered(self.latin_box), [article(
            b"=?ISO-8859-1?Q?J=F6rg?= <unknown@quorix.invalid>", "de.test.latin",
            self.latin_id, b"=?ISO-8859-1?Q?Gr=FC=DFe_f=FCr?= Anna",
            "Schöne Grüße für 5 EUR".encode("latin-1"), b"ISO-8859-1",
            "Forum3/HTML/000001.html")])

        # Reader to forum: an ISO-8859-1 reply (no Content-Type) to the UTF-8
        # forum, a declared UTF-8 reply to the ISO-8859-1 forum.
        to_utf = self.outgoing(self.utf_box, "n0001.OUT", [
            b"Newsgroups: de.test.utf8", "Subject: Re: Grüße".encode("latin-1"),
            b"References: " + self.utf_id.encode(), b"X-Newsreader: CrossPoint", b"",
            "Grüße zurück, 5 €".encode("cp1252")])
        to_latin = self.outgoing(self.latin_box, "n0001.OUT", [
            b"Newsgroups: de.test.latin", b"Subject: Re: Gr\xc3\xbc\xc3\x9fe",
            b"Content-Type: text/plain; charset=UTF-8", b"References: " + self.latin_id.encode(),
            b"X-Newsreader: CrossPoint", b"", "Grüße – 5 € 😀".encode("utf-8")])
        self.run_boxes()
        self.assertEqual(self.only_post(self.utf),
                         "UserName=Tester&Password=secret&ReplyMessage="
                         + enc(b"\r\n" + "Grüße zurück, 5 €\r\n".encode("utf-8") + FOOTER)
                         + "&Signature=no&action=postreply&TopicSubject="
                         + enc("Grüße".encode("utf-8"))
                         + "&forum=Umlaut+Talk&number=9&topic=000001.cgi&SUBMIT=Submit+Reply")
        self.assertEqual(self.only_post(self.latin),
                         "UserName=Tester&Password=secret&ReplyMessage="
                         + enc(b"\r\n" + "Grüße – 5 € ".encode("cp1252") + b"&#128512;\r\n" + FOOTER)
                         + "&Signature=no&action=postreply&TopicSubject="
                         + enc("Grüße".encode("latin-1"))
                         + "&forum=General+Talk&number=3&topic=000001.cgi&SUBMIT=Submit+Reply")
        self.assertFalse(to_utf.exists())
        self.assertFalse(to_latin.exists())
        self.assertEqual(self.utf.model.topic(9, 1).posts[1].body,
                         "\r\nGrüße zurück, 5 €\r\n" + FOOTER.decode())

        # The replies come back; the forum's edit of the first post arrives
        # with Supersedes naming the version the reader holds.
        self.utf.edit_post(9, 1, index=0, body="Schöne Grüße, korrigiert ✓")
        self.run_boxes()
        edited_id = f"<de.test.utf8@forum9.000001.html.0.{crc('Schöne Grüße, korrigiert ✓', 'utf-8')}>"
        utf_articles = self.delivered(self.utf_box)
        self.assertEqual(len(utf_articles), 2)
        self.assertEqual(utf_articles[0], article(
            b"=?ISO-8859-1?Q?J=F6rg_M=FCller?= <unknown@quorix.invalid>", "de.test.utf8",
            edited_id, b"=?ISO-8859-1?Q?Gr=FC=DFe_aus_K=F6ln?= - 5 EUR",
            "Schöne Grüße, korrigiert ✓".encode("utf-8"), b"UTF-8",
            "Forum9/HTML/000001.html", supersedes=self.utf_id))
        reply = utf_articles[1]
        self.assertTrue(reply.startswith(b"Path: quorix!localhost\nFrom: Tester <"), reply)
        self.assertIn(b"\nReferences: " + edited_id.encode() + b"\n", reply)
        self.assertIn(b"\nSubject: Re: =?ISO-8859-1?Q?Gr=FC=DFe_aus_K=F6ln?= - 5 EUR\n", reply)
        self.assertIn(b"\nContent-Type: text/plain; charset=UTF-8\n", reply)
        self.assertIn("\n\n\nGrüße zurück, 5 EUR\n".encode("utf-8"), reply)
        latin_articles = self.delivered(self.latin_box)
        self.assertEqual(len(latin_articles), 1)
        self.assertIn(b"\nContent-Type: text/plain; charset=ISO-8859-1\n", latin_articles[0])
        self.assertIn(b"\n\n\nGr\xfc\xdfe - 5 EUR &#128512;\n", latin_articles[0])
        self.assertNotIn(b"Supersedes", latin_articles[0])

        # A reply to the edited version posts into the same topic.
        answer = self.outgoing(self.utf_box, "n0002.OUT", [
            b"Newsgroups: de.test.utf8", b"Subject: Re: ok",
            b"References: " + edited_id.encode(), b"", b"fine"])
        self.run_boxes()
        self.assertIn("&topic=000001.cgi&", self.only_post(self.utf))
        self.assertFalse(answer.exists())
        self.assertIn(progress("Article posted", POSTING), self.lines)
        self.assertEqual([p.author for p in self.utf.model.topic(9, 1).posts],
                         [UTF_AUTHOR, "Tester", "Tester"])


class LongReferences(E2ECase):
    def test_trimmed_with_the_first_and_the_parent_last(self):
        sim = ForumSim(clock=lambda: DATE, posts_per_page=40).start()
        self.addCleanup(sim.stop)
        sim.add_forum("ubb", 3, "General Talk")
        topic = sim.add_topic(3, "Long", "Bob", "post 0")
        for i in range(1, 30):
            sim.add_post(3, topic.id, "Bob", f"post {i}")
        inst = self.installation("xp2")
        box = inst.add_box("MYBOX", port=sim.port, template=sim.template_text("ubb"),
                           web=sim.web_settings("ubb"), posting="N")
        box.write(group_list_text([("de.test.forum", "General+Talk", 3, 30)]))
        self.assertEqual(self.run_quorix(inst, ["MYBOX.BFG"]).returncode, 0)
        articles = [a for path in spool_files(box.spool_dir) for a in parse_rnews(path.read_bytes())]
        self.assertEqual(len(articles), 30)
        ids = [a.split(b"\nMessage-ID: ", 1)[1].split(b"\n", 1)[0] for a in articles]
        head = articles[-1].split(b"\n\n", 1)[0].split(b"\n")
        start = next(i for i, line in enumerate(head) if line.startswith(b"References: "))
        line = head[start]
        self.assertGreater(len(b" ".join(ids[:-1])), 980, "a chain of 29 IDs passes 980 bytes")
        self.assertLessEqual(len(line), len(b"References: ") + 980)
        refs = line[len(b"References: "):].split(b" ")
        self.assertEqual(refs[0], ids[0])
        self.assertEqual(refs[1:], ids[-len(refs):-1], "the latest IDs, the parent last")
        self.assertEqual(head[start + 1][:9], b"Subject: ")


if __name__ == "__main__":
    unittest.main()
