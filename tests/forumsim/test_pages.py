"""The simulator's pages read the way the gateway reads them give back the
model's values: rows, links, markers, cells, dates, bodies and filters."""

import os
import sys
import unittest
from datetime import datetime, timedelta

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

from forumsim import page_reader as rd  # noqa: E402
from forumsim.client import get  # noqa: E402
from forumsim.forumsim import ForumSim  # noqa: E402
from forumsim.templates import template_keys  # noqa: E402

DATE = datetime(2004, 10, 5, 22, 30)
UBB_LIST = "/support/forums/forumdisplay.cgi?action=topics&forum=General+Talk&number=3&DaysPrune=30"
THREADS_LIST = "/ubbthreads/postlist.php?Board=FOR7&page={}&view=collapsed&sb=5&o="


class PageCase(unittest.TestCase):
    def setUp(self):
        self.sim = ForumSim().start()
        self.addCleanup(self.sim.stop)

    def page(self, path):
        status, body = get(self.sim.port, path)
        self.assertEqual(status, 200, body)
        return body


class UbbTopicList(PageCase):
    def setUp(self):
        super().setUp()
        self.sim.add_forum("ubb", 3, "General Talk")
        for i in range(120):  # topic i is i hours old: newest first in the list
            topic = self.sim.add_topic(3, f"Topic {i}", "Bob", "x", DATE - timedelta(hours=i))
            for _ in range(i % 4):
                self.sim.add_post(3, topic.id, "Alice", "y", DATE - timedelta(hours=i))

    def test_first_page_rows_have_link_on_line_2_and_replies_on_line_9(self):
        rows = rd.ubb_topic_rows(self.page(UBB_LIST + "&LastLogin="), "support/forums/")
        self.assertEqual(len(rows), 50)
        self.assertEqual(rows[0], ("/support/forums/Forum3/HTML/000001.html", "0", 13))
        self.assertEqual(rows[3], ("/support/forums/Forum3/HTML/000004.html", "3", 13))

    def test_index_count_stands_once_per_further_page(self):
        page = self.page(UBB_LIST + "&LastLogin=")
        self.assertEqual(page.count(dict(template_keys("ubb"))["Index_Count"]), 2)

    def test_further_pages_answer_the_offset_query(self):
        second = rd.ubb_topic_rows(self.page(UBB_LIST + "&start=50"), "support/forums/")
        third = rd.ubb_topic_rows(self.page(UBB_LIST + "&start=100"), "support/forums/")
        self.assertEqual(second[0][0], "/support/forums/Forum3/HTML/000051.html")
        self.assertEqual(len(third), 20)
        self.assertEqual(third[-1][0], "/support/forums/Forum3/HTML/000120.html")

    def test_default_web_path_gives_double_slash_entries(self):
        path = ("//support/forumsforumdisplay.cgi?action=topics&forum=General+Talk"
                "&number=3&DaysPrune=30&LastLogin=")
        rows = rd.ubb_topic_rows(self.page(path), "/support/forums")
        self.assertEqual(rows[0][0], "//support/forums/Forum3/HTML/000001.html")
        self.assertEqual(self.page(rows[0][0]).count("<TD width=18% valign=top>"), 1)

    def test_wrong_forum_name_lists_nothing(self):
        page = self.page(UBB_LIST.replace("General+Talk", "Other") + "&LastLogin=")
        self.assertEqual(rd.ubb_topic_rows(page, "support/forums/"), [])


class UbbTopicPage(PageCase):
    def setUp(self):
        super().setUp()
        self.sim.add_forum("ubb", 3, "General Talk")
        self.topic = self.sim.add_topic(3, "Tom & Jerry", "Bob", "first", DATE)
        for i in range(1, 23):
            self.sim.add_post(3, self.topic.id, f"User{i}", f"reply {i}",
                              datetime(2004, 10, 6, 0, 5) + timedelta(hours=i))
        self.path = "/support/forums/Forum3/HTML/000001.html"

    def test_cells_give_author_date_and_body(self):
        page = self.page(self.path)
        self.assertEqual(rd.ubb_subject(page), "Tom &amp; Jerry")
        cells = rd.ubb_cells(page)
        self.assertEqual(len(cells), 10)
        self.assertEqual(cells[0], ("Bob", "October 05, 2004 10:30 PM", "first"))
        self.assertEqual(cells[1], ("User1", "October 06, 2004 01:05 AM", "reply 1"))
        self.assertEqual(cells[0][1].replace(",", "").split(" "),
                         ["October", "05", "2004", "10:30", "PM"])

    def test_noon_and_midnight_in_twelve_hour_clock(self):
        self.sim.add_post(3, self.topic.id, "Noon", "n", datetime(2004, 1, 2, 12, 0))
        self.sim.add_post(3, self.topic.id, "Night", "m", datetime(2004, 1, 2, 0, 7))
        cells = rd.ubb_cells(self.page(self.path[:-5] + "-3.html"))
        self.assertEqual([c[1] for c in cells[-2:]],
                         ["January 02, 2004 12:00 PM", "January 02, 2004 12:07 AM"])

    def test_each_page_links_to_the_next_until_the_last(self):
        first, second = self.page(self.path), self.page(self.path[:-5] + "-2.html")
        third = self.page(self.path[:-5] + "-3.html")
        self.assertIn(self.path[:-5] + "-2.html", first)
        self.assertIn(self.path[:-5] + "-3.html", second)
        self.assertNotIn(self.path[:-5] + "-4.html", third)
        self.assertEqual([c[0] for c in rd.ubb_cells(third)], ["User20", "User21", "User22"])

    def test_page_beyond_the_last_is_not_found(self):
        status, _ = get(self.sim.port, self.path[:-5] + "-4.html")
        self.assertEqual(status, 404)


