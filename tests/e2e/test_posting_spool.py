"""The outgoing spool as a whole: which files are offered, the pause between
them, and files that are empty, damaged or too large."""

import threading
import time
import unittest

from e2e.support import problem, progress
from e2e.test_posting import POSTING, PostingCase

ARTICLE = ["Newsgroups: de.test.forum", "Subject: Spooled", "", "text"]


class PostTimes:
    """Records when each POST reaches the simulator while a run goes on."""

    def __init__(self, sim):
        self.sim = sim
        self.times = []
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._watch, daemon=True)

    def _watch(self):
        seen = 0
        while not self._stop.is_set():
            count = sum(1 for r in self.sim.requests if r.method == "POST")
            now = time.monotonic()
            self.times.extend([now] * (count - seen))
            seen = count
            self._stop.wait(0.005)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join(timeout=10)


class OutgoingSpool(PostingCase):
    def test_nothing_to_send(self):
        self.make_box()
        self.run_box()
        self.assertIn(progress("Nothing to send to 127.0.0.1", POSTING), self.lines)
        self.assertEqual(self.posts(), [])

    def test_flooding_control_spaces_the_files(self):
        self.make_box(flooding=1)
        for i in range(1, 4):
            self.outgoing(f"n000{i}.OUT", ARTICLE)
        with PostTimes(self.sim) as post_times:
            self.run_box()
        self.assertEqual(len(self.posts()), 3)
        self.assertEqual(len(post_times.times), 3)
        gaps = [b - a for a, b in zip(post_times.times, post_times.times[1:])]
        self.assertTrue(all(gap >= 0.95 for gap in gaps), gaps)
        self.assertEqual(sum(1 for l in self.lines if l == progress("Article posted", POSTING)), 3)

    def test_name_pattern(self):
        self.make_box()
        offered = ["n0001.OUT", "N0002.OUT", "n00a3.out"]
        ignored = ["n001.OUT", "n00001.OUT", "x0001.OUT", "n0001.OUT.BAK", "N000000.msg"]
        for name in offered + ignored:
            self.outgoing(name, ARTICLE)
        self.run_box()
        posting = sorted(l.rsplit("\\", 1)[1] for l in self.lines
                         if l.startswith(progress("Posting: ", POSTING)))
        self.assertEqual(posting, sorted(offered))
        self.assertEqual(len(self.posts()), 3)
        for name in ignored:
            self.assertTrue((self.box.spool_dir / name).exists(), name)

    def test_three_files_are_posted_in_name_order(self):
        """Written out of order (and so listed in another order than their
        names), the files reach the forum in the order of their names, letter
        case ignored, as the reader numbers them."""
        self.make_box()
        names = ["n0002.OUT", "N0003.OUT", "n0001.OUT"]  # the order they are written in
        for name in names:
            self.outgoing(name, ["Newsgroups: de.test.forum", f"Subject: Topic {name[1:5]}",
                                 "", f"text of {name}"])
        self.run_box()
        posting = [l.rsplit("\\", 1)[1] for l in self.lines
                   if l.startswith(progress("Posting: ", POSTING))]
        self.assertEqual(posting, ["n0001.OUT", "n0002.OUT", "N0003.OUT"])
        subjects = [p.body.decode("latin-1").split("&TopicSubject=", 1)[1].split("&", 1)[0]
                    for p in self.posts()]
        self.assertEqual(subjects, ["Topic+0001", "Topic+0002", "Topic+0003"])
        topics = self.sim.model.summary()["3"]["topics"].values()
        self.assertEqual([t["subject"] for t in topics][-3:],
                         ["Topic 0001", "Topic 0002", "Topic 0003"])

    def test_unknown_engine_posts_nothing(self):
        self.make_box()
        self.box.set("client", "UBB")
        self.box.write(None)
        files = [self.outgoing(f"n000{i}.OUT", ARTICLE) for i in (1, 2)]
        self.run_box()
        self.assertEqual(self.posts(), [])
        self.assertTrue(all(f.exists() for f in files))

    def test_bad_outgoing_files(self):
        self.make_box()
        crlf = lambda lines: "".join(l + "\r\n" for l in lines).encode("latin-1")
        files = {
            # Never sent: nothing in them, or too large to be a post.
            "n0001.OUT": (b"", False),
            "n0002.OUT": (b"\r\n\n\r\n", False),
            "n0003.OUT": (b"Subject: big\n\n" + b"x" * (17 * 1024 * 1024) + b"\n", False),
            # Sent and refused by the forum: kept.
            "n0004.OUT": (bytes(range(256)) * 40, True),
            "n0005.OUT": (crlf(["Newsgroups: de.test.forum", "Subject: Re: odd",
                                "References: no-at-sign", "", "x"]), True),
            "n0006.OUT": (crlf(["Newsgroups: de.test.forum", "Subject: Re: odd",
                                "Supersedes: <@@@>", "Control:", "", "x"]), True),
            "n0007.OUT": (crlf(["Newsgroups: de.unknown", "Subject: Where?", "", "x"]), True),
        }
        # Sent and confirmed: headers without a body, and a large body.
        confirmed = {
            "n0008.OUT": crlf(["Newsgroups: de.test.forum", "Subject: Only headers"]),
            "n0009.OUT": crlf(["Newsgroups: de.test.forum", "Subject: Long", ""] +
                              ["line %d of a long article" % i for i in range(50000)]),
        }
        for name, (data, _) in files.items():
            self.write_outgoing(name, data)
        for name, data in confirmed.items():
            self.write_outgoing(name, data)
        self.run_box()
        for name in list(files) + list(confirmed):
            self.assertIn(progress("Posting: SPOOL\\MYBOX\\" + name, POSTING), self.lines)
        for name, (data, sent) in files.items():
            self.assertEqual((self.box.spool_dir / name).read_bytes(), data, name)
        for name in confirmed:
            self.assertFalse((self.box.spool_dir / name).exists(), name)
        self.assertEqual(len(self.posts()), 4 + 2)
        self.assertIn(problem("Empty article: SPOOL\\MYBOX\\n0001.OUT", POSTING), self.lines)
        self.assertIn(problem("Article too large: SPOOL\\MYBOX\\n0003.OUT", POSTING), self.lines)
        outcomes = [l for l in self.lines
                    if l in (progress("Article posted", POSTING),
                             progress("Article not posted", POSTING))]
        self.assertEqual(len(outcomes), 9, "one outcome line per file")


if __name__ == "__main__":
    unittest.main()
