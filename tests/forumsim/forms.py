"""The posting forms: the UBB form (new topic, reply, edit, delete) that
both engines accept at their posting script, and the UBBThreads reply form
of "addpost.php". Each handler changes the model and returns an outcome.
"""

from __future__ import annotations

import re
from dataclasses import dataclass
from urllib.parse import unquote_to_bytes

from forumsim.model import ModelError, read_field


@dataclass
class Outcome:
    ok: bool
    kind: str      # "post", "edit", "dele" on success; "error" otherwise
    message: str   # what the answer page says besides the success text


def parse_form(body: bytes) -> dict:
    """application/x-www-form-urlencoded, bytes kept one to one (latin-1).
    A later field of the same name wins."""
    fields = {}
    for part in body.split(b"&"):
        if not part:
            continue
        name, _, value = part.partition(b"=")
        decode = lambda raw: unquote_to_bytes(raw.replace(b"+", b" ")).decode("latin-1")
        fields[decode(name)] = decode(value)
    return fields


def _number(text: str) -> int | None:
    match = re.match(r"\s*(\d+)", text or "")
    return int(match.group(1)) if match else None


def _error(message: str) -> Outcome:
    return Outcome(False, "error", message)


class FormHandler:
    def __init__(self, model, users: dict, admins: set, clock):
        self.model = model
        self.users = users
        self.admins = admins
        self.clock = clock

    def _may_edit(self, user: str, post) -> bool:
        return post.author == user or user in self.admins

    def ubb_form(self, fields: dict) -> Outcome:
        user = fields.get("UserName", "")
        if user not in self.users or self.users[user] != fields.get("Password"):
            return _error("Invalid user name or password.")
        action = fields.get("action", "")
        number = _number(fields.get("number", ""))
        try:
            forum = self.model.forum(number if number is not None else -1)
        except ModelError:
            return _error("There is no such forum.")
        if fields.get("forum", "") != forum.name:
            return _error("There is no such forum.")
        fields = {name: read_field(value, forum.charset) for name, value in fields.items()}
        try:
            with self.model.lock:
                return self._ubb_action(forum, action, user, fields)
        except ModelError as err:
            return _error(f"Cannot do that: {err}.")

    def _ubb_action(self, forum, action: str, user: str, fields: dict) -> Outcome:
        subject = fields.get("TopicSubject", "")
        if action == "posttopic":
            if not subject.strip():
                return _error("A topic needs a subject.")
            topic = self.model.add_topic(forum.number, subject, user,
                                         fields.get("Message", ""), self.clock(),
                                         admin=user in self.admins)
            return Outcome(True, "post", f"Topic {topic.id} started.")
        topic_id = _number(fields.get("topic", ""))
        if action == "postreply":
            if topic_id is None:
                return _error("Which topic?")
            # UBBThreads posts carry their own subject, taken as the form
            # gives it; UBB posts have none of their own.
            reply_subject = None
            if forum.engine == "threads" and subject:
                reply_subject = subject
            self.model.add_post(forum.number, topic_id, user,
                                fields.get("ReplyMessage", ""), self.clock(),
                                subject=reply_subject, admin=user in self.admins)
            return Outcome(True, "post", "Reply added.")
        if action == "submitedit":
            return self._edit(forum, topic_id, user, fields)
        return _error("Unknown action.")

    def _edit(self, forum, topic_id, user: str, fields: dict) -> Outcome:
        reply = _number(fields.get("ReplyNum", ""))
        if reply is None:
            return _error("Which post?")
        if forum.engine == "threads":
            # Post numbers are unique in the board: the topic may be omitted.
            if topic_id is None:
                topic_id = self.model.find_post_topic(forum.number, reply).id
            address = {"number": reply}
        else:
            if topic_id is None:
                return _error("Which topic?")
            address = {"index": reply}
        post = self.model.post_at(forum.number, topic_id, **address)
        if not self._may_edit(user, post):
            return _error("You may only change your own posts.")
        if fields.get("DeletePost", "") == "yes":
            self.model.delete_post(forum.number, topic_id, **address)
            return Outcome(True, "dele", "Post removed.")
        self.model.edit_post(forum.number, topic_id, body=fields.get("EditedMessage", ""),
                             subject=fields.get("TopicSubject") or None, **address)
        return Outcome(True, "edit", "Post changed.")

    def threads_reply(self, fields: dict) -> Outcome:
        """addpost.php: the reply form carries the poster's name, no password."""
        user = fields.get("postername", "")
        if user not in self.users:
            return _error("You are not logged in.")
        board = fields.get("Board", "")
        match = re.fullmatch(r"[A-Za-z]*(\d+)", board)
        topic_id = _number(fields.get("Main", ""))
        if not match or topic_id is None:
            return _error("Which board and topic?")
        try:
            with self.model.lock:
                forum = self.model.forum(int(match.group(1)), "threads")
                fields = {name: read_field(value, forum.charset)
                          for name, value in fields.items()}
                topic = self.model.topic(forum.number, topic_id)
                parent = _number(fields.get("Parent", ""))
                if parent is not None:
                    self.model.post_at(forum.number, topic.id, number=parent)
                subject = fields.get("Subject", "") or "Re: " + topic.subject
                self.model.add_post(forum.number, topic.id, user,
                                    fields.get("Body", ""), self.clock(),
                                    subject=subject, admin=user in self.admins)
        except ModelError as err:
            return _error(f"Cannot do that: {err}.")
        return Outcome(True, "post", "Reply added.")