class UbbBodies(PageCase):
    def converted(self, body, signature=""):
        self.sim.add_forum("ubb", 4, "Bodies")
        self.sim.add_topic(4, "s", "Bob", body, DATE, signature=signature)
        cell = rd.ubb_cells(self.page("/x/Forum4/HTML/000001.html"))[0]
        return rd.filter_body(cell[2], dict(template_keys("ubb")), "ubb")

    def test_paragraphs_and_breaks(self):
        self.assertEqual(self.converted("a\nb\n\nc")[0], "a\nb\n\nc")

    def test_quote_with_attribution(self):
        text, _ = self.converted("[quote=Ann]one\ntwo[/quote]\nok")
        self.assertEqual(text, "\n> Originally posted by Ann:\n> one\n> two\nok")

    def test_code_block_and_signature(self):
        text, _ = self.converted("[code]x = 1\ny = 2[/code]", signature="Bob")
        cut, end = "--- Cut ----" + "-" * 40, "--- Cut End " + "-" * 40
        self.assertEqual(text, f"{cut}\nx = 1\ny = 2\n{end}\n\n-- \nBob")

    def test_links_entities_smileys_and_highlights(self):
        text, address = self.converted(
            "[url=http://a.example/?x=1&y=2]docs[/url] [email]me@b.example[/email] "
            "Tom & <Jerry> [b]bold[/b] :) ;) :eek:")
        self.assertEqual(text, "http://a.example/?x=1&y=2 me@b.example Tom & <Jerry> "
                               "_bold_ :-) ;-) :-|")
        self.assertEqual(address, "me@b.example")


class ThreadsPages(PageCase):
    def setUp(self):
        super().setUp()
        self.sim.add_forum("threads", 7, "PHP Corner")
        self.topics = [self.sim.add_topic(7, f"Thread {i}", "Frank", "b", DATE - timedelta(hours=i))
                       for i in range(45)]
        self.sim.add_post(7, self.topics[0].id, "Admin", "r", DATE, admin=True)

    def test_rows_start_with_the_link_and_hold_replies_on_line_13(self):
        rows = rd.threads_topic_rows(self.page(THREADS_LIST.format(0)))
        self.assertEqual(len(rows), 20)
        first = self.topics[0].id
        self.assertEqual(rows[0][:2], (f"/ubbthreads/showflat.php?Cat=&Board=FOR7&Number={first}", "1"))
        self.assertEqual(rows[1][1], "0")

    def test_pages_link_to_the_next_with_amp_entities(self):
        pages = [self.page(THREADS_LIST.format(i)) for i in range(3)]
        self.assertIn(THREADS_LIST.format(1).replace("&", "&amp;"), pages[0])
        self.assertIn(THREADS_LIST.format(2).replace("&", "&amp;"), pages[1])
        self.assertNotIn(THREADS_LIST.format(3).replace("&", "&amp;"), pages[2])
        self.assertNotIn(THREADS_LIST.format(1), pages[0])
        self.assertEqual(len(rd.threads_topic_rows(pages[2])), 5)

    def test_flat_view_cells(self):
        first = self.topics[0]
        page = self.page(f"/ubbthreads/showflat.php?Cat=&Board=FOR7&Number={first.id}"
                         "&page=0&view=collapsed&sb=5&o=&fpart=all")
        keys = dict(template_keys("threads"))
        cells = rd.threads_cells(page, keys["Article_Start"], keys["Article_End"])
        self.assertEqual(cells, [
            {"author": "Frank", "subject": "Thread 0", "number": str(first.id),
             "date": "05.10.2004 22:30", "body": "b"},
            {"author": "Admin", "subject": "Re: Thread 0", "number": str(first.id + 45),
             "date": "05.10.2004 22:30", "body": "r"}])

    def converted(self, body, signature=""):
        topic = self.sim.add_topic(7, "Tom & Jerry", "Bob", body, DATE, signature=signature)
        page = self.page(f"/ubbthreads/showflat.php?Cat=&Board=FOR7&Number={topic.id}"
                         "&page=0&view=collapsed&sb=5&o=&fpart=all")
        keys = dict(template_keys("threads"))
        cell = rd.threads_cells(page, keys["Article_Start"], keys["Article_End"])[0]
        self.assertEqual(cell["subject"], "Tom & Jerry")
        return rd.filter_body(cell["body"], keys, "threads")

    def test_quote_code_signature(self):
        text, _ = self.converted("[quote=Ann]one\ntwo[/quote]\n[code]x\ny[/code]ok",
                                 signature="sig a@b.example")
        cut, end = "--- Cut ----" + "-" * 40, "--- Cut End " + "-" * 40
        self.assertEqual(text, "\n> Originally posted by Ann:\n> one\n> two\n"
                               f"{cut}\nx\ny\n{end}ok\n\n-- \nsig a@b.example")

    def test_links_mail_smileys(self):
        text, address = self.converted(
            "[url]www.php.net[/url] [mailto]x@y.example[/mailto] :) [b]b[/b] &")
        self.assertEqual(text, "http://www.php.net x@y.example :-) _b_ &")
        self.assertEqual(address, "x@y.example")

    def test_signature_address_found_without_mail_link(self):
        _, address = self.converted("hello", signature="Write to Ann.B@Example.org")
        self.assertEqual(address, "Ann.B@Example.org")


if __name__ == "__main__":
    unittest.main()
