"""Posting CrossPoint's outgoing articles to a UBB forum: the request path and
form body of each action byte for byte, and the outgoing file deleted only
when the forum confirmed the article."""

import unittest

from e2e.installation import group_list_text
from e2e.runner import log_messages
from e2e.support import E2ECase, progress

POSTING = "#2"  # the posting thread's slot with one box
FOOTER = "%5BI%5D%23%23+{}%2C+via+QUORIX+v0%2E23g%5B%2FI%5D"
UBB_GROUPS = [";forums of the test box", ("de.test.forum", "General+Talk", 3, 30)]
THREADS_GROUPS = [("de.php", "PHP+Corner", 7, 0)]


def footer(newsreader_encoded: str = "") -> str:
    return FOOTER.format(newsreader_encoded)


class PostingCase(E2ECase):
    """A box of one engine against the simulator, with outgoing files in its
    spool. No tests of its own."""

    engine = "ubb"

    def setUp(self):
        super().setUp()
        self.sim = self.simulator(**self.simulator_options())

    def simulator_options(self) -> dict:
        return {}

    def make_box(self, variant="xp2", groups=None, name="xp", **options):
        self.inst = self.installation(variant, name=name)
        self.box = self.inst.add_box(
            "MYBOX", port=self.sim.port, engine=self.engine,
            template=self.sim.template_text(self.engine),
            web=self.sim.web_settings(self.engine), **options)
        if groups is None:
            groups = UBB_GROUPS if self.engine == "ubb" else THREADS_GROUPS
        self.box.write(group_list_text(groups))
        return self.box

    def outgoing(self, name: str, lines, line_end: str = "\r\n"):
        """An outgoing article file of the given lines, each ended by `line_end`."""
        data = "".join(line + line_end for line in lines).encode("latin-1")
        return self.write_outgoing(name, data)

    def write_outgoing(self, name: str, data: bytes):
        path = self.box.spool_dir / name
        path.write_bytes(data)
        return path

    def run_box(self, *options, expect_exit=0):
        result = self.run_quorix(self.inst, ["MYBOX.BFG", *options])
        self.lines = log_messages(self.log_path(self.inst))
        if expect_exit is not None:
            self.assertEqual(result.returncode, expect_exit, "\n".join(self.lines))
        return result

    def posts(self) -> list:
        return [r for r in self.sim.requests if r.method == "POST"]

    def only_post(self):
        posts = self.posts()
        self.assertEqual(len(posts), 1, [p.path for p in posts])
        return posts[0]

    def assertPosted(self, path: str, body: str):
        post = self.only_post()
        self.assertEqual(post.path, path)
        self.assertEqual(post.body.decode("latin-1"), body)
        self.assertEqual(post.header("Content-Length"), str(len(post.body)))
        self.assertIn(progress("POST: " + path, POSTING), self.lines)

    def assertConfirmed(self, outgoing):
        self.assertFalse(outgoing.exists(), "a confirmed article leaves the spool")
        self.assertLinesInOrder(self.lines, [
            progress("Posting: SPOOL\\MYBOX\\" + outgoing.name, POSTING),
            progress("Article posted", POSTING)])

    def assertKept(self, outgoing, content: bytes):
        self.assertTrue(outgoing.exists(), "an unconfirmed article stays in the spool")
        self.assertEqual(outgoing.read_bytes(), content)
        self.assertIn(progress("Article not posted", POSTING), self.lines)

    def topic(self, forum: int, topic: int) -> dict:
        return self.sim.model.summary()[str(forum)]["topics"].get(str(topic))


UBB_PATH = "/support/forums/postings.cgi"
OWN_POST_ID = "<de.test.forum@forum3.000001.html.1.0badc0de>"


