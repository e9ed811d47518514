"""Pages of the UBBThreads engine (PHP pages): topic lists and flat views.

Lines are separated by LF. A topic list row starts at its
"/ubbthreads/showflat.php" link (the first text of the row's line 1) and ends
before "</tr>"; line 13 holds the reply count between "&nbsp;"s. A list page
links to each other page with its own path, every "&" written as "&amp;".

A flat view holds every post of a topic between the template's
Article_Start and Article_End texts. Inside a post: the subject after the
icon path as "<b>", one character, subject, one character, "</b>"; the
author as the text of the "showprofile.php" link (administrators in a
colour tag); `<font class="small">`, one character, "#" + post number,
" - ", the date "dd.mm.yyyy hh:mm", "<i></i>"; `<font class="post">`, body,
ten characters, line end, "<a target=".
"""

from __future__ import annotations

import html
from urllib.parse import quote_plus

from forumsim.markup import render_body
from forumsim.templates import THREADS

SHOWFLAT = "/ubbthreads/showflat.php"
ICONS = "/ubbthreads/images/icons/"
TOPICS_PER_LIST_PAGE = 20


def _esc(text: str) -> str:
    return html.escape(text, quote=False)


def flat_date(date) -> str:
    return f"{date.day:02d}.{date.month:02d}.{date.year:04d} {date.hour:02d}:{date.minute:02d}"


def topic_link(board: str, topic_id: int) -> str:
    """A topic's link as the list shows it ("&" written as "&amp;")."""
    return (f"{SHOWFLAT}?Cat=&amp;Board={board}&amp;Number={topic_id}"
            "&amp;page=0&amp;view=collapsed&amp;sb=5&amp;o=&amp;fpart=1")


def _profile(author: str, board: str) -> str:
    user = quote_plus(author, encoding="latin-1", errors="xmlcharrefreplace").replace("&", "%26")
    return f'/ubbthreads/showprofile.php?Cat=&amp;User={user}&amp;Board={board}'


def list_row(board: str, topic) -> str:
    """One topic row; it starts with the link and the caller appends "</tr>"."""
    first = topic.posts[0]
    lines = [
        f'{topic_link(board, topic.id)}">{_esc(topic.subject)}</a>',
        "</td>",
        '<td class="lighttable" align="left" nowrap="nowrap">',
        f'<a href="{_profile(first.author, board)}">{_esc(first.author)}</a>',
        "</td>",
        '<td class="lighttable" align="center">',
        str(topic.views),
        "</td>",
        '<td class="lighttable" align="center">',
        '<img src="/ubbthreads/images/rating0.gif" alt="" />',
        "</td>",
        '<td class="lighttable" align="center">',
        f"&nbsp;{topic.marker()}&nbsp;",
        "</td>",
        '<td class="lighttable" align="left" nowrap="nowrap">',
        flat_date(topic.last_activity()),
        "</td>",
    ]
    return "\n".join(lines) + "\n"


def topic_list(forum, board: str, page: int, page_link) -> str:
    """One page of a board's topic list (page counts from 0).

    page_link(i): the path of list page i as the request spelled it, with
    plain "&"; this page writes it with "&amp;".
    """
    topics = forum.topics_by_activity()
    chunk = topics[page * TOPICS_PER_LIST_PAGE:(page + 1) * TOPICS_PER_LIST_PAGE]
    out = [
        "<html>",
        f"<head><title>{_esc(forum.name)}</title></head>",
        "<body>",
        '<table width="100%" class="tableborders">',
        '<tr><td class="tdheader">Subject</td><td class="tdheader">Poster</td>'
        '<td class="tdheader">Views</td><td class="tdheader">Rating</td>'
        '<td class="tdheader">Replies</td><td class="tdheader">Last post</td></tr>',
    ]
    for topic in chunk:
        out.append("<tr>")
        out.append('<td class="lighttable" align="left">')
        out.append(f'<img src="{ICONS}book.gif" alt="" /> <a href="'
                   + list_row(board, topic) + "</tr>")
    out.append("</table>")
    pages = (len(topics) + TOPICS_PER_LIST_PAGE - 1) // TOPICS_PER_LIST_PAGE
    if pages > 1:
        links = []
        for other in range(pages):
            if other == page:
                links.append(f"<b>{other + 1}</b>")
            elif forum.compact_page_links and page > 0 and abs(other - page) > 1:
                continue
            else:
                href = page_link(other).replace("&", "&amp;")
                links.append(f'<a href="{href}">{other + 1}</a>')
        out.append('<font class="small">Pages: ' + " ".join(links) + "</font>")
    out.append("</body></html>")
    return "\n".join(out) + "\n"


def post_section(post, board: str, topic_id: int) -> str:
    author = _esc(post.author)
    if post.admin:
        author = f'<font color="#FF0000">{author}</font>'
    body = render_body("threads", post.body, post.signature)
    lines = [
        THREADS.article_start,
        '<table width="100%" cellspacing="1" cellpadding="3" class="tableborders">',
        '<tr><td class="subjecttable">',
        f'<a name="Post{post.number}"></a><img src="{ICONS}book.gif" alt="" /> <b>',
        _esc(post.subject),
        "</b>",
        "</td></tr>",
        '<tr><td class="lighttable">',
        f'<a href="{_profile(post.author, board)}" target="_blank">{author}</a>',
        f'<font class="small"> #{post.number} - {flat_date(post.date)} <i></i></font>',
        "</td></tr>",
        '<tr><td class="lighttable">',
        f'<font class="post">{body}{THREADS.body_trailer}',
        f'<a target="_top" href="/ubbthreads/addpost.php?Cat=&amp;Board={board}'
        f'&amp;page=0&amp;Reply={post.number}">Reply</a>',
        "</font></td></tr>",
        "</table>",
        THREADS.article_end,
    ]
    return "\n".join(lines)


def flat_view(forum, topic, board: str) -> str:
    out = [
        "<html>",
        "<head>",
        f"<title>{_esc(topic.subject)}</title>",
        "</head>",
        "<body>",
        f'<table width="100%"><tr><td class="navigation">{_esc(forum.name)}</td></tr></table>',
    ]
    for post in topic.posts:
        out.append(post_section(post, board, topic.id))
    out.append(f'<a href="/ubbthreads/postlist.php?Board={board}">Back</a>')
    out.append("</body></html>")
    return "\n".join(out) + "\n"
