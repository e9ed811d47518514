"""Harvest end to end: group list walk, topic lists, topic pages, the Html
base and the rewritten group list, for both engines, over several runs."""

import unittest
import zlib

from e2e.installation import group_list_text
from e2e.runner import log_messages, parse_article, parse_rnews, spool_files
from e2e.support import E2ECase
from forumsim.forumsim import ForumSim
from forumsim.markup import render_body

HTM_HEADER = b"# QUORIX Htmlbase, do not edit or delete! #\r\n"
USER_AGENT = "User-Agent: Korvendale 3.50 (http://quorix.invalid/)"
UBB_FORUM = ("de.test.forum", "General+Talk", 3, 30)
UBB_LIST = ("/support/forums/forumdisplay.cgi?action=topics&forum=General+Talk"
            "&number=3&DaysPrune=30&LastLogin=")
UBB_TOPIC = "/support/forums/Forum3/HTML/000001.html"
UBB_TOPIC_2 = "/support/forums/Forum3/HTML/000001-2.html"
THREADS_FORUM = ("de.test.php", "PHP+Corner", 7, 0)
THREADS_LIST = "/ubbthreads/postlist.php?Board=FOR7&page=0&view=collapsed&sb=5&o="
FLAT_SUFFIX = "&page=0&view=collapsed&sb=5&o=&fpart=all"


class HarvestCase(E2ECase):
    """A simulator, one box on it, runs, and what each run left behind."""

    def start(self, engine, entries, posts_per_page=2, variant="xp2", **box_options):
        self.sim = ForumSim(posts_per_page=posts_per_page).start()
        self.addCleanup(self.sim.stop)
        self.inst = self.installation(variant)
        self.box = self.inst.add_box(
            "MYBOX", port=self.sim.port, template=self.sim.template_text(engine),
            web=self.sim.web_settings(engine), posting="N", **box_options)
        self.box.write(group_list_text(entries))
        self.seen_files = set()

    def run_once(self, expect_rc=0):
        """Runs the box; returns (request paths, articles new in the spool)."""
        self.sim.clear_requests()
        result = self.run_quorix(self.inst, ["MYBOX.BFG"])
        self.assertEqual(result.returncode, expect_rc, result.console)
        paths = [r.path for r in self.sim.requests]
        articles = []
        for path in spool_files(self.box.spool_dir):
            if path.name in self.seen_files:
                continue
            self.seen_files.add(path.name)
            articles += [parse_article(a) for a in parse_rnews(path.read_bytes())]
        return paths, articles

    def log(self):
        return log_messages(self.log_path(self.inst), "#1")

    def htm(self):
        return (self.inst.root / "QUORIX.HTM").read_bytes()

    @staticmethod
    def header(article, name):
        return next((v for n, v in article[0] if n == name), None)