class UbbPosting(PostingCase):
    def test_new_topic(self):
        self.make_box()
        out = self.outgoing("n0001.OUT", [
            "Newsgroups: de.test.forum", "Subject: Good morning",
            "X-Newsreader: CrossPoint 3.40", "", "Hello forum,", "-- ", "Tester"])
        self.run_box()
        self.assertPosted(UBB_PATH,
                          "UserName=Tester&Password=secret&TopicSubject=Good+morning"
                          "&Message=%0D%0AHello+forum%2C%0D%0A" + "%2D" * 18 +
                          "%0D%0ATester%0D%0A" + footer("CrossPoint+3%2E40") +
                          "&number=3&forum=General+Talk&action=posttopic"
                          "&Submit=Submit+New+Topic")
        self.assertConfirmed(out)
        topics = self.sim.model.summary()["3"]["topics"]
        new = [t for t in topics.values() if t["subject"] == "Good morning"]
        self.assertEqual(len(new), 1)
        self.assertEqual(new[0]["posts"][0]["body"],
                         "\r\nHello forum,\r\n------------------\r\nTester\r\n"
                         "[I]## CrossPoint 3.40, via QUORIX v0.23g[/I]")

    def test_reply(self):
        self.make_box()
        out = self.outgoing("n0002.OUT", [
            "Newsgroups: de.test.forum", "Subject: Re: Hello",
            "References: <de.test.forum@forum3.000001.html.0.d6faa4a7> <x@y>",
            "User-Agent: Tester/1.0", "", "I agree."])
        self.run_box()
        self.assertPosted(UBB_PATH,
                          "UserName=Tester&Password=secret&ReplyMessage=%0D%0AI+agree%2E%0D%0A"
                          + footer("Tester%2F1%2E0") +
                          "&Signature=no&action=postreply&TopicSubject=Hello"
                          "&forum=General+Talk&number=3&topic=000001.cgi&SUBMIT=Submit+Reply")
        self.assertConfirmed(out)
        posts = self.topic(3, 1)["posts"]
        self.assertEqual([p["author"] for p in posts], ["Bob", "Tester"])

    def test_edit(self):
        self.sim.add_post(3, 1, "Tester", "my first words")
        self.make_box()
        out = self.outgoing("N0003.OUT", [
            "Newsgroups: de.test.forum", "Subject: Re: Hello", "Supersedes: " + OWN_POST_ID,
            "", "Corrected text."])
        self.run_box()
        self.assertPosted(UBB_PATH,
                          "UserName=Tester&Password=secret&EditedMessage=%0D%0ACorrected+text%2E"
                          "%0D%0A&action=submitedit&TopicSubject=Hello&forum=General+Talk"
                          "&ReplyNum=000001&number=3&topic=000001.cgi&SUBMIT=Submit+Now")
        self.assertConfirmed(out)
        self.assertEqual(self.topic(3, 1)["posts"][1]["body"], "\r\nCorrected text.\r\n")

    def test_delete(self):
        self.sim.add_post(3, 1, "Tester", "regrettable")
        self.make_box()
        out = self.outgoing("n0004.out", [
            "Newsgroups: de.test.forum", "Subject: cancel", "References: " + OWN_POST_ID,
            "Control: cancel " + OWN_POST_ID, "", "cancel"])
        self.run_box()
        self.assertPosted(UBB_PATH,
                          "DeletePost=yes&UserName=Tester&Password=secret"
                          "&EditedMessage=%0D%0Acancel%0D%0A&action=submitedit"
                          "&TopicSubject=cancel&forum=General+Talk&ReplyNum=000001&number=3"
                          "&topic=000001.cgi&SUBMIT=Submit+Now")
        self.assertConfirmed(out)
        self.assertEqual([p["author"] for p in self.topic(3, 1)["posts"]], ["Bob"])

    def test_refused_article_stays(self):
        self.make_box()
        lines = ["Newsgroups: de.test.forum", "Subject: Re: Hello",
                 "Supersedes: <de.test.forum@forum3.000001.html.0.d6faa4a7>", "", "Not mine."]
        out = self.outgoing("n0005.OUT", lines)
        self.run_box()
        self.only_post()  # sent, but Bob's post may not be edited by Tester
        self.assertKept(out, "".join(l + "\r\n" for l in lines).encode("latin-1"))
        self.assertIn("You may only change your own posts.",
                      (self.inst.root / "POSTED.HTML").read_bytes().decode("latin-1"))

    def test_password_is_form_encoded(self):
        self.sim.users["Tester"] = "s&e c=r%t"
        self.make_box(password="s&e c=r%t")
        out = self.outgoing("n0006.OUT", ["Newsgroups: de.test.forum", "Subject: Pw", "", "x"])
        self.run_box()
        expected = b"UserName=Tester&Password=s%26e+c%3Dr%25t&TopicSubject=Pw&"
        self.assertEqual(self.only_post().body[:len(expected)], expected)
        self.assertConfirmed(out)

    def test_nopost_sends_nothing_and_keeps_every_file(self):
        self.make_box()
        files = [self.outgoing(f"n000{i}.OUT", ["Newsgroups: de.test.forum",
                                                f"Subject: S{i}", "", "x"])
                 for i in range(1, 4)]
        self.run_box("/NOPOST")
        self.assertEqual(self.posts(), [])
        self.assertTrue(all(f.exists() for f in files))
        self.assertFalse(any(l.startswith("  #2: Posting: ") for l in self.lines))

    def test_posted_html_holds_the_last_answer(self):
        self.make_box()
        self.outgoing("n0001.OUT", ["Newsgroups: de.test.forum", "Subject: Fine", "", "x"])
        self.outgoing("n0002.OUT", ["Newsgroups: de.test.forum", "Subject: Re: None",
                                    "References: <de.test.forum@forum3.000099.html.0.ab>",
                                    "", "x"])
        self.run_box()
        posts = self.posts()
        self.assertEqual(len(posts), 2)
        posted = (self.inst.root / "POSTED.HTML").read_bytes().decode("latin-1")
        self.assertTrue(posted.startswith("HTTP/1.0 200 OK\r\n"), posted[:80])
        last_was_reply = b"action=postreply" in posts[-1].body
        self.assertEqual("<b>Error</b>" in posted, last_was_reply, posted)
        self.assertEqual("Your post has been added" in posted, not last_was_reply, posted)

    def test_crlf_and_lf_files_post_the_same(self):
        self.make_box()
        lines = ["Newsgroups: de.test.forum", "Subject: Same", "", "one", "", "two"]
        crlf = self.outgoing("n0001.OUT", lines, "\r\n")
        lf = self.outgoing("n0002.OUT", lines, "\n")
        self.run_box()
        bodies = [p.body for p in self.posts()]
        self.assertEqual(len(bodies), 2)
        self.assertEqual(bodies[0], bodies[1])
        self.assertIn(b"&Message=%0D%0Aone%0D%0A%0D%0Atwo%0D%0A%5BI%5D", bodies[0])
        self.assertFalse(crlf.exists() or lf.exists())

    def test_failed_connections_keep_the_file(self):
        lines = ["Newsgroups: de.test.forum", "Subject: Lost", "", "x"]
        for mode, params in (("fail", {}), ("close_after", {"bytes": 20}),
                             ("garbage", {"bytes": 300}), ("reset", {})):
            with self.subTest(mode):
                self.sim.clear_misbehaviour()
                self.sim.clear_requests()
                self.sim.misbehave(mode, "postings.cgi", **params)
                self.make_box(name="xp-" + mode)
                out = self.outgoing("n0001.OUT", lines)
                self.run_box()
                self.only_post()
                self.assertKept(out, "".join(l + "\r\n" for l in lines).encode("latin-1"))

    def test_empty_success_texts_never_confirm(self):
        self.sim.texts.update(post_ok="", edit_ok="", dele_ok="")
        self.make_box()
        lines = ["Newsgroups: de.test.forum", "Subject: Unconfirmed", "", "x"]
        out = self.outgoing("n0001.OUT", lines)
        self.run_box()
        self.only_post()
        self.assertKept(out, "".join(l + "\r\n" for l in lines).encode("latin-1"))


if __name__ == "__main__":
    unittest.main()
