"""Every request ends: a server that drips its answer (a byte every half
second, so each receive gets a byte within WebTimeOut) or never answers cannot
hold the run. With WebTimeOut=1 a request is cut after 8 seconds, logged, and its
partial answer is never taken for a page; the run goes on and ends."""

import time
import unittest

from e2e.runner import parse_rnews, spool_files
from e2e.support import problem
from e2e.test_posting import POSTING, UBB_PATH, PostingCase

FETCH = "#1"
LIST = "forumdisplay.cgi"
PAGE = "/support/forums/Forum3/HTML/000001.html"
BOUND = 8  # seconds: 8 x WebTimeOut


class RequestBounds(PostingCase):
    # (what, path the fault hits, mode, params, slot that logs the cut)
    CASES = [
        ("topic list drips", LIST, "drip", {"interval": 0.5}, FETCH),
        ("topic page drips", PAGE, "drip", {"interval": 0.5}, FETCH),
        ("posting form answer drips", UBB_PATH, "drip", {"interval": 0.5}, POSTING),
        ("topic page stalls", PAGE, "stall", {}, None),
    ]

    def test_runs_end_within_their_bound(self):
        for number, (what, path, mode, params, cut_by) in enumerate(self.CASES):
            with self.subTest(what):
                self.sim = self.simulator()
                self.make_box(name=f"case{number}", timeout=1)
                self.outgoing("n0001.OUT", ["Newsgroups: de.test.forum", "Subject: New",
                                            "", "Some text."])
                self.sim.misbehave(mode, path, **params)
                start = time.monotonic()
                self.run_box(expect_exit=None)
                took = time.monotonic() - start
                self.assertLess(took, 4 * BOUND, "one cut request and the rest of the run")
                if cut_by is not None:
                    request = next(r.path for r in self.sim.requests if path in r.path)
                    self.assertIn(problem(f"Request to 127.0.0.1 cut after {BOUND} seconds: "
                                          + request, cut_by), self.lines)
                    self.assertGreaterEqual(took, BOUND)
                if path == PAGE:
                    delivered = [a for f in spool_files(self.box.spool_dir)
                                 for a in parse_rnews(f.read_bytes())]
                    self.assertEqual(delivered, [], "no article from a page not read whole")


if __name__ == "__main__":
    unittest.main()
