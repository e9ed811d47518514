"""Reads forum pages the way the gateway does, in Python, so the simulator's
tests can check that its pages and template give the intended values.

Positions follow the gateway's rules (markers, skips, line numbers), written
0-based here. Texts are latin-1 strings holding bytes one to one.
"""

from __future__ import annotations

import re

from forumsim.templates import SMILEY_KEYS

TEXT_SMILEYS = (":-)", ";-)", ":)", "?-)", ":-(", "8-)", "8-)", ":^)", ":-)", ":-]", ":-|")
CUT = "--- Cut ----" + "-" * 40
CUT_END = "--- Cut End " + "-" * 40


def extract(text: str, start: str, skip: int, end: str) -> str:
    """From the start marker plus `skip` (an absent marker counts as the
    position before the text) up to the end marker or the end of the text."""
    pos = text.find(start)
    first = (pos if pos >= 0 else -1) + skip
    first = max(first, 0)
    stop = text.find(end, first)
    return text[first:] if stop < 0 else text[first:stop]


def leading_number(text: str) -> int:
    match = re.match(r"\s*(-?\d+)", text)
    return int(match.group(1)) if match else 0


# -- topic lists ----------------------------------------------------------------

UBB_ROW = '<TD bgcolor="#f7f7f7"><FONT SIZE="2" FACE="Verdana, Arial">'


def ubb_topic_rows(page: str, web_path: str) -> list:
    """[(entry link, marker)] of a UBB topic list page."""
    rows, pos = [], 0
    while True:
        start = page.find(UBB_ROW, pos)
        if start < 0:
            return rows
        end = page.find("</td></tr>", start)
        if end < 0:
            return rows
        lines = page[start:end].split("\n")
        line2 = lines[1] if len(lines) > 1 else ""
        a = line2.find("<A HREF=")
        link_start = a + 9
        close = line2.find(">", link_start)
        link = line2[link_start:close - 1] if a >= 0 and close >= 0 else ""
        wp = link.find(web_path)
        entry = link[wp - 1:] if wp > 0 else link
        marker_line = lines[len(lines) - 5] if len(lines) >= 5 else ""
        gt = marker_line.find(">")
        lt = marker_line.find("</", gt + 1)
        marker = marker_line[gt + 1:lt] if gt >= 0 and lt >= 0 else ""
        rows.append((entry, marker, len(lines)))
        pos = end


def threads_topic_rows(page: str) -> list:
    """[(entry link, marker)] of a UBBThreads topic list page."""
    rows, pos = [], 0
    while True:
        start = page.find("/ubbthreads/showflat.php", pos)
        if start < 0:
            return rows
        end = page.find("</tr>", start)
        if end < 0:
            return rows
        lines = page[start:end].split("\n")
        first = lines[0].replace("&amp;", "&")
        cut = first.find("&page")
        entry = first[:cut] if cut >= 0 else first
        marker = lines[12].replace("&nbsp;", " ").strip(" ") if len(lines) > 12 else ""
        rows.append((entry, marker, len(lines)))
        pos = end


# -- topic pages ----------------------------------------------------------------

def ubb_body_to_text(text: str) -> str:
    body = extract(text, "<FONT><HR>", 12, "</FONT>")
    body = body.replace("\r", "").replace("\n", "")
    for tag, repl in (("<p>", "\n\n"), ("<P>", "\n\n"), ("<br>", "\n"),
                      ("<BR>", "\n"), ("<br />", "\n")):
        body = body.replace(tag, repl)
    return body


def ubb_subject(page: str) -> str:
    return extract(page, "<B>Topic:&nbsp;&nbsp;", 21, "</B>").strip(" ")


def ubb_cells(page: str) -> list:
    """[(author, raw date, body)] of a UBB topic page."""
    cells, pos = [], 0
    while True:
        start = page.find("<TD width=18% valign=top>", pos)
        if start < 0:
            return cells
        end = page.find("</td></tr>", start + 1)
        cell = page[start:] if end < 0 else page[start:end]
        fields = cell.split("\r\n")
        field = lambda n: fields[n - 1] if len(fields) >= n else ""
        cells.append((extract(field(2), "<B>", 3, "</B>"),
                      extract(field(7), ">posted", 7, "&nbsp").strip(" "),
                      ubb_body_to_text(field(10))))
        if end < 0:
            return cells
        pos = end


