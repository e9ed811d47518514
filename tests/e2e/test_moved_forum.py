"""A forum that moved: a redirect on a topic list or a topic page is not
followed but logged with the new address, and a topic list that answers with
another status than 200 is logged as no forum page."""

import unittest

from e2e.installation import group_list_text
from e2e.runner import log_messages
from e2e.support import E2ECase, problem

UBB_LIST = ("/support/forums/forumdisplay.cgi?action=topics&forum=General+Talk"
            "&number=3&DaysPrune=30&LastLogin=")
UBB_TOPIC = "/support/forums/Forum3/HTML/000001.html"
MOVED = "https://forum.example/support/forums/"


class MovedForum(E2ECase):
    def run_box(self, name):
        inst = self.installation("xp2", name=name)
        box = inst.add_box("MYBOX", port=self.sim.port, template=self.sim.template_text("ubb"),
                           web=self.sim.web_settings("ubb"), posting="N")
        box.write(group_list_text([("de.test.forum", "General+Talk", 3, 30)]))
        self.sim.clear_requests()
        self.run_quorix(inst, ["MYBOX.BFG"])
        return log_messages(self.log_path(inst), "#1")

    def test_redirects_and_other_statuses_are_reported_not_followed(self):
        self.sim = self.simulator()
        cases = [
            ("list301", UBB_LIST, f"HTTP/1.0 301 Moved Permanently\r\nLocation: {MOVED}\r\n\r\n",
             f"Forum moved: {UBB_LIST} answers 301, new address {MOVED}"),
            ("page308", UBB_TOPIC, f"HTTP/1.1 308 Permanent Redirect\r\nLocation: {MOVED}x\r\n\r\n",
             f"Forum moved: {UBB_TOPIC} answers 308, new address {MOVED}x"),
            ("list404", UBB_LIST, "HTTP/1.0 404 Not Found\r\n\r\n<html>gone</html>",
             f"Not a forum page: {UBB_LIST} answers status 404"),
        ]
        for name, path, answer, line in cases:
            with self.subTest(name):
                self.sim.clear_misbehaviour()
                self.sim.misbehave("raw", path=path, match="exact", data=answer)
                lines = self.run_box(name)
                self.assertIn(problem(line, "#1"), lines)
                requested = [r.path for r in self.sim.requests]
                self.assertNotIn("/support/forums/x", requested)
                self.assertFalse([p for p in requested if "forum.example" in p])


if __name__ == "__main__":
    unittest.main()
