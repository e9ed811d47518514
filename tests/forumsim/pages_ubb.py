"""Pages of the UBB engine (CGI scripts): topic lists and topic pages.

Topic list rows (lines separated by LF) start with ROW_MARKER and end before
"</td></tr>"; a row has 13 lines, line 2 holds the topic link and line 9 the
reply count between ">" and "</". Topic pages separate their lines by CR LF;
a post cell starts with CELL_MARKER and ends before "</td></tr>"; its field 2
holds the author in <B>, field 7 the date after ">posted", field 10 the body
after "<FONT><HR>" and two more characters, up to "</FONT>".
"""

from __future__ import annotations

import html

from forumsim.markup import render_body
from forumsim.templates import UBB

ROW_MARKER = '<TD bgcolor="#f7f7f7"><FONT SIZE="2" FACE="Verdana, Arial">'
CELL_MARKER = "<TD width=18% valign=top>"
SUBJECT_START = "<B>Topic:&nbsp;&nbsp;"
TOPICS_PER_LIST_PAGE = 50

MONTHS = ("January", "February", "March", "April", "May", "June", "July",
          "August", "September", "October", "November", "December")

_FONT2 = '<FONT SIZE="2" FACE="Verdana, Arial">'
_FONT1 = '<FONT SIZE="1" FACE="Verdana, Arial">'


def _esc(text: str) -> str:
    return html.escape(text, quote=False)


def posted_date(date) -> str:
    """"October 05, 2004 10:30 PM": month name, day, year, 12-hour time."""
    hour = date.hour % 12 or 12
    half = "PM" if date.hour >= 12 else "AM"
    return (f"{MONTHS[date.month - 1]} {date.day:02d}, {date.year:04d} "
            f"{hour:02d}:{date.minute:02d} {half}")


def short_date(date) -> str:
    hour = date.hour % 12 or 12
    half = "PM" if date.hour >= 12 else "AM"
    return (f"{date.month:02d}-{date.day:02d}-{date.year:04d} "
            f"{hour:02d}:{date.minute:02d} {half}")


def topic_file(forum_number: int, topic_id: int, page: int = 1) -> str:
    """The topic page's path below the forum's web path."""
    suffix = "" if page <= 1 else f"-{page}"
    return f"Forum{forum_number}/HTML/{topic_id:06d}{suffix}.html"


def list_row(link: str, topic) -> str:
    """One topic row of 13 lines; the caller appends "</td></tr>"."""
    first = topic.posts[0]
    lines = [
        ROW_MARKER + '<IMG SRC="/ubbgfx/topic.gif" BORDER=0></FONT></td>',
        ROW_MARKER + f'<A HREF="{link}">{_esc(topic.subject)}</A></FONT></td>',
        '<TD bgcolor="#f7f7f7" align="center">',
        f"{_FONT2}{_esc(first.author)}</FONT>",
        "</td>",
        '<TD bgcolor="#f7f7f7" align="center">',
        f"{_FONT2}{topic.views}</FONT>",
        '</td><TD bgcolor="#f7f7f7" align="center">',
        f"{_FONT2}{topic.marker()}</FONT></td>",
        '<TD bgcolor="#f7f7f7" align="center" nowrap>',
        f"{_FONT1}{short_date(topic.last_activity())}</FONT>",
        "</td>",
        f'<TD bgcolor="#f7f7f7">{_FONT1}&nbsp;</FONT>',
    ]
    return "\n".join(lines)


