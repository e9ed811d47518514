"""The HTML vocabulary of both forum engines, and the box-file forum template
that describes it to the gateway.

Everything the gateway searches for in a post body is defined once here; the
markup renderer builds its HTML from these texts and `template_text` writes
the same texts into the template keys, so the two cannot drift apart.
Markers never contain a line break, "<br>", "<p>" or `<font class="small">`,
because the gateway removes or rewrites those before it looks for markers.
"""

from __future__ import annotations

# Success texts of the posting forms' answer pages.
DEFAULT_TEXTS = {
    "post_ok": "Your post has been added",
    "edit_ok": "Your edit was saved",
    "dele_ok": "The post was deleted",
}

# Smileys: source code, picture name, template key. Longer codes first so
# that ":confused:" is not read as ":c...".
SMILEYS = (
    (":confused:", "confused", "Smiley_Confused"),
    (":rolleyes:", "rolleyes", "Smiley_Rolleyes"),
    (":blush:", "blush", "Smiley_Blush"),
    (":cool:", "cool", "Smiley_Cool"),
    (":eek:", "eek", "Smiley_Eek"),
    (":)", "smile", "Smiley_Default"),
    (";)", "wink", "Smiley_Wink"),
    (":D", "biggrin", "Smiley_Biggrin"),
    (":(", "frown", "Smiley_Frown"),
    (":p", "tongue", "Smiley_Tongue"),
    (":o", "redface", "Smiley_Redface"),
)

# Template key order as the gateway applies the smileys.
SMILEY_KEYS = ("Smiley_Default", "Smiley_Wink", "Smiley_Biggrin",
               "Smiley_Confused", "Smiley_Frown", "Smiley_Rolleyes",
               "Smiley_Blush", "Smiley_Tongue", "Smiley_Redface",
               "Smiley_Cool", "Smiley_Eek")

STRIP_KEYS = ("Strip_Smiley", "Strip_Highlights", "Strip_Mailto", "Strip_Urls",
              "Strip_Html", "Strip_Quote", "Strip_Format")


class Vocabulary:
    """One engine's markup. Attribute names follow the template keys."""

    def __init__(self, **texts):
        self.__dict__.update(texts)

    def smiley_html(self, name: str) -> str:
        return self.smiley_pattern.format(name=name)


UBB = Vocabulary(
    line_break="<br>\n",
    paragraph="<p>\n",
    bold=("<B>", "</B>"), italic=("<I>", "</I>"), underline=("<U>", "</U>"),
    url_start='<A HREF="', url_middle='" TARGET=_blank>', url_end="</A>",
    mail_start='<a href="mailto:', mail_middle='">', mail_end="</a>",
    # Quote: start, "<HR>", content, "<HR>", end.
    quote_start='<BLOCKQUOTE><font size="1" face="Verdana, Arial">quote:</font>',
    quote_before="<HR>", quote_after="<HR>",
    quote_end="</BLOCKQUOTE>",
    attribution="Originally posted by <B>{who}</B>:<br>\n",
    format_start='<BLOCKQUOTE><font size="1" face="Verdana, Arial">code:</font><HR><pre>',
    format_end="</pre><HR></BLOCKQUOTE>",
    signature_rule="<p>\n------------------<br>\n",
    smiley_pattern='<IMG SRC="/ubbgfx/{name}.gif" BORDER=0>',
    index_count="&start=",
    article_start="", article_end="",
)

THREADS = Vocabulary(
    line_break="<br />\n",
    paragraph="<br />\n<br />\n",
    bold=("<b>", "</b>"), italic=("<i>", "</i>"), underline=("<u>", "</u>"),
    # Web links start with the scheme so that mail links (same tag) stay
    # apart from them.
    url_start='<a href="', url_middle='" target="_blank">', url_end="</a>",
    url_marker='<a href="http',
    mail_start='<a href="mailto:', mail_middle='">', mail_end="</a>",
    # Quote: start, one character (a line break tag), content, two
    # characters (two line break tags), end.
    quote_start='<blockquote><font class="quote">Quote:</font><hr>',
    quote_before="<br />\n", quote_after="<br />\n<br />\n",
    quote_end="<hr></blockquote>",
    attribution="Originally posted by {who}:<br />\n",
    format_start='<blockquote><font class="code">code:</font><hr><pre>',
    format_end="</pre><hr></blockquote>",
    signature_rule="<br />\n<br />\n---- <br />\n",
    smiley_pattern='<img src="/ubbthreads/images/graemlins/{name}.gif" alt="" border="0" />',
    index_count="",
    article_start="<!-- Start of post -->",
    article_end="<!-- End of post -->",
    # Ten characters after every body; the gateway drops them.
    body_trailer="<!--end-->",
)

VOCABULARIES = {"ubb": UBB, "threads": THREADS}

# Script paths as the box files of the stand-in installations configure them.
WEB_SETTINGS = {
    "ubb": {"WebClient": "UBBCGI", "WebPath": "support/forums/",
            "WebTopic": "forumdisplay.cgi?action=topics&forum=",
            "WebPost": "postings.cgi"},
    "threads": {"WebClient": "UBBTHREADS", "WebPath": "ubbthreads/",
                "WebTopic": "postlist.php?Board=FOR",
                "WebPost": "postings.php"},
}

# Scripts that accept the UBB posting form (new topic, reply, edit, delete).
POST_SCRIPTS = ("postings.cgi", "postings.php")


def template_keys(engine: str, texts: dict | None = None) -> list:
    """(key, value) pairs of the forum template for one engine."""
    v = VOCABULARIES[engine]
    t = dict(DEFAULT_TEXTS, **(texts or {}))
    pairs = [
        ("Index_Count", v.index_count),
        ("Article_Start", v.article_start),
        ("Article_End", v.article_end),
        ("Article_Post_Ok", t["post_ok"]),
        ("Article_Edit_Ok", t["edit_ok"]),
        ("Article_Dele_Ok", t["dele_ok"]),
        ("Format_Start", v.format_start),
        ("Format_End", v.format_end),
        ("Href_Mail_Start", v.mail_start),
        ("Href_Mail_End", v.mail_end),
        ("Href_Url_Start", getattr(v, "url_marker", v.url_start)),
        ("Href_Url_End", v.url_end),
        ("Href_Quote_Start", v.quote_start),
        ("Href_Quote_End", v.quote_end),
    ]
    pairs += [(key, "Y") for key in STRIP_KEYS]
    by_key = {key: v.smiley_html(name) for _, name, key in SMILEYS}
    pairs += [(key, by_key[key]) for key in SMILEY_KEYS]
    return pairs


def template_text(engine: str, texts: dict | None = None) -> str:
    """The template as box-file lines ("Key=Value", CR LF after each)."""
    return "".join(f"{k}={v}\r\n" for k, v in template_keys(engine, texts))


def web_settings(engine: str) -> dict:
    """WebClient, WebPath, WebTopic and WebPost values for a box of the engine."""
    return dict(WEB_SETTINGS[engine])
