"""Posting across faults: a form that went out without an answer is never sent
blindly again. Each case runs the box until nothing changes any more and then
counts, over all runs, the forms the forum received, the posts it holds and the
articles delivered to CrossPoint: every post exactly once, and the outgoing
file gone once the forum was seen to hold it, or kept (and said so) when that
cannot be told."""

import unittest

from e2e.runner import parse_article, parse_rnews, spool_files
from e2e.support import problem, progress
from e2e.test_posting import POSTING, PostingCase

TEXT = "An answer that must reach the forum once."
PENDING = "QUORIX.PND"


class PostingFaults(PostingCase):
    def setUp(self):
        super().setUp()
        self.delivered = []

    def harvest(self, expect_exit=0):
        """One run; the delivered articles are taken out of the spool."""
        self.run_box(expect_exit=expect_exit)
        for path in spool_files(self.box.spool_dir):
            for raw in parse_rnews(path.read_bytes()):
                self.delivered.append(parse_article(raw))
            path.unlink()

    def forum_posts_with_text(self) -> list:
        return [p for t in self.sim.model.summary()["3"]["topics"].values()
                for p in t["posts"] if TEXT in p["body"]]

    def delivered_with_text(self) -> list:
        return [h for h, body in self.delivered if TEXT.encode() in body]

    def write_article(self, kind: str):
        lines = ["Newsgroups: de.test.forum", "X-Newsreader: CrossPoint"]
        if kind == "reply":
            first_id = dict(self.delivered[0][0])["Message-ID"]
            lines += ["Subject: Re: Hello", "References: " + first_id]
        else:
            lines += ["Subject: Fresh topic"]
        return self.outgoing("n0001.OUT", lines + ["", TEXT])

    # (what, article kind, fault on the form, forum takes the form)
    CASES = [
        ("reply, connection dropped after the forum took it", "reply",
         ("fail", {}), True),
        ("new topic, connection dropped after the forum took it", "topic",
         ("fail", {}), True),
        ("reply, answer cut after its first bytes", "reply",
         ("close_after", {"bytes": 40}), True),
        ("reply, forum stalls past the time-out after taking it", "reply",
         ("stall", {}), True),
        ("reply, connection dropped before the forum took it", "reply",
         ("fail", {}), False),
    ]

    def test_faults(self):
        for number, (what, kind, (mode, params), taken) in enumerate(self.CASES):
            with self.subTest(what):
                self.sim = self.simulator()
                self.delivered = []
                self.make_box(name=f"case{number}", timeout=1)
                self.harvest()  # the forum's posts, as CrossPoint has them
                outgoing = self.write_article(kind)

                self.sim.misbehave(mode, "postings.cgi", times=1, taken=taken, **params)
                self.harvest()
                after_fault = list(self.lines)
                self.assertTrue(outgoing.exists())
                self.harvest()
                self.harvest()
                # Forms sent, posts on the forum, articles delivered: all runs.
                self.assertEqual(
                    (len(self.posts()), len(self.forum_posts_with_text()),
                     len(self.delivered_with_text())),
                    (1, 1, 1) if taken else (1, 0, 0))
                self.assertIn(problem(f"No answer from the forum: SPOOL\\MYBOX\\{outgoing.name}"
                                      " is kept until the forum shows whether it has the"
                                      " article", POSTING), after_fault)
                if taken:
                    self.assertFalse(outgoing.exists())
                    self.assertIn(progress("Article already on the forum: SPOOL\\MYBOX\\"
                                           + outgoing.name, POSTING), self.lines)
                    self.assertFalse(self.inst.path(PENDING).exists())
                else:
                    self.assertTrue(outgoing.exists(), "what cannot be told stays")
                    self.assertIn(problem("Sent before without an answer, not found on the"
                                          f" forum since: SPOOL\\MYBOX\\{outgoing.name} is kept"
                                          " and not sent again, so that the forum cannot get"
                                          " it twice", POSTING), self.lines)


if __name__ == "__main__":
    unittest.main()