class UbbHarvest(HarvestCase):
    def setUp(self):
        super().setUp()
        self.start("ubb", [UBB_FORUM])
        self.sim.add_forum("ubb", 3, "General Talk")
        self.topic = self.sim.add_topic(3, "Hello", "Bob", "first post")
        self.sim.add_post(3, self.topic.id, "Alice", "second [b]post[/b]")
        self.sim.add_post(3, self.topic.id, "Carol", "third post :)")

    def crc_of(self, index):
        post = self.topic.posts[index]
        rendered = render_body("ubb", post.body, post.signature)
        return format(zlib.crc32(rendered.encode("latin-1")), "x")

    def test_topic_of_three_posts_on_two_pages(self):
        paths, articles = self.run_once()
        self.assertEqual(paths, [UBB_LIST, UBB_TOPIC, UBB_TOPIC_2])
        for request in self.sim.requests:
            self.assertEqual(request.head.decode("latin-1"),
                             f"GET {request.path} HTTP/1.0\r\nHost: 127.0.0.1\r\n"
                             f"Referer: 127.0.0.1\r\n{USER_AGENT}\r\n\r\n")
        self.assertEqual(len(articles), 3)
        ids = [self.header(a, "Message-ID") for a in articles]
        for index, message_id in enumerate(ids):
            self.assertEqual(message_id,
                             f"<de.test.forum@forum3.000001.html.{index}.{self.crc_of(index)}>")
        self.assertIsNone(self.header(articles[0], "References"))
        self.assertEqual(self.header(articles[1], "References"), ids[0])
        self.assertEqual(self.header(articles[2], "References"), f"{ids[0]} {ids[1]}")
        self.assertEqual([self.header(a, "Subject") for a in articles],
                         ["Hello", "Re: Hello", "Re: Hello"])
        self.assertEqual(self.htm(), HTM_HEADER + UBB_TOPIC.encode() + b",2\x00")
        self.assertEqual(self.box.group_list.read_bytes(), b"de.test.forum,General+Talk,3,30\r\n")
        index = (self.inst.root / "QUORIX.IDX").read_bytes()
        for message_id in ids:
            self.assertIn(message_id.encode(), index)

    def test_second_run_requests_only_the_topic_list(self):
        self.run_once()
        htm = self.htm()
        paths, articles = self.run_once()
        self.assertEqual(paths, [UBB_LIST])
        self.assertEqual(articles, [])
        self.assertEqual(self.htm(), htm)

    def test_added_and_edited_posts_arrive_and_the_others_are_dupes(self):
        _, first = self.run_once()
        self.sim.add_post(3, self.topic.id, "Dave", "fourth post")
        self.sim.edit_post(3, self.topic.id, index=1, body="second post, edited")
        paths, articles = self.run_once()
        self.assertEqual(paths, [UBB_LIST, UBB_TOPIC, UBB_TOPIC_2])
        ids = [self.header(a, "Message-ID") for a in articles]
        self.assertEqual(ids, [f"<de.test.forum@forum3.000001.html.1.{self.crc_of(1)}>",
                               f"<de.test.forum@forum3.000001.html.3.{self.crc_of(3)}>"])
        old_ids = [self.header(a, "Message-ID") for a in first]
        log = self.log()
        self.assertIn(f"  #1: Article: {old_ids[0]} is a Dupe", log)
        self.assertIn(f"  #1: Article: {old_ids[2]} is a Dupe", log)
        self.assertEqual(self.htm(), HTM_HEADER + UBB_TOPIC.encode() + b",3\x00")

    def test_failed_continuation_page_is_completed_on_the_next_run(self):
        self.sim.misbehave("fail", path="000001-2.html", times=1)
        paths, articles = self.run_once()
        self.assertEqual(paths, [UBB_LIST, UBB_TOPIC, UBB_TOPIC_2])
        self.assertEqual(len(articles), 2)
        self.assertEqual(self.htm(), HTM_HEADER)  # the topic is not recorded
        paths, articles = self.run_once()
        self.assertEqual(paths, [UBB_LIST, UBB_TOPIC, UBB_TOPIC_2])
        self.assertEqual([self.header(a, "Message-ID") for a in articles],
                         [f"<de.test.forum@forum3.000001.html.2.{self.crc_of(2)}>"])
        self.assertEqual(self.htm(), HTM_HEADER + UBB_TOPIC.encode() + b",2\x00")

    def test_unchanged_topic_listed_on_a_later_page_too(self):
        for number in range(2, 56):  # 55 topics: two list pages
            self.sim.add_topic(3, f"Topic {number}", "Bob", f"post {number}")
        paths, articles = self.run_once()
        further = UBB_LIST.replace("&LastLogin=", "&start=50")
        self.assertEqual(paths[0], UBB_LIST)
        self.assertEqual(paths.count(further), 1)
        self.assertEqual(len(paths), 2 + 55 + 1)  # two lists, 55 topics, one -2 page
        self.assertEqual(len(articles), 3 + 54)
        paths, articles = self.run_once()
        self.assertEqual(paths, [UBB_LIST, further])
        self.assertEqual(articles, [])


class GroupListRewrite(HarvestCase):
    def test_comments_garbage_and_empty_lines(self):
        text = ("; my forums  list\r\n\r\n"
                "de.test.forum,General+Talk,3,30\r\n"
                "\x01\x02 garbage\r\n"
                "\r\n\r\n\r\n"
                "  indented,not,an,entry\n"
                "#x")
        self.start("ubb", [])
        self.box.group_list.write_bytes(text.encode("latin-1"))
        self.sim.add_forum("ubb", 3, "General Talk")
        paths, _ = self.run_once()
        self.assertEqual(paths, [UBB_LIST])
        self.assertEqual(self.box.group_list.read_bytes(),
                         b"; my forums list\r\n"
                         b"de.test.forum,General+Talk,3,30\r\n"
                         b"\x01\x02 garbage\r\n"
                         b"\r\n"
                         b" indented,not,an,entry\r\n"
                         b"#x\r\n")

    def test_client_style_list_is_rewritten_in_its_client_path(self):
        self.start("ubb", [], variant="openxp")
        self.box.group_list.write_bytes(b"de.test.forum,General+Talk,3,30\r\n\r\n;end")
        self.sim.add_forum("ubb", 3, "General Talk")
        paths, _ = self.run_once()
        self.assertEqual(paths, [UBB_LIST])
        self.assertEqual(self.box.group_list.parent, self.inst.root / "CLIENT" / "MYBOX")
        self.assertEqual(self.box.group_list.read_bytes(),
                         b"de.test.forum,General+Talk,3,30\r\n;end\r\n")
        # No temporary file of the rewrite is left beside it.
        self.assertEqual([p.name for p in self.box.group_list.parent.iterdir()
                          if "MYBOX" in p.name.upper()], ["MYBOX.WEB"])

    def test_missing_group_list_is_not_created(self):
        self.start("ubb", [])
        self.box.group_list.unlink()
        self.run_once(expect_rc=1)
        self.assertIn("! #1: Error: Webforum File 'MYBOX.WEB' not found!", self.log())
        self.assertFalse(self.box.group_list.exists())
        self.assertEqual(self.sim.requests, [])


