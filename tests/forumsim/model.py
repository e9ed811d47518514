"""In-memory forums of both engines: forums, topics, posts.

Texts are Python strings. A forum serves its pages in its character set:
"iso-8859-1" (the engines' historic set; characters beyond it go out as
numeric character references, as such forums store what browsers send) or
"utf-8". Form fields arrive as bytes and are read in the forum's set.

Addressing differs between the engines, as on the real servers:
- UBB: a topic has a number within its forum (shown as six digits, 000123);
  a post is addressed by its index within the topic (0 = the opening post).
- UBBThreads: every post has a board-wide unique post number; a topic is
  known by the number of its opening post; a post is addressed by its number.
"""

from __future__ import annotations

import html.entities
import threading
from dataclasses import dataclass, field
from datetime import datetime

ENGINES = ("ubb", "threads")
CHARSETS = ("iso-8859-1", "utf-8")


def encode_page(text: str, charset: str) -> bytes:
    """A page's bytes in a forum's set; what ISO-8859-1 lacks becomes a
    numeric character reference."""
    if charset == "utf-8":
        return text.encode("utf-8")
    return text.encode("latin-1", errors="xmlcharrefreplace")


def with_named_references(text: str) -> str:
    """Every non-ASCII character as HTML's named reference ("&ouml;"), or a
    numeric one where HTML 4 has no name."""
    out = []
    for ch in text:
        if ord(ch) < 128:
            out.append(ch)
        elif ord(ch) in html.entities.codepoint2name:
            out.append(f"&{html.entities.codepoint2name[ord(ch)]};")
        else:
            out.append(f"&#{ord(ch)};")
    return "".join(out)


def read_field(raw: str, charset: str) -> str:
    """A form field (bytes held one to one in a str) read in the forum's set;
    bytes that are no UTF-8 become U+FFFD, as such forums show them."""
    if charset == "utf-8":
        return raw.encode("latin-1").decode("utf-8", errors="replace")
    return raw


class ModelError(Exception):
    """A request names a forum, topic or post that does not exist."""


@dataclass
class Post:
    number: int          # board-wide post number (UBBThreads "Number=")
    author: str
    date: datetime
    body: str            # forum markup source ([b], [quote], [code], [url] ...)
    signature: str = ""  # shown below the body after the forum's rule
    admin: bool = False  # UBBThreads shows administrators in colour
    subject: str = ""    # UBBThreads: each post has its own subject


@dataclass
class Topic:
    id: int
    subject: str
    posts: list = field(default_factory=list)
    views: int = 0
    marker_override: str | None = None  # replaces the reply count in lists

    def reply_count(self) -> int:
        return max(len(self.posts) - 1, 0)

    def marker(self) -> str:
        if self.marker_override is not None:
            return self.marker_override
        return str(self.reply_count())

    def last_activity(self) -> datetime:
        return max(p.date for p in self.posts)


@dataclass
class Forum:
    engine: str
    number: int
    name: str            # shown name; the query strings carry it with "+"
    topics: dict = field(default_factory=dict)   # id -> Topic
    next_topic_id: int = 1
    charset: str = "iso-8859-1"   # or "utf-8"
    declare: str = "header"       # where pages name the set: "header" (HTTP) or "meta"
    # Older forums write every non-ASCII character as a named reference
    # ("J&ouml;rg"), a numeric one where HTML has no name.
    named_references: bool = False
    # Benchmarks of big forums: the list order, fixed once the forum is
    # filled, so that a list page does not sort every topic again. Whoever
    # changes the forum afterwards sets it back to None.
    frozen_order: list | None = None
    # Big forums: the first list page links every list page (UBB counts them
    # there), the others only their neighbours, so list pages keep their size.
    compact_page_links: bool = False

    @property
    def query_name(self) -> str:
        return self.name.replace(" ", "+")

    def topics_by_activity(self) -> list:
        """Most recently active first, as both engines list them."""
        if self.frozen_order is not None:
            return self.frozen_order
        return sorted(self.topics.values(),
                      key=lambda t: (t.last_activity(), t.id), reverse=True)


