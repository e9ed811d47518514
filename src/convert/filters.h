// The HTML-to-text filters that turn a forum post into news text, and the one
// filter the posting side applies in the other direction.
//
// All searches are plain and case-sensitive. Converted bodies use LF alone as
// the line separator. The filters that change a body work in place; each of
// their replacements is one left-to-right pass over non-overlapping
// occurrences, and a replacement with an empty search text changes nothing.
#pragma once

#include <string>
#include <string_view>

#include "run/settings.h"
#include "text/charset.h"

namespace quorix::convert {

// Field extractors of an UBB post cell. Each takes the text from its start
// marker plus a fixed skip (an absent marker counts as position 0) up to its
// end marker or the end of the text.
std::string UbbAuthorField(std::string_view cell);  // "<B>" + 3 .. "</B>"
std::string UbbDateField(std::string_view cell);    // ">posted" + 7 .. "&nbsp", blanks trimmed
// "<FONT><HR>" + 12 .. "</FONT>"; the page's CR and LF vanish, "<p>", "<P>"
// become two LFs and "<br>", "<BR>", "<br />" one LF.
std::string UbbBodyToText(std::string_view cell);

// "&amp;" -> "&", then "&lt;" -> "<", "&gt;" -> ">", "<LI>" -> "- ", in this
// order, so "&amp;gt;" ends as ">".
void DecodeEntities(std::string& text);
// The entity filter of a page in `charset`: character references first
// (DecodeCharacterReferences), then the replacements above. The references go
// first so that "&amp;#252;" and "&amp;auml;", an ampersand written out, stay
// the texts "&#252;" and "&auml;".
void DecodeEntities(std::string& text, text::Charset charset);
// "&#252;" and "&#xFC;" (the terminating ";" required) become the character
// in `charset`; 128..159 name the windows-1252 characters, as in browsers. A
// reference to NUL, a surrogate, a value above U+10FFFF or a character that
// `charset` lacks stays as it is. The named references of HTML 4 ("&auml;",
// "&euro;", "&quot;"; "&nbsp;" becomes a blank) are decoded in the same pass,
// so that no reference is read from what another one became. "&amp;", "&lt;"
// and "&gt;" are left to DecodeEntities' replacements. A name HTML does not
// define, or a character that `charset` lacks, stays as written.
void DecodeCharacterReferences(std::string& text, text::Charset charset);
// Bold and underline tags -> "_", "<em>" -> "[", "</em></font>" -> "]".
void StripHighlights(std::string& text);
// The template's smiley markups -> text smileys; an empty markup is skipped.
void ReplaceSmileys(std::string& text, const run::ForumTemplate& tmpl);

// Block filters: every block from the template's start marker to the first end
// marker after it is replaced (see block_loop.h for the exact loop).
// A web link becomes its bare target (the text between its first two quotes).
void StripUrlLinks(std::string& text, const run::ForumTemplate& tmpl);
// A mail link becomes its bare address; returns the address of the last link
// processed. When no link gave an address and the text has a signature (text
// after the first "-- " LF), the first "[a-z._-]+@[a-z._-]+" match of the
// whole text (letter case ignored) is returned instead, or empty.
std::string StripMailLinks(std::string& text, const run::ForumTemplate& tmpl);
// A quote becomes its lines, each on a line of its own starting with "> ".
// UBB: the content lies between the block's first two "<HR>".
void QuoteUbbBlocks(std::string& text, const run::ForumTemplate& tmpl);
// UBBThreads: the content starts one character after the start marker and
// ends two characters before the end marker.
void QuoteThreadsBlocks(std::string& text, const run::ForumTemplate& tmpl);

// The code-block step: the template's code markers become cut lines and the
// forum's signature rule becomes the news signature separator "-- ".
void ApplyUbbCodeBlocks(std::string& text, const run::ForumTemplate& tmpl);      // 3 replacements
void ApplyThreadsCodeBlocks(std::string& text, const run::ForumTemplate& tmpl);  // 6 replacements

// Every occurrence of the own address wrapped as "[MAILTO]" address
// "[/MAILTO]"; an empty address changes nothing.
std::string MarkOwnAddress(std::string_view text, std::string_view sender_address);

// The first match of "[a-z._-]+@[a-z._-]+" (ASCII letters of either case),
// leftmost and greedy; empty when there is none.
std::string_view FindMailAddress(std::string_view text);

}  // namespace quorix::convert
