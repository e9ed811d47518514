"""Sample forums for the demo: one UBB forum with a long topic and enough
topics for a second list page, a small UBB help forum, a UBBThreads board
with an administrator and enough topics for a second list page, and a UBB
forum that serves UTF-8 (umlauts, the euro sign, dashes, an emoji).
Dates are fixed, so the demo produces the same articles on every run.
"""

from __future__ import annotations

from datetime import datetime, timedelta

BASE = datetime(2004, 10, 5, 9, 15)

RICH_BODY = (
    "Hello all,\n\nhere is my [b]first[/b] post :) with a link to "
    "[url=http://www.example.org/docs?a=1&b=2]the docs[/url] and one to "
    "[url]www.example.com[/url].\n"
    "Write to [email]bob.smith@example.net[/email] if you like ;)\n\n"
    "[code]for i in 1 2 3\n  echo $i\ndone[/code]\n"
    "Tom & Jerry say <hello> :D"
)

QUOTING_BODY = (
    "[quote=Bob]here is my first post\nwith two lines[/quote]\n"
    "Thanks Bob :cool: that helped."
)


def _fill_general(sim, number: int) -> None:
    sim.add_forum("ubb", number, "General Talk")
    long_topic = sim.add_topic(number, "Welcome & introductions", "Bob", RICH_BODY,
                               BASE, signature="Bob\nhttp://bob.example.org")
    sim.add_post(number, long_topic.id, "Alice", QUOTING_BODY, BASE + timedelta(minutes=7))
    for i in range(2, 24):
        author = ("Carol", "Dave", "Alice", "Bob")[i % 4]
        sim.add_post(number, long_topic.id, author,
                     f"Reply number {i} :p\nSecond line of reply {i}.",
                     BASE + timedelta(hours=i))
    for i in range(1, 56):
        topic = sim.add_topic(number, f"Topic {i:02d}: question {i}", "Dave",
                              f"Question {i} :confused:", BASE - timedelta(days=i))
        if i % 5 == 0:
            sim.add_post(number, topic.id, "Carol", f"Answer to {i} :o",
                         BASE - timedelta(days=i) + timedelta(hours=3))


def _fill_help(sim, number: int) -> None:
    sim.add_forum("ubb", number, "Help Desk")
    topic = sim.add_topic(number, "Cannot log in", "Erin",
                          "My password fails :(\n\n-- sent from my desk",
                          BASE + timedelta(hours=1))
    sim.add_post(number, topic.id, "Admin", "Reset it for you :rolleyes:",
                 BASE + timedelta(hours=13), signature="The Admin")


def _fill_threads(sim, number: int) -> None:
    sim.add_forum("threads", number, "PHP Corner")
    topic = sim.add_topic(number, "Arrays & loops", "Frank",
                          "How do I loop over an array? :eek:\n"
                          "[code]foreach ($a as $v) {\n  echo $v;\n}[/code]",
                          BASE + timedelta(hours=2), signature="Frank from Berlin")
    sim.add_post(number, topic.id, "Admin",
                 "[quote=Frank]How do I loop over an array?[/quote]\n"
                 "Like that :) see [url]http://www.php.net/foreach[/url]",
                 BASE + timedelta(hours=3), admin=True)
    sim.add_post(number, topic.id, "Grace", "Mail me: [email]grace@example.com[/email] :blush:",
                 BASE + timedelta(hours=4, minutes=30))
    for i in range(1, 25):
        sim.add_topic(number, f"Thread {i:02d}", "Heidi", f"Body of thread {i} ;)",
                      BASE - timedelta(days=i))


def _fill_utf8(sim, number: int) -> None:
    sim.add_forum("ubb", number, "Umlaut Talk", charset="utf-8")
    topic = sim.add_topic(number, "Grüße aus Köln – Preise in €", "Jörg Müller",
                          "Schöne Grüße! Das Buch kostet 12 € — „günstig“ … 😀",
                          BASE + timedelta(hours=5))
    sim.add_post(number, topic.id, "Zoë", "Danke, Jörg – bis bald!",
                 BASE + timedelta(hours=6))


def fill_demo(sim) -> None:
    _fill_general(sim, 3)
    _fill_help(sim, 5)
    _fill_threads(sim, 7)
    _fill_utf8(sim, 9)