def threads_cells(page: str, article_start: str, article_end: str) -> list:
    """[dict(author, subject, number, date, body)] of a UBBThreads flat view."""
    cells, pos = [], 0
    while True:
        start = page.find(article_start, pos)
        if start < 0:
            return cells
        end = page.find(article_end, start + 1)
        cell = page[start:] if end < 0 else page[start:end]
        a = cell.find("showprofile.php")
        name_start = cell.find(">", a + 2) + 1
        if cell[name_start:name_start + 11] == "<font color":
            name_start += 22
        author = cell[name_start:cell.find("<", name_start)]
        a = cell.find("/ubbthreads/images/icons/")
        b = cell.find("<b>", a)
        close = cell.find("</b>", b)
        subject = cell[b + 4:close - 1].strip(" ")
        small = extract(cell, '<font class="small">', 21, "<i></i>")
        parts = small.split("-")
        number = parts[0].strip(" ")[1:]
        date = parts[1].strip(" ") if len(parts) > 1 else ""
        post = extract(cell, '<font class="post">', 8, "<a target=")
        body = ubb_body_to_text(post).replace('<font class="small">', "")[:-10]
        cells.append({"author": author, "subject": decode_entities(subject),
                      "number": number, "date": date, "body": body})
        if end < 0:
            return cells
        pos = end


# -- filters --------------------------------------------------------------------

def decode_entities(text: str) -> str:
    for old, new in (("&amp;", "&"), ("&lt;", "<"), ("&gt;", ">"), ("<LI>", "- ")):
        text = text.replace(old, new)
    return text


def strip_highlights(text: str) -> str:
    for tag in ("<B>", "</B>", "<b>", "</b>", "<U>", "</U>", "<u>", "</u>"):
        text = text.replace(tag, "_")
    return text.replace("<em>", "[").replace("</em></font>", "]")


def _blocks(text: str, start: str, end: str, replacement) -> str:
    if not start:
        return text
    for _ in range(text.count(start)):
        a = text.find(start)
        b = text.find(end, a)
        if a < 0 or b < 0:
            break
        block = text[a:b + len(end)]
        text = text.replace(block, replacement(block))
    return text


def _quoted(content: str) -> str:
    return ("\n" + content).replace("\n", "\n> ").replace("<B>", "").replace("</B>", "")


def _on(template: dict, key: str) -> bool:
    return template.get(key, "Y") in ("Y", "y", "J", "j", "1")


def _mail_address(block: str) -> str:
    quote = block.find('"')
    return block[quote + 8:block.find('"', quote + 1)].replace("\n", "")


def filter_body(body: str, template: dict, engine: str) -> tuple:
    """(text, author address) after the switched-on filters, in the
    gateway's order: smileys, web links, entities, quotes, code blocks and
    signature rule, mail links, highlights."""
    t = template
    if _on(t, "Strip_Smiley"):
        for key, smiley in zip(SMILEY_KEYS, TEXT_SMILEYS):
            if t.get(key):
                body = body.replace(t[key], smiley)
    if _on(t, "Strip_Urls"):
        body = _blocks(body, t.get("Href_Url_Start", ""), t.get("Href_Url_End", ""),
                       lambda b: b.split('"')[1].replace("\n", "") if b.count('"') >= 2 else "")
    if _on(t, "Strip_Html"):
        body = decode_entities(body)
    if _on(t, "Strip_Quote"):
        qs, qe = t.get("Href_Quote_Start", ""), t.get("Href_Quote_End", "")
        if engine == "ubb":
            def quote(block):
                p = block.find("<HR>") + 4
                return _quoted(block[p:block.find("<HR>", p)])
        else:
            def quote(block):
                p = len(qs) + 1
                return _quoted(block[p:block.find(qe, p) - 2])
        body = _blocks(body, qs, qe, quote)
    if _on(t, "Strip_Format"):
        cuts = [(t.get("Format_Start", ""), CUT + "\n"), (t.get("Format_End", ""), "\n" + CUT_END)]
        if engine == "threads":
            cuts += [("<pre>code:</font><hr>", CUT + "\n"), ("</pre><hr>", "\n" + CUT_END)]
        for old, new in cuts:
            if old:
                body = body.replace(old, new)
        # The forum's signature rule is a line of exactly 18 hyphens; a cut
        # line ends in hyphens too and must keep them.
        body = re.sub(r"(?:\A|(?<=\n))-{18}\n", "-- \n", body)
        if engine == "threads":
            body = body.replace("---- \n", "-- \n")
    address = ""
    if _on(t, "Strip_Mailto"):
        found = []

        def mail(block):
            found.append(_mail_address(block))
            return found[-1]

        body = _blocks(body, t.get("Href_Mail_Start", ""), t.get("Href_Mail_End", ""), mail)
        address = found[-1] if found else ""
        if not address and "-- \n" in body and body.split("-- \n", 1)[1]:
            match = re.search(r"[a-z._-]+@[a-z._-]+", body, re.IGNORECASE)
            address = match.group(0) if match else ""
    if _on(t, "Strip_Highlights"):
        body = strip_highlights(body)
    return body, address