class ForumModel:
    """All forums of the simulator. Every method holds the model's lock."""

    def __init__(self, first_post_number: int = 4700):
        self.lock = threading.RLock()
        self.forums: dict[int, Forum] = {}
        self.next_post_number = first_post_number

    # -- forums ---------------------------------------------------------------

    def add_forum(self, engine: str, number: int, name: str,
                  charset: str = "iso-8859-1", declare: str = "header",
                  named_references: bool = False) -> Forum:
        if engine not in ENGINES:
            raise ValueError(f"unknown engine {engine!r}")
        if charset not in CHARSETS or declare not in ("header", "meta"):
            raise ValueError(f"unknown charset {charset!r} or declaration {declare!r}")
        with self.lock:
            if number in self.forums:
                raise ValueError(f"forum number {number} is taken")
            forum = Forum(engine, number, name, charset=charset, declare=declare,
                          named_references=named_references)
            self.forums[number] = forum
            return forum

    def forum(self, number: int, engine: str | None = None) -> Forum:
        with self.lock:
            forum = self.forums.get(number)
            if forum is None or (engine is not None and forum.engine != engine):
                raise ModelError(f"no forum {number}")
            return forum

    # -- topics and posts -----------------------------------------------------

    def _new_post(self, author, body, date, signature, admin, subject) -> Post:
        post = Post(self.next_post_number, author, date, body, signature,
                    admin, subject)
        self.next_post_number += 1
        return post

    def add_topic(self, forum_number: int, subject: str, author: str,
                  body: str, date: datetime, signature: str = "",
                  admin: bool = False) -> Topic:
        with self.lock:
            forum = self.forum(forum_number)
            post = self._new_post(author, body, date, signature, admin, subject)
            if forum.engine == "threads":
                topic_id = post.number
            else:
                topic_id = forum.next_topic_id
                forum.next_topic_id += 1
            topic = Topic(topic_id, subject, [post])
            forum.topics[topic_id] = topic
            return topic

    def topic(self, forum_number: int, topic_id: int) -> Topic:
        with self.lock:
            topic = self.forum(forum_number).topics.get(topic_id)
            if topic is None:
                raise ModelError(f"no topic {topic_id} in forum {forum_number}")
            return topic

    def find_post_topic(self, forum_number: int, post_number: int) -> Topic:
        """The topic that holds a post number (UBBThreads addressing)."""
        with self.lock:
            for topic in self.forum(forum_number).topics.values():
                if any(p.number == post_number for p in topic.posts):
                    return topic
            raise ModelError(f"no post {post_number} in forum {forum_number}")

    def add_post(self, forum_number: int, topic_id: int, author: str,
                 body: str, date: datetime, subject: str | None = None,
                 signature: str = "", admin: bool = False) -> Post:
        with self.lock:
            topic = self.topic(forum_number, topic_id)
            if subject is None:
                subject = "Re: " + topic.subject
            post = self._new_post(author, body, date, signature, admin, subject)
            topic.posts.append(post)
            return post

    def post_at(self, forum_number: int, topic_id: int, *, index=None,
                number=None) -> Post:
        with self.lock:
            topic = self.topic(forum_number, topic_id)
            if index is not None:
                if not 0 <= index < len(topic.posts):
                    raise ModelError(f"no post index {index} in topic {topic_id}")
                return topic.posts[index]
            for post in topic.posts:
                if post.number == number:
                    return post
            raise ModelError(f"no post {number} in topic {topic_id}")

    def edit_post(self, forum_number: int, topic_id: int, *, index=None,
                  number=None, body: str | None = None,
                  subject: str | None = None) -> Post:
        """Change a post's body (and subject); editing the opening post's
        subject renames the topic."""
        with self.lock:
            topic = self.topic(forum_number, topic_id)
            post = self.post_at(forum_number, topic_id, index=index, number=number)
            if body is not None:
                post.body = body
            if subject:
                post.subject = subject
                if post is topic.posts[0]:
                    topic.subject = subject
            return post

    def delete_post(self, forum_number: int, topic_id: int, *, index=None,
                    number=None) -> None:
        """Remove a post; removing the opening post removes the topic."""
        with self.lock:
            forum = self.forum(forum_number)
            topic = self.topic(forum_number, topic_id)
            post = self.post_at(forum_number, topic_id, index=index, number=number)
            if post is topic.posts[0]:
                del forum.topics[topic_id]
            else:
                topic.posts.remove(post)

    def summary(self) -> dict:
        """A plain description of every forum (for the control endpoint)."""
        with self.lock:
            return {
                str(f.number): {
                    "engine": f.engine, "name": f.name,
                    "topics": {
                        str(t.id): {
                            "subject": t.subject, "marker": t.marker(),
                            "posts": [{"number": p.number, "author": p.author,
                                       "date": p.date.isoformat(" "),
                                       "subject": p.subject, "body": p.body,
                                       "signature": p.signature,
                                       "admin": p.admin} for p in t.posts],
                        } for t in f.topics.values()},
                } for f in self.forums.values()}
