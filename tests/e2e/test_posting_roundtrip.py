"""A round trip through CrossPoint: a forum post is harvested, answered with a
References line naming its Message-ID, posted back as a reply into the same
forum and topic, and the next harvest delivers that reply, which replaces the
reader's copy of the answer (Supersedes naming the outgoing Message-ID); a
third run delivers nothing."""

import unittest

from e2e.runner import parse_article, parse_rnews, spool_files
from e2e.test_posting import PostingCase

OUTGOING_ID = "<n0001.1a2b@tester.example.invalid>"


class RoundTrip(PostingCase):
    def harvest(self) -> list:
        """Runs the box and takes the delivered articles out of the spool, as
        CrossPoint does: [(headers as dict, body)]."""
        self.run_box()
        articles = []
        for path in spool_files(self.box.spool_dir):
            for raw in parse_rnews(path.read_bytes()):
                headers, body = parse_article(raw)
                articles.append((dict(headers), body))
            path.unlink()
        return articles

    def round_trip(self, forum: int, topic: int):
        self.make_box()
        delivered = self.harvest()
        self.assertEqual(len(delivered), 1)
        headers, _ = delivered[0]
        message_id = headers["Message-ID"]

        answer = self.outgoing("n0001.OUT", [
            "Newsgroups: " + headers["Newsgroups"], "Subject: Re: " + headers["Subject"],
            "Message-ID: " + OUTGOING_ID,
            "References: " + message_id, "X-Newsreader: CrossPoint", "",
            "An answer written in CrossPoint."])
        self.assertEqual(self.harvest(), [], "nothing new before the answer is posted")
        self.assertFalse(answer.exists())
        posts = self.topic(forum, topic)["posts"]
        self.assertEqual([p["author"] for p in posts][-1], "Tester")
        self.assertEqual(len(posts), 2)

        delivered = self.harvest()
        self.assertEqual(len(delivered), 1, delivered)
        headers, body = delivered[0]
        self.assertIn(message_id, headers.get("References", ""))
        self.assertEqual(headers["Newsgroups"], self.groups_newsgroup)
        self.assertIn(b"An answer written in CrossPoint.", body)
        self.assertEqual(headers.get("Supersedes"), OUTGOING_ID)
        self.assertNotEqual(headers["Message-ID"], OUTGOING_ID)
        self.assertFalse(self.inst.path("QUORIX.PND").exists(), "its record went")
        self.assertEqual(self.harvest(), [], "nothing new in the third run")

    def test_ubb(self):
        self.groups_newsgroup = "de.test.forum"
        self.round_trip(3, 1)

    def test_threads(self):
        self.engine = "threads"
        self.groups_newsgroup = "de.php"
        self.round_trip(7, 4701)


if __name__ == "__main__":
    unittest.main()
