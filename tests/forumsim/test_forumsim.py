"""The simulator's server: request recording, posting forms, misbehaviour,
the control endpoint and the standalone program."""

import os
import socket
import subprocess
import sys
import threading
import unittest
from datetime import datetime

TESTS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, TESTS)

from forumsim.client import (control, exchange, form_encode, get, get_request,  # noqa: E402
                             post, post_request, wait_until)
from forumsim.forumsim import ForumSim  # noqa: E402

DATE = datetime(2004, 10, 5, 22, 30)
POST_OK, EDIT_OK, DELE_OK = "Your post has been added", "Your edit was saved", "The post was deleted"
UBB_POST = "/support/forums/postings.cgi"


class SimCase(unittest.TestCase):
    def setUp(self):
        self.sim = ForumSim(clock=lambda: DATE).start()
        self.addCleanup(self.sim.stop)
        self.sim.add_forum("ubb", 3, "General Talk")
        self.sim.add_forum("threads", 7, "PHP Corner")
        self.ubb_topic = self.sim.add_topic(3, "Hello", "Bob", "first", DATE)
        self.sim.add_post(3, self.ubb_topic.id, "Tester", "second", DATE)
        self.thread = self.sim.add_topic(7, "Loops", "Tester", "how?", DATE)
        self.reply = self.sim.add_post(7, self.thread.id, "Bob", "so", DATE)

    def form(self, path, *fields):
        return post(self.sim.port, path, form_encode(fields))


class Recording(SimCase):
    def test_request_head_and_body_are_kept_byte_for_byte(self):
        body = b"a=1&b=%FC"
        raw = post_request(UBB_POST, body)
        exchange(self.sim.port, raw)
        recorded = self.sim.requests[-1]
        self.assertEqual(recorded.head + recorded.body, raw)
        self.assertEqual((recorded.method, recorded.path, recorded.version),
                         ("POST", UBB_POST, "HTTP/1.0"))
        self.assertEqual(recorded.header_lines[0], "Referer: 127.0.0.1")
        self.assertEqual(recorded.header("content-length"), str(len(body)))

    def test_answers_are_http_1_0_and_close(self):
        raw = exchange(self.sim.port, get_request("/support/forums/Forum3/HTML/000001.html"))
        head = raw.split(b"\r\n\r\n", 1)[0].split(b"\r\n")
        self.assertEqual(head[0], b"HTTP/1.0 200 OK")
        self.assertIn(b"Connection: close", head)

    def test_unknown_path_is_not_found(self):
        self.assertEqual(get(self.sim.port, "/nothing/here")[0], 404)

    def test_wait_for_requests_times_out(self):
        with self.assertRaises(TimeoutError):
            self.sim.wait_for_requests(1, timeout=0.1)