class ThreadsHarvest(HarvestCase):
    def setUp(self):
        super().setUp()
        self.start("threads", [THREADS_FORUM])
        self.sim.add_forum("threads", 7, "PHP Corner")
        self.topic = self.sim.add_topic(7, "Loops", "Frank", "how?")
        self.sim.add_post(7, self.topic.id, "Grace", "like [i]this[/i]")
        self.sim.add_post(7, self.topic.id, "Heidi", "thanks ;)")
        self.link = f"/ubbthreads/showflat.php?Cat=&Board=FOR7&Number={self.topic.id}"

    def test_flat_view_is_fetched_once_with_all_posts(self):
        paths, articles = self.run_once()
        self.assertEqual(paths, [THREADS_LIST, self.link + FLAT_SUFFIX])
        self.assertEqual(len(articles), 3)
        ids = [self.header(a, "Message-ID") for a in articles]
        self.assertEqual(len(set(ids)), 3)
        self.assertEqual(self.header(articles[2], "References"), f"{ids[0]} {ids[1]}")
        self.assertEqual(self.htm(), HTM_HEADER + self.link.encode() + b",2\x00")
        self.assertEqual(self.box.group_list.read_bytes(), b"de.test.php,PHP+Corner,7,0\r\n")
        paths, articles = self.run_once()
        self.assertEqual(paths, [THREADS_LIST])
        self.assertEqual(articles, [])

    def test_list_pages_are_followed_through_their_links(self):
        for number in range(2, 26):  # 25 topics: two list pages of 20
            self.sim.add_topic(7, f"Topic {number}", "Frank", f"post {number}")
        paths, articles = self.run_once()
        second = THREADS_LIST.replace("&page=0", "&page=1")
        self.assertEqual(paths[0], THREADS_LIST)
        self.assertIn(second, paths)
        self.assertEqual(len([p for p in paths if "showflat.php" in p]), 25)
        self.assertEqual(len(articles), 3 + 24)
        paths, _ = self.run_once()
        self.assertEqual(paths, [THREADS_LIST, second])


class EightBoxes(E2ECase):
    def test_eight_boxes_share_one_spool_without_collisions(self):
        sim = ForumSim().start()
        self.addCleanup(sim.stop)
        inst = self.installation("xp2")
        expected = 0
        for number in range(1, 9):
            sim.add_forum("ubb", number, f"Forum {number}")
            for topic_number in range(3):
                topic = sim.add_topic(number, f"T{topic_number}", "Bob", f"start {number}")
                sim.add_post(number, topic.id, "Ann", f"reply {number} {topic_number}")
                expected += 2
            box = inst.add_box(f"BOX{number}", port=sim.port, template=sim.template_text("ubb"),
                               web=sim.web_settings("ubb"), posting="N", spool="SPOOL\\ALL\\")
            box.write(group_list_text([(f"de.test.f{number}", f"Forum+{number}", number, 30)]))
        result = self.run_quorix(inst, [f"BOX{n}.BFG" for n in range(1, 9)], timeout=180)
        self.assertEqual(result.returncode, 0, result.console)
        ids = []
        for path in spool_files(inst.root / "SPOOL" / "ALL"):
            for article in parse_rnews(path.read_bytes()):
                headers, _ = parse_article(article)
                ids.append(dict(headers)["Message-ID"])
        self.assertEqual(len(ids), expected)
        self.assertEqual(len(set(ids)), expected)
        for number in range(1, 9):
            self.assertEqual(len([i for i in ids if i.startswith(f"<de.test.f{number}@forum{number}.")]),
                             6)


if __name__ == "__main__":
    unittest.main()