def topic_list(forum, offset: int, host: str, web_prefix: str,
               page_query: str) -> str:
    """One page of a forum's topic list.

    web_prefix: "/" + WebPath as the request carried it; topic links are
    "http://" + host + web_prefix (+ "/") + the topic file.
    page_query: the request path up to and including "&DaysPrune=" + days;
    links to the other pages are it + Index_Count + offset.
    """
    topics = forum.topics_by_activity()
    sep = "" if web_prefix.endswith("/") else "/"
    out = [
        "<HTML><HEAD><TITLE>" + _esc(forum.name) + "</TITLE></HEAD>",
        '<BODY BGCOLOR="#FFFFFF" TEXT="#000000">',
        f"{_FONT2}<B>{_esc(forum.name)}</B></FONT>",
        '<TABLE BORDER=0 CELLPADDING=4 CELLSPACING=1 WIDTH=95% ALIGN=CENTER>',
        '<TR BGCOLOR="#5d7790"><TD>&nbsp;</TD><TD>Topic</TD><TD>Topic Starter</TD>'
        "<TD>Views</TD><TD>Replies</TD><TD>Last Post</TD><TD>&nbsp;</TD></TR>",
    ]
    for topic in topics[offset:offset + TOPICS_PER_LIST_PAGE]:
        link = (f"http://{host}{web_prefix}{sep}"
                f"{topic_file(forum.number, topic.id)}")
        out.append("<TR>")
        out.append(list_row(link, topic) + "</td></tr>")
    out.append("</TABLE>")
    pages = (len(topics) + TOPICS_PER_LIST_PAGE - 1) // TOPICS_PER_LIST_PAGE
    if pages > 1:
        links = []
        for page in range(pages):
            start = page * TOPICS_PER_LIST_PAGE
            if start == offset:
                links.append(f"<B>{page + 1}</B>")
            elif forum.compact_page_links and offset > 0 and abs(start - offset) > TOPICS_PER_LIST_PAGE:
                continue
            elif page > 0:
                links.append(f'<A HREF="{page_query}{UBB.index_count}{start}">'
                             f"{page + 1}</A>")
            # The first page is reached through the forum link, not by offset.
        out.append(f"{_FONT1}Pages: " + " ".join(links) + "</FONT>")
    out.append("</BODY></HTML>")
    return "\n".join(out) + "\n"


def post_cell(post, admin_names) -> str:
    """One post cell; fields separated by CR LF, "</td></tr>" appended."""
    rank = "Administrator" if post.admin or post.author in admin_names else "Member"
    body = render_body("ubb", post.body, post.signature)
    fields = [
        CELL_MARKER + _FONT2,
        f"<B>{_esc(post.author)}</B></FONT><BR>",
        f"{_FONT1}{rank}</FONT><BR>",
        f"{_FONT1}Posts: {post.number % 97 + 1}</FONT><BR>",
        f"{_FONT1}Registered: Jan 2004</FONT>",
        '</td><td bgcolor="#f7f7f7" width=82% valign=top>',
        f"{_FONT1}posted {posted_date(post.date)}&nbsp;&nbsp;&nbsp;&nbsp;"
        '<IMG SRC="/ubbgfx/profile.gif" BORDER=0>',
        '<IMG SRC="/ubbgfx/edit.gif" BORDER=0 ALT="Edit/Delete Message">',
        "</FONT>",
        f"{_FONT2}<FONT><HR>  {body}</FONT>",
        f'{_FONT1}<A HREF="#top">top</A></FONT>',
    ]
    return "\r\n".join(fields) + "</td></tr>"


def topic_page(forum, topic, page: int, per_page: int, host: str,
               web_prefix: str, admin_names=()) -> str | None:
    """Page `page` (1-based) of a topic, or None when it has no such page.

    web_prefix: the request path up to the topic file ("/support/forums/");
    links to the other pages of the topic are "http://" + host + it + file.
    """
    pages = max((len(topic.posts) + per_page - 1) // per_page, 1)
    if not 1 <= page <= pages:
        return None
    posts = topic.posts[(page - 1) * per_page:page * per_page]
    out = [
        f"<HTML><HEAD><TITLE>{_esc(forum.name)} - {_esc(topic.subject)}</TITLE></HEAD>",
        '<BODY BGCOLOR="#FFFFFF" TEXT="#000000">',
        f"{_FONT2}{SUBJECT_START}{_esc(topic.subject)}</B></FONT>",
        '<TABLE BORDER=0 CELLPADDING=4 CELLSPACING=1 WIDTH=95% ALIGN=CENTER>',
    ]
    for post in posts:
        out.append('<TR BGCOLOR="#f7f7f7">')
        out.append(post_cell(post, admin_names))
    out.append("</TABLE>")
    if pages > 1:
        links = []
        for other in range(1, pages + 1):
            if other == page:
                links.append(f"<B>{other}</B>")
            else:
                url = f"http://{host}{web_prefix}{topic_file(forum.number, topic.id, other)}"
                links.append(f'<A HREF="{url}">{other}</A>')
        out.append(f"{_FONT1}Pages: " + " ".join(links) + "</FONT>")
    out.append("</BODY></HTML>")
    return "\r\n".join(out) + "\r\n"