class UbbForm(SimCase):
    def login(self, user="Tester", password="secret"):
        return (("UserName", user), ("Password", password))

    def test_new_topic(self):
        status, page = self.form(UBB_POST, *self.login(), ("TopicSubject", "New & shiny"),
                                 ("Message", "text\r\n------------------\r\nsig"),
                                 ("number", "3"), ("forum", "General Talk"),
                                 ("action", "posttopic"), ("Submit", "Submit New Topic"))
        self.assertIn(POST_OK, page)
        topic = self.sim.model.topic(3, 2)
        self.assertEqual((topic.subject, topic.posts[0].author, topic.posts[0].date),
                         ("New & shiny", "Tester", DATE))
        self.assertEqual(topic.posts[0].body, "text\r\n------------------\r\nsig")

    def test_reply_names_the_topic_file(self):
        _, page = self.form(UBB_POST, *self.login(), ("ReplyMessage", "me too"),
                            ("Signature", "no"), ("action", "postreply"),
                            ("TopicSubject", "Hello"), ("forum", "General Talk"),
                            ("number", "3"), ("topic", "000001.cgi"), ("SUBMIT", "Submit Reply"))
        self.assertIn(POST_OK, page)
        self.assertEqual([p.body for p in self.ubb_topic.posts], ["first", "second", "me too"])

    def edit(self, reply_num, *extra, user="Tester"):
        return self.form(UBB_POST, *extra, *self.login(user, self.sim.users[user]),
                         ("EditedMessage", "changed"), ("action", "submitedit"),
                         ("TopicSubject", "Hello"), ("forum", "General Talk"),
                         ("ReplyNum", reply_num), ("number", "3"), ("topic", "000001.cgi"),
                         ("SUBMIT", "Submit Now"))[1]

    def test_edit_addresses_the_post_by_index(self):
        self.assertIn(EDIT_OK, self.edit("000001"))
        self.assertEqual([p.body for p in self.ubb_topic.posts], ["first", "changed"])

    def test_delete(self):
        self.assertIn(DELE_OK, self.edit("000001", ("DeletePost", "yes")))
        self.assertEqual(len(self.ubb_topic.posts), 1)

    def test_only_the_author_or_an_admin_may_edit(self):
        page = self.edit("000000")
        self.assertNotIn(EDIT_OK, page)
        self.assertIn(EDIT_OK, self.edit("000000", user="Admin"))

    def test_wrong_password_changes_nothing(self):
        _, page = self.form(UBB_POST, *self.login(password="wrong"), ("TopicSubject", "x"),
                            ("Message", "y"), ("number", "3"), ("forum", "General Talk"),
                            ("action", "posttopic"))
        for text in (POST_OK, EDIT_OK, DELE_OK):
            self.assertNotIn(text, page)
        self.assertEqual(len(self.sim.model.forum(3).topics), 1)

    def test_forum_name_must_match_the_number(self):
        _, page = self.form(UBB_POST, *self.login(), ("TopicSubject", "x"), ("Message", "y"),
                            ("number", "3"), ("forum", "PHP Corner"), ("action", "posttopic"))
        self.assertNotIn(POST_OK, page)

    def test_threads_forum_edit_by_post_number_without_topic(self):
        _, page = self.form("/ubbthreads/postings.php", *self.login(),
                            ("EditedMessage", "why?"), ("action", "submitedit"),
                            ("TopicSubject", "Loops"), ("forum", "PHP Corner"),
                            ("ReplyNum", f"{self.thread.id:06d}"), ("number", "7"),
                            ("topic", ""), ("SUBMIT", "Submit Now"))
        self.assertIn(EDIT_OK, page)
        self.assertEqual(self.thread.posts[0].body, "why?")


class ThreadsReplyForm(SimCase):
    def reply_form(self, parent, user="Tester"):
        return self.form("/ubbthreads/addpost.php", ("postername", user),
                         ("Board", "FOR7"), ("Cat", ""), ("Reged", "y"), ("page", "0"),
                         ("Main", str(self.thread.id)), ("Parent", str(parent)),
                         ("Subject", "Loops"), ("Body", "like this"), ("textcont", "Weiter"))[1]

    def test_reply_is_added_to_the_topic(self):
        self.assertIn(POST_OK, self.reply_form(self.reply.number))
        added = self.thread.posts[-1]
        self.assertEqual((added.author, added.subject, added.body), ("Tester", "Loops", "like this"))

    def test_unknown_parent_or_poster_is_refused(self):
        self.assertNotIn(POST_OK, self.reply_form(99999))
        self.assertNotIn(POST_OK, self.reply_form(self.reply.number, user="Nobody"))
        self.assertEqual(len(self.thread.posts), 2)


