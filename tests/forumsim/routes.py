"""Which page answers which request.

Paths are recognised by their script or file name, so that whatever WebPath
and WebTopic a box configures, the simulator serves it:

  GET  .../forumdisplay.cgi?...&number=N...   UBB topic list
  GET  .../ForumN/HTML/000123[-k].html        UBB topic page k
  GET  .../postlist.php?Board=FORn&page=i...  UBBThreads topic list
  GET  .../showflat.php?...&Number=T...       UBBThreads flat view
  POST .../postings.cgi or .../postings.php   UBB posting form (both engines)
  POST .../addpost.php                        UBBThreads reply form
  GET  /                                      an index of all forums
"""

from __future__ import annotations

import html
import re
import threading
from urllib.parse import unquote_to_bytes

from forumsim import pages_threads, pages_ubb
from forumsim.forms import parse_form
from forumsim.model import ModelError, read_field, with_named_references
from forumsim.templates import POST_SCRIPTS

TOPIC_FILE = re.compile(r"Forum(\d+)/HTML/(\d+)(?:-(\d+))?\.html$")


def query_parts(query: str) -> list:
    """[(name, raw value)] in order; values keep their encoding."""
    parts = []
    for part in query.split("&"):
        if part:
            name, _, value = part.partition("=")
            parts.append((name, value))
    return parts


def decoded(raw: str) -> str:
    return unquote_to_bytes(raw.replace("+", " ")).decode("latin-1")


def _int(text: str, default=None):
    match = re.match(r"-?\d+", text or "")
    return int(match.group(0)) if match else default


def _page(title: str, text: str) -> str:
    return (f"<html><head><title>{html.escape(title)}</title></head><body>\n"
            f"<p>{html.escape(text)}</p>\n</body></html>\n")


class Router:
    def __init__(self, sim):
        self.sim = sim
        self._seen = threading.local()  # the forum the current request named

    def answer(self, request) -> tuple:
        """(status, page text, content type); the page goes out in the
        content type's charset."""
        path, _, query = request.path.partition("?")
        host = request.header("Host") or "127.0.0.1"
        self._seen.forum = None
        try:
            with self.sim.model.lock:
                if request.method == "GET":
                    return self._typed(*self._get(path, query, host))
                if request.method == "POST":
                    return self._typed(*self._post(path, request.body))
        except ModelError as err:
            return self._typed(404, _page("Not found", str(err)))
        return self._typed(405, _page("Not allowed", f"{request.method} is not served here"))

    def _typed(self, status: int, text: str) -> tuple:
        """The answer in the set of the forum it came from (ISO-8859-1 for
        anything else), declared in the HTTP header or in a meta tag."""
        forum = self._seen.forum
        charset = forum.charset if forum is not None else "iso-8859-1"
        if forum is not None and forum.named_references:
            text = with_named_references(text)
        if forum is not None and forum.declare == "meta":
            meta = f'<meta http-equiv="Content-Type" content="text/html; charset={charset}">'
            for head in ("<HEAD>", "<head>"):
                if head in text:
                    text = text.replace(head, head + meta, 1)
                    break
            return status, text, "text/html"
        return status, text, f"text/html; charset={charset}"

    def _get(self, path: str, query: str, host: str) -> tuple:
        parts = query_parts(query)
        values = {name: decoded(value) for name, value in parts}
        if path.endswith("forumdisplay.cgi"):
            return self._ubb_list(path, parts, values, host)
        match = TOPIC_FILE.search(path)
        if match:
            forum = self._seen.forum = self.sim.model.forum(int(match.group(1)), "ubb")
            topic = self.sim.model.topic(forum.number, int(match.group(2)))
            page = int(match.group(3) or 1)
            text = pages_ubb.topic_page(forum, topic, page, self.sim.posts_per_page,
                                        host, path[:match.start()], self.sim.admins)
            if text is None:
                return 404, _page("Not found", f"topic {topic.id} has no page {page}")
            return 200, text
        if path.endswith("postlist.php"):
            return self._threads_list(path, parts, values)
        if path.endswith("showflat.php"):
            board = values.get("Board", "")
            forum = self._seen.forum = self.sim.model.forum(_int(re.sub(r"^\D*", "", board), -1),
                                                       "threads")
            number = _int(values.get("Number", ""), -1)
            topic = forum.topics.get(number) or self.sim.model.find_post_topic(forum.number, number)
            return 200, pages_threads.flat_view(forum, topic, board)
        if path == "/":
            return 200, self._index()
        return 404, _page("Not found", f"nothing at {path}")

    def _ubb_list(self, path, parts, values, host) -> tuple:
        forum = self._seen.forum = self.sim.model.forum(_int(values.get("number", ""), -1), "ubb")
        if read_field(values.get("forum", ""), forum.charset) != forum.name:
            return 200, _page("Error", "There is no such forum.")
        offset = max(_int(values.get("start", ""), 0), 0)
        kept = "&".join(f"{n}={v}" for n, v in parts if n not in ("LastLogin", "start"))
        web_prefix = path[:-len("forumdisplay.cgi")]
        return 200, pages_ubb.topic_list(forum, offset, host, web_prefix, f"{path}?{kept}")

    def _threads_list(self, path, parts, values) -> tuple:
        board = values.get("Board", "")
        forum = self._seen.forum = self.sim.model.forum(_int(re.sub(r"^\D*", "", board), -1),
                                                   "threads")
        page = max(_int(values.get("page", ""), 0), 0)

        def page_link(other: int) -> str:
            rebuilt = [(n, str(other) if n == "page" else v) for n, v in parts]
            return path + "?" + "&".join(f"{n}={v}" for n, v in rebuilt)

        return 200, pages_threads.topic_list(forum, board, page, page_link)

    def _post(self, path: str, body: bytes) -> tuple:
        script = path.rsplit("/", 1)[-1]
        fields = parse_form(body)
        if script.endswith("addpost.php"):
            return self.sim.form_answer(self.sim.forms.threads_reply(fields))
        if any(script.endswith(name) for name in POST_SCRIPTS):
            return self.sim.form_answer(self.sim.forms.ubb_form(fields))
        return 404, _page("Not found", f"no form at {path}")

    def _index(self) -> str:
        out = ["<html><head><title>Forums</title></head><body><ul>"]
        for forum in sorted(self.sim.model.forums.values(), key=lambda f: f.number):
            if forum.engine == "ubb":
                href = ("/support/forums/forumdisplay.cgi?action=topics&amp;forum="
                        f"{forum.query_name}&amp;number={forum.number}&amp;DaysPrune=30&amp;LastLogin=")
            else:
                href = (f"/ubbthreads/postlist.php?Board=FOR{forum.number}"
                        "&amp;page=0&amp;view=collapsed&amp;sb=5&amp;o=")
            out.append(f'<li><a href="{href}">{html.escape(forum.name)}</a> '
                       f"({forum.engine}, {len(forum.topics)} topics)</li>")
        out.append("</ul></body></html>")
        return "\n".join(out) + "\n"
