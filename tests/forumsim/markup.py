"""Forum markup source to the HTML of one engine.

The source language is the bulletin-board code that forum users type:
[b] [i] [u], [quote] / [quote=Name], [code], [url] / [url=target],
[email] / [mailto], smiley codes such as ":)", a blank line for a new
paragraph and a line end for a line break. Tags are matched in any letter
case. Everything else is text and is HTML-escaped (&, <, >).
"""

from __future__ import annotations

import html
import re

from forumsim.templates import SMILEYS, VOCABULARIES

_CODE = re.compile(r"\[code\](.*?)\[/code\]", re.IGNORECASE | re.DOTALL)
_QUOTE = re.compile(r"\[quote(?:=([^\]\n]*))?\](.*?)\[/quote\]",
                    re.IGNORECASE | re.DOTALL)
_URL_NAMED = re.compile(r"\[url=([^\]\n]*)\](.*?)\[/url\]", re.IGNORECASE | re.DOTALL)
_URL_BARE = re.compile(r"\[url\](.*?)\[/url\]", re.IGNORECASE | re.DOTALL)
_MAIL = re.compile(r"\[(email|mailto)\](.*?)\[/\1\]", re.IGNORECASE | re.DOTALL)
_SIMPLE = re.compile(r"\[(/?)([biu])\]", re.IGNORECASE)
_SMILEY = re.compile(
    r"(?<!\S)(" + "|".join(re.escape(code) for code, _, _ in SMILEYS) + r")(?![A-Za-z0-9])")
_PLACEHOLDER = re.compile("\x00(\\d+)\x00")


def _escape(text: str) -> str:
    return html.escape(text, quote=False)


def _target(raw: str) -> str:
    target = raw.strip().replace('"', "").replace("\n", "")
    if not re.match(r"[A-Za-z][A-Za-z0-9+.-]*:", target):
        target = "http://" + target
    return target


class _Renderer:
    def __init__(self, engine: str):
        self.v = VOCABULARIES[engine]
        self.blocks: list[str] = []

    def hold(self, html_text: str) -> str:
        """Park finished HTML so later passes do not touch it."""
        self.blocks.append(html_text)
        return f"\x00{len(self.blocks) - 1}\x00"

    def breaks(self, text: str) -> str:
        text = text.replace("\n\n", "\x01")
        text = text.replace("\n", self.v.line_break)
        return text.replace("\x01", self.v.paragraph)

    def code(self, match) -> str:
        content = match.group(1).strip("\n")
        return self.hold(self.v.format_start + self.breaks(_escape(content))
                         + self.v.format_end)

    def inline(self, text: str) -> str:
        """Already escaped text with links, highlights and smileys; line
        breaks last."""
        v = self.v
        text = _URL_NAMED.sub(lambda m: self.hold(
            v.url_start + _target(m.group(1)) + v.url_middle
            + m.group(2) + v.url_end), text)
        text = _URL_BARE.sub(lambda m: self.hold(
            v.url_start + _target(m.group(1)) + v.url_middle
            + m.group(1).strip() + v.url_end), text)
        text = _MAIL.sub(lambda m: self.hold(
            v.mail_start + m.group(2).strip() + v.mail_middle
            + m.group(2).strip() + v.mail_end), text)
        pairs = {"b": v.bold, "i": v.italic, "u": v.underline}
        text = _SIMPLE.sub(
            lambda m: pairs[m.group(2).lower()][1 if m.group(1) else 0], text)
        names = {code: name for code, name, _ in SMILEYS}
        text = _SMILEY.sub(lambda m: self.hold(v.smiley_html(names[m.group(1)])), text)
        return self.breaks(text)

    def quote(self, match) -> str:
        v = self.v
        # Both parts come from text that is escaped already.
        who, content = match.group(1), match.group(2).strip("\n")
        inner = ""
        if who:
            inner = v.attribution.format(who=who.strip())
        inner += self.inline(content)
        return self.hold(v.quote_start + v.quote_before + inner
                         + v.quote_after + v.quote_end)

    def render(self, source: str, signature: str = "") -> str:
        text = source.replace("\r", "").replace("\x00", "").replace("\x01", "")
        text = _CODE.sub(self.code, text)
        text = _escape(text)  # placeholders are NUL-framed digits: unaffected
        text = _QUOTE.sub(self.quote, text)
        out = self.inline(text)
        if signature:
            signature = signature.replace("\r", "").replace("\x00", "").replace("\x01", "")
            out += self.v.signature_rule + self.inline(_escape(signature))
        # Blocks may hold placeholders of blocks parked before them.
        while _PLACEHOLDER.search(out):
            out = _PLACEHOLDER.sub(lambda m: self.blocks[int(m.group(1))], out)
        return out


def render_body(engine: str, source: str, signature: str = "") -> str:
    """HTML of a post body (and its signature) as the engine shows it."""
    return _Renderer(engine).render(source, signature)