class CharacterSets(SimCase):
    def setUp(self):
        super().setUp()
        self.sim.add_forum("ubb", 9, "Umlaut Talk", charset="utf-8")
        self.sim.add_topic(9, "Grüße – 5 €", "Jörg", "Schöne Grüße 😀", DATE)
        self.sim.add_forum("ubb", 4, "Meta Talk", charset="utf-8", declare="meta")
        self.sim.add_topic(4, "Köln", "Jörg", "ok", DATE)
        self.sim.add_topic(3, "Euro €", "Jörg", "5 €", DATE)

    def page(self, forum: int, topic: int) -> tuple:
        raw = exchange(self.sim.port, get_request(
            f"/support/forums/Forum{forum}/HTML/{topic:06d}.html"))
        head, _, body = raw.partition(b"\r\n\r\n")
        return head.decode("latin-1"), body

    def test_pages_in_the_forums_set_and_declared(self):
        head, body = self.page(9, 1)
        self.assertIn("Content-Type: text/html; charset=utf-8\r\n", head)
        self.assertIn("Grüße – 5 €".encode("utf-8"), body)
        self.assertIn("Schöne Grüße 😀".encode("utf-8"), body)
        head, body = self.page(4, 1)
        self.assertIn("Content-Type: text/html\r\n", head)
        self.assertIn(b'<meta http-equiv="Content-Type" content="text/html; charset=utf-8">', body)
        self.assertIn("Köln".encode("utf-8"), body)
        head, body = self.page(3, 2)  # ISO-8859-1: the euro sign as a reference
        self.assertIn("Content-Type: text/html; charset=iso-8859-1\r\n", head)
        self.assertIn(b"Euro &#8364;", body)

    def test_named_references_where_the_forum_writes_them(self):
        self.sim.add_forum("ubb", 5, "Alt Talk", named_references=True)
        self.sim.add_topic(5, "Grüße – 5 €", "Jörg & Zoë", "a\xa0b 😀", DATE)
        head, body = self.page(5, 1)
        self.assertIn(b"Gr&uuml;&szlig;e &ndash; 5 &euro;", body)
        self.assertIn(b"J&ouml;rg &amp; Zo&euml;", body)
        self.assertIn(b"a&nbsp;b &#128512;", body)

    def test_form_fields_read_in_the_forums_set(self):
        body = (b"UserName=Tester&Password=secret&ReplyMessage=Gr%C3%BC%C3%9Fe+%FC"
                b"&action=postreply&forum=Umlaut+Talk&number=9&topic=1")
        status, text = post(self.sim.port, UBB_POST, body)
        self.assertIn(POST_OK, text)
        self.assertEqual(self.sim.model.topic(9, 1).posts[-1].body, "Grüße \ufffd")
        body = body.replace(b"Umlaut", b"General").replace(b"number=9", b"number=3")
        post(self.sim.port, UBB_POST, body)
        self.assertEqual(self.sim.model.topic(3, 1).posts[-1].body, "Gr\xc3\xbc\xc3\x9fe \xfc")


