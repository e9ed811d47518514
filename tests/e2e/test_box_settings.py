"""The web settings a box yields, seen where they matter: in the requests
that reach the forum simulator."""

import re
import unittest

from e2e.installation import group_list_text
from e2e.runner import log_messages
from e2e.support import E2ECase, error

FORUM = ("de.test.forum", "General+Talk", 3, 30)
UBB_LIST = ("/support/forums/forumdisplay.cgi?action=topics&forum=General+Talk"
            "&number=3&DaysPrune=30&LastLogin=")
THREADS_LIST = "/ubbthreads/postlist.php?Board=FOR7&page=0&view=collapsed&sb=5&o="


class BoxSettings(E2ECase):
    def setUp(self):
        super().setUp()
        self.sim = self.simulator()

    def box(self, variant, engine="ubb"):
        self.inst = self.installation(variant)
        return self.inst.add_box("MYBOX", port=self.sim.port, engine=engine,
                                 template=self.sim.template_text(engine),
                                 web=self.sim.web_settings(engine))

    def run_box(self, box, entries=(FORUM,)):
        box.write(group_list_text(entries))
        result = self.run_quorix(self.inst, ["MYBOX.BFG"])
        self.lines = log_messages(self.log_path(self.inst))
        return result

    def list_paths(self):
        return [r.path for r in self.sim.requests
                if "forumdisplay.cgi" in r.path or "postlist.php" in r.path]

    def test_request_lines_of_a_topic_list(self):
        box = self.box("xp2")
        self.assertEqual(self.run_box(box).returncode, 0, "\n".join(self.lines))
        first = self.sim.requests[0]
        self.assertRegex(first.head.decode("latin-1"), re.escape(
            f"GET {UBB_LIST} HTTP/1.0\r\nHost: 127.0.0.1\r\nReferer: 127.0.0.1\r\n"
            "User-Agent: Korvendale 3.50 (") + r"[^\r\n]*\)\r\n\r\n\Z")
        self.assertEqual(first.body, b"")

    def test_default_script_paths(self):
        box = self.box("xp2")
        box.unset("path")
        box.unset("topic")
        self.run_box(box)
        self.assertEqual(self.list_paths()[0],
                         "//support/forumsforumdisplay.cgi?action=topics&forum=General+Talk"
                         "&number=3&DaysPrune=30&LastLogin=")

    def test_ex_key_overrides(self):
        box = self.box("xp2")
        box.set("port", 1)
        box.keys.insert(0, ("ExWebPort", str(self.sim.port)))
        self.run_box(box)
        self.assertEqual(self.list_paths(), [UBB_LIST])

    def test_key_only_in_companion_file(self):
        box = self.box("xp2")
        box.unset("server")
        box.unset("port")
        box.companion = f"WebServer=127.0.0.1\r\nWebPort={self.sim.port}\r\n"
        self.run_box(box)
        self.assertEqual(self.list_paths(), [UBB_LIST])

    def test_box_file_wins_over_companion_file(self):
        box = self.box("xp2")
        box.companion = "WebServer=x.invalid\r\nWebPort=1\r\n"
        self.run_box(box)
        self.assertEqual(self.list_paths(), [UBB_LIST])

    def test_client_style_keys(self):
        box = self.box("openxp")
        self.assertEqual(box.get("server"), "127.0.0.1")
        self.assertIn(("Client-WebServer", "127.0.0.1"), box.keys)
        self.run_box(box)
        self.assertEqual(self.list_paths(), [UBB_LIST])

    def test_client_style_ignores_the_xp2_server_keys(self):
        box = self.box("freexp")
        box.unset("server")
        box.unset("port")
        box.keys += [("WebServer", "127.0.0.1"), ("WebPort", str(self.sim.port))]
        self.run_box(box)
        self.assertEqual(self.sim.requests, [])
        self.assertIn(error("No WebBBS-Server specified", "#1"), self.lines)

    def test_engine_names(self):
        for value, expected in (("threads", [THREADS_LIST]), ("UbbThread", [THREADS_LIST]),
                                ("cgi", [UBB_LIST]), ("UBB", [])):
            with self.subTest(value):
                self.sim.clear_requests()
                engine = "threads" if expected == [THREADS_LIST] else "ubb"
                inst_name = f"engine-{value}"
                self.inst = self.installation("xp2", name=inst_name)
                box = self.inst.add_box("MYBOX", port=self.sim.port, engine=engine,
                                        web=self.sim.web_settings(engine),
                                        template=self.sim.template_text(engine))
                box.set("client", value)
                entry = ("de.php", "PHP+Corner", 7, 0) if engine == "threads" else FORUM
                self.run_box(box, [entry])
                self.assertEqual(self.list_paths(), expected)

    def test_only_group_list_entries_are_scanned(self):
        box = self.box("openxp")
        self.run_box(box, [";de.comment,General+Talk,3,30", " de.blank,General+Talk,3,30",
                           "", "de.test.forum , General+Talk ,3,30", "#de.hash,x,3,30"])
        self.assertEqual(self.list_paths(), [UBB_LIST])


if __name__ == "__main__":
    unittest.main()