class Misbehaviour(SimCase):
    PATH = "/support/forums/Forum3/HTML/000001.html"

    def raw(self, timeout=10.0):
        return exchange(self.sim.port, get_request(self.PATH), timeout)

    def test_stall_until_released(self):
        self.sim.misbehave("stall", self.PATH)
        result = {}
        worker = threading.Thread(target=lambda: result.setdefault("raw", self.raw()))
        worker.start()
        wait_until(lambda: self.sim.faults.stalled == 1)
        self.assertNotIn("raw", result)
        self.sim.release_stalls()
        worker.join(10)
        self.assertTrue(result["raw"].startswith(b"HTTP/1.0 200"))

    def test_stalled_client_times_out(self):
        self.sim.misbehave("stall")
        with self.assertRaises(socket.timeout):
            self.raw(timeout=0.3)

    def test_close_after_bytes(self):
        self.sim.misbehave("close_after", self.PATH, bytes=100)
        self.assertEqual(len(self.raw()), 100)

    def test_huge_page(self):
        self.sim.misbehave("huge", mib=3)
        raw = self.raw()
        self.assertEqual(len(raw.split(b"\r\n\r\n", 1)[1]), 3 << 20)

    def test_garbage_has_no_http_head(self):
        self.sim.misbehave("garbage", bytes=5000, seed=7)
        raw = self.raw()
        self.assertEqual(len(raw), 5000)
        self.assertFalse(raw.startswith(b"HTTP/"))
        self.assertIn(0, raw)

    def test_fail_reset_raw_status(self):
        self.sim.misbehave("fail", times=1)
        self.assertEqual(self.raw(), b"")
        self.sim.misbehave("reset", times=1)
        self.assertEqual(self.raw(), b"")
        self.sim.misbehave("raw", times=1, data="no head at all")
        self.assertEqual(self.raw(), b"no head at all")
        self.sim.misbehave("status", times=1, code=500)
        self.assertTrue(self.raw().startswith(b"HTTP/1.0 500"))
        self.assertTrue(self.raw().startswith(b"HTTP/1.0 200"))

    def test_slow_answer_arrives_whole(self):
        self.sim.misbehave("slow", self.PATH, seconds=0.2)
        status, page = get(self.sim.port, self.PATH)
        self.assertEqual(status, 200)
        self.assertTrue(page.endswith("</BODY></HTML>\r\n"))

    def test_stall_with_a_limit_answers_afterwards(self):
        self.sim.misbehave("stall", self.PATH, limit=0.2)
        self.assertTrue(self.raw().startswith(b"HTTP/1.0 200"))

    def test_drip_sends_the_whole_answer_byte_by_byte(self):
        expected = self.raw()
        self.sim.misbehave("drip", self.PATH, times=1, interval=0.0005)
        self.assertEqual(self.raw(timeout=60), expected)

    def test_taken_form_changes_the_forum_before_the_fault(self):
        fields = (("UserName", "Tester"), ("Password", "secret"), ("ReplyMessage", "got it"),
                  ("action", "postreply"), ("forum", "General Talk"), ("number", "3"),
                  ("topic", "000001.cgi"))
        for mode, params in (("fail", {}), ("close_after", {"bytes": 10}),
                             ("stall", {"limit": 0.1})):
            before = len(self.sim.model.topic(3, 1).posts)
            self.sim.misbehave(mode, UBB_POST, times=1, taken=True, **params)
            exchange(self.sim.port, post_request(UBB_POST, form_encode(fields)), 10.0)
            self.assertEqual(len(self.sim.model.topic(3, 1).posts), before + 1, mode)
        self.sim.misbehave("fail", UBB_POST, times=1)
        exchange(self.sim.port, post_request(UBB_POST, form_encode(fields)), 10.0)
        self.assertEqual(len(self.sim.model.topic(3, 1).posts), before + 1, "not taken")

    def test_rules_match_their_path_only(self):
        self.sim.misbehave("fail", "/other", match="exact")
        self.assertTrue(self.raw().startswith(b"HTTP/1.0 200"))


class ControlEndpoint(SimCase):
    def test_model_and_rules_through_http(self):
        port = self.sim.port
        topic = control(port, "add_topic", forum=3, subject="Via control", author="Bob",
                        body="x", date="2004-10-05 12:00")
        self.assertEqual(self.sim.model.topic(3, topic).subject, "Via control")
        control(port, "misbehave", mode="fail", path="/x", times=1)
        self.assertEqual(exchange(port, get_request("/x")), b"")
        seen = control(port, "requests")
        self.assertEqual(seen[-1]["path"], "/x")
        self.assertNotIn("/__control", [r["path"] for r in seen])
        with self.assertRaises(RuntimeError):
            control(port, "add_post", forum=99, topic=1, author="a", body="b")


class Standalone(unittest.TestCase):
    def test_demo_prints_its_address_and_serves(self):
        proc = subprocess.Popen([sys.executable, os.path.join(TESTS, "forumsim", "forumsim.py"),
                                 "--port", "0", "--demo"], stdout=subprocess.PIPE, text=True)
        self.addCleanup(proc.stdout.close)
        self.addCleanup(proc.wait, 10)
        self.addCleanup(proc.terminate)
        line = {}
        reader = threading.Thread(target=lambda: line.setdefault("url", proc.stdout.readline()))
        reader.start()
        reader.join(20)
        url = line.get("url", "")
        self.assertRegex(url, r"^http://127\.0\.0\.1:\d+/\n$")
        port = int(url.rsplit(":", 1)[1].strip("/\n"))
        status, page = get(port, "/ubbthreads/postlist.php?Board=FOR7&page=0&view=collapsed&sb=5&o=")
        self.assertEqual(status, 200)
        self.assertIn("/ubbthreads/showflat.php", page)


if __name__ == "__main__":
    unittest.main()
