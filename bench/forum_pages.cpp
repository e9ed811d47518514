// Forum pages shaped like the simulator's, for the benchmarks.
#include "bench/forum_pages.h"

#include <array>
#include <vector>

#include "text/text.h"

namespace quorix::bench {

namespace {

constexpr std::string_view kUbbTemplate =
    "Index_Count=&start=\r\n"
    "Article_Start=\r\n"
    "Article_End=\r\n"
    "Article_Post_Ok=Your post has been added\r\n"
    "Article_Edit_Ok=Your edit was saved\r\n"
    "Article_Dele_Ok=The post was deleted\r\n"
    "Format_Start=<BLOCKQUOTE><font size=\"1\" face=\"Verdana, Arial\">code:</font><HR><pre>\r\n"
    "Format_End=</pre><HR></BLOCKQUOTE>\r\n"
    "Href_Mail_Start=<a href=\"mailto:\r\n"
    "Href_Mail_End=</a>\r\n"
    "Href_Url_Start=<A HREF=\"\r\n"
    "Href_Url_End=</A>\r\n"
    "Href_Quote_Start=<BLOCKQUOTE><font size=\"1\" face=\"Verdana, Arial\">quote:</font>\r\n"
    "Href_Quote_End=</BLOCKQUOTE>\r\n"
    "Strip_Smiley=Y\r\nStrip_Highlights=Y\r\nStrip_Mailto=Y\r\nStrip_Urls=Y\r\n"
    "Strip_Html=Y\r\nStrip_Quote=Y\r\nStrip_Format=Y\r\n"
    "Smiley_Default=<IMG SRC=\"/ubbgfx/smile.gif\" BORDER=0>\r\n"
    "Smiley_Wink=<IMG SRC=\"/ubbgfx/wink.gif\" BORDER=0>\r\n"
    "Smiley_Biggrin=<IMG SRC=\"/ubbgfx/biggrin.gif\" BORDER=0>\r\n"
    "Smiley_Confused=<IMG SRC=\"/ubbgfx/confused.gif\" BORDER=0>\r\n"
    "Smiley_Frown=<IMG SRC=\"/ubbgfx/frown.gif\" BORDER=0>\r\n"
    "Smiley_Rolleyes=<IMG SRC=\"/ubbgfx/rolleyes.gif\" BORDER=0>\r\n"
    "Smiley_Blush=<IMG SRC=\"/ubbgfx/blush.gif\" BORDER=0>\r\n"
    "Smiley_Tongue=<IMG SRC=\"/ubbgfx/tongue.gif\" BORDER=0>\r\n"
    "Smiley_Redface=<IMG SRC=\"/ubbgfx/redface.gif\" BORDER=0>\r\n"
    "Smiley_Cool=<IMG SRC=\"/ubbgfx/cool.gif\" BORDER=0>\r\n"
    "Smiley_Eek=<IMG SRC=\"/ubbgfx/eek.gif\" BORDER=0>\r\n";

constexpr std::string_view kThreadsTemplate =
    "Index_Count=\r\n"
    "Article_Start=<!-- Start of post -->\r\n"
    "Article_End=<!-- End of post -->\r\n"
    "Article_Post_Ok=Your post has been added\r\n"
    "Article_Edit_Ok=Your edit was saved\r\n"
    "Article_Dele_Ok=The post was deleted\r\n"
    "Format_Start=<blockquote><font class=\"code\">code:</font><hr><pre>\r\n"
    "Format_End=</pre><hr></blockquote>\r\n"
    "Href_Mail_Start=<a href=\"mailto:\r\n"
    "Href_Mail_End=</a>\r\n"
    "Href_Url_Start=<a href=\"http\r\n"
    "Href_Url_End=</a>\r\n"
    "Href_Quote_Start=<blockquote><font class=\"quote\">Quote:</font><hr>\r\n"
    "Href_Quote_End=<hr></blockquote>\r\n"
    "Strip_Smiley=Y\r\nStrip_Highlights=Y\r\nStrip_Mailto=Y\r\nStrip_Urls=Y\r\n"
    "Strip_Html=Y\r\nStrip_Quote=Y\r\nStrip_Format=Y\r\n"
    "Smiley_Default=<img src=\"/ubbthreads/images/graemlins/smile.gif\" alt=\"\" border=\"0\" "
    "/>\r\n"
    "Smiley_Wink=<img src=\"/ubbthreads/images/graemlins/wink.gif\" alt=\"\" border=\"0\" />\r\n"
    "Smiley_Biggrin=<img src=\"/ubbthreads/images/graemlins/biggrin.gif\" alt=\"\" border=\"0\" "
    "/>\r\n"
    "Smiley_Confused=<img src=\"/ubbthreads/images/graemlins/confused.gif\" alt=\"\" "
    "border=\"0\" />\r\n"
    "Smiley_Frown=<img src=\"/ubbthreads/images/graemlins/frown.gif\" alt=\"\" border=\"0\" />\r\n"
    "Smiley_Rolleyes=<img src=\"/ubbthreads/images/graemlins/rolleyes.gif\" alt=\"\" "
    "border=\"0\" />\r\n"
    "Smiley_Blush=<img src=\"/ubbthreads/images/graemlins/blush.gif\" alt=\"\" border=\"0\" />\r\n"
    "Smiley_Tongue=<img src=\"/ubbthreads/images/graemlins/tongue.gif\" alt=\"\" border=\"0\" "
    "/>\r\n"
    "Smiley_Redface=<img src=\"/ubbthreads/images/graemlins/redface.gif\" alt=\"\" "
    "border=\"0\" />\r\n"
    "Smiley_Cool=<img src=\"/ubbthreads/images/graemlins/cool.gif\" alt=\"\" border=\"0\" />\r\n"
    "Smiley_Eek=<img src=\"/ubbthreads/images/graemlins/eek.gif\" alt=\"\" border=\"0\" />\r\n";

// The simulator's renderings of four forum-markup bodies; {t} and {k} stand
// for the topic and post numbers.
constexpr std::array<std::string_view, 4> kUbbBodies = {
    "Hello all,<p>\nhere is my <B>post {k}</B> in topic {t} <IMG SRC=\"/ubbgfx/smile.gif\" "
    "BORDER=0> with a link to <A HREF=\"http://www.example.org/docs?a={t}&amp;b={k}\" "
    "TARGET=_blank>the docs</A> and one to <A HREF=\"http://www.example.com/{t}\" "
    "TARGET=_blank>www.example.com/{t}</A>.<br>\nWrite to <a "
    "href=\"mailto:user{k}.name@example.net\">user{k}.name@example.net</a> if you like <IMG "
    "SRC=\"/ubbgfx/wink.gif\" BORDER=0><p>\n<BLOCKQUOTE><font size=\"1\" face=\"Verdana, "
    "Arial\">code:</font><HR><pre>for i in 1 2 3<br>\n  echo $i {t}<br>\ndone</pre><HR>"
    "</BLOCKQUOTE><br>\nTom &amp; Jerry say &lt;hello&gt; <IMG SRC=\"/ubbgfx/biggrin.gif\" "
    "BORDER=0>",
    "<BLOCKQUOTE><font size=\"1\" face=\"Verdana, Arial\">quote:</font><HR>Originally posted by "
    "<B>Bob</B>:<br>\nhere is what topic {t} said<br>\nwith two lines<HR></BLOCKQUOTE><br>\n"
    "Thanks Bob <IMG SRC=\"/ubbgfx/cool.gif\" BORDER=0> that helped (reply {k}).",
    "Short answer {k} to {t}: <I>it depends</I> <IMG SRC=\"/ubbgfx/confused.gif\" "
    "BORDER=0><br>\nSee <A HREF=\"http://forum.example.org/faq#{k}\" TARGET=_blank>the FAQ</A> "
    "first.<p>\nSecond paragraph with <U>underlined</U> words and a line<br>\nbreak <IMG "
    "SRC=\"/ubbgfx/tongue.gif\" BORDER=0>",
    "<BLOCKQUOTE><font size=\"1\" face=\"Verdana, Arial\">quote:</font><HR>A quote without a "
    "name, topic {t}<HR></BLOCKQUOTE><br>\n<BLOCKQUOTE><font size=\"1\" face=\"Verdana, "
    "Arial\">quote:</font><HR>Originally posted by <B>Alice</B>:<br>\nand a second one,<br>\n"
    "reply {k}<HR></BLOCKQUOTE><br>\nI disagree <IMG SRC=\"/ubbgfx/frown.gif\" BORDER=0> because "
    "3 &lt; 4 &amp;&amp; 5 &gt; 2.<br>\n<BLOCKQUOTE><font size=\"1\" face=\"Verdana, "
    "Arial\">code:</font><HR><pre>x = {k}<br>\nprint(x * {t})</pre><HR></BLOCKQUOTE><br>\nBye "
    "<IMG SRC=\"/ubbgfx/eek.gif\" BORDER=0>",
};
constexpr std::string_view kUbbSignature =
    "<p>\n------------------<br>\nGreetings<br>\nhttp://home.example.org/~user{k}";

constexpr std::array<std::string_view, 4> kThreadsBodies = {
    "Hello all,<br />\n<br />\nhere is my <b>post {k}</b> in topic {t} <img "
    "src=\"/ubbthreads/images/graemlins/smile.gif\" alt=\"\" border=\"0\" /> with a link to <a "
    "href=\"http://www.example.org/docs?a={t}&amp;b={k}\" target=\"_blank\">the docs</a> and one "
    "to <a href=\"http://www.example.com/{t}\" target=\"_blank\">www.example.com/{t}</a>.<br />\n"
    "Write to <a href=\"mailto:user{k}.name@example.net\">user{k}.name@example.net</a> if you "
    "like <img src=\"/ubbthreads/images/graemlins/wink.gif\" alt=\"\" border=\"0\" /><br />\n<br "
    "/>\n<blockquote><font class=\"code\">code:</font><hr><pre>for i in 1 2 3<br />\n  echo $i "
    "{t}<br />\ndone</pre><hr></blockquote><br />\nTom &amp; Jerry say &lt;hello&gt; <img "
    "src=\"/ubbthreads/images/graemlins/biggrin.gif\" alt=\"\" border=\"0\" />",
    "<blockquote><font class=\"quote\">Quote:</font><hr><br />\nOriginally posted by Bob:<br />\n"
    "here is what topic {t} said<br />\nwith two lines<br />\n<br />\n<hr></blockquote><br />\n"
    "Thanks Bob <img src=\"/ubbthreads/images/graemlins/cool.gif\" alt=\"\" border=\"0\" /> that "
    "helped (reply {k}).",
    "Short answer {k} to {t}: <i>it depends</i> <img "
    "src=\"/ubbthreads/images/graemlins/confused.gif\" alt=\"\" border=\"0\" /><br />\nSee <a "
    "href=\"http://forum.example.org/faq#{k}\" target=\"_blank\">the FAQ</a> first.<br />\n<br "
    "/>\nSecond paragraph with <u>underlined</u> words and a line<br />\nbreak <img "
    "src=\"/ubbthreads/images/graemlins/tongue.gif\" alt=\"\" border=\"0\" />",
    "<blockquote><font class=\"quote\">Quote:</font><hr><br />\nA quote without a name, topic "
    "{t}<br />\n<br />\n<hr></blockquote><br />\n<blockquote><font "
    "class=\"quote\">Quote:</font><hr><br />\nOriginally posted by Alice:<br />\nand a second "
    "one,<br />\nreply {k}<br />\n<br />\n<hr></blockquote><br />\nI disagree <img "
    "src=\"/ubbthreads/images/graemlins/frown.gif\" alt=\"\" border=\"0\" /> because 3 &lt; 4 "
    "&amp;&amp; 5 &gt; 2.<br />\n<blockquote><font class=\"code\">code:</font><hr><pre>x = "
    "{k}<br />\nprint(x * {t})</pre><hr></blockquote><br />\nBye <img "
    "src=\"/ubbthreads/images/graemlins/eek.gif\" alt=\"\" border=\"0\" />",
};
constexpr std::string_view kThreadsSignature =
    "<br />\n<br />\n---- <br />\nGreetings<br />\nhttp://home.example.org/~user{k}";

constexpr std::array<std::string_view, 6> kAuthors = {"Alice", "Bob",  "Carol",
                                                      "Dave",  "Erin", "Frank"};
constexpr std::string_view kFont1 = "<FONT SIZE=\"1\" FACE=\"Verdana, Arial\">";
constexpr std::string_view kFont2 = "<FONT SIZE=\"2\" FACE=\"Verdana, Arial\">";
constexpr int kFirstPostNumber = 4700;

std::string Fill(std::string_view pattern, int topic, int k) {
  std::string filled = text::ReplaceAll(pattern, "{t}", text::Decimal(topic));
  return text::ReplaceAll(filled, "{k}", text::Decimal(k));
}

std::string Body(const std::array<std::string_view, 4>& bodies, std::string_view signature,
                 int topic, int k) {
  std::string body = Fill(bodies[static_cast<size_t>(topic + k) % bodies.size()], topic, k);
  if (k % 4 == 0) body.append(Fill(signature, topic, k));
  return body;
}

std::string Join(const std::vector<std::string>& lines, std::string_view separator) {
  std::string joined;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) joined.append(separator);
    joined.append(lines[i]);
  }
  return joined;
}

std::string SixDigits(int number) {
  std::string digits = text::Decimal(number);
  return std::string(digits.size() < 6 ? 6 - digits.size() : 0, '0') + digits;
}

std::string_view Author(int topic, int k) {
  return kAuthors[static_cast<size_t>(topic + k) % kAuthors.size()];
}

std::string UbbPostCell(int topic, int k) {
  const std::string s = std::string(kFont1);
  std::vector<std::string> fields = {
      "<TD width=18% valign=top>" + std::string(kFont2),
      "<B>" + std::string(Author(topic, k)) + "</B></FONT><BR>",
      s + "Member</FONT><BR>",
      s + "Posts: " + text::Decimal(k % 97 + 1) + "</FONT><BR>",
      s + "Registered: Jan 2004</FONT>",
      "</td><td bgcolor=\"#f7f7f7\" width=82% valign=top>",
      s + "posted October 05, 2004 09:15 AM&nbsp;&nbsp;&nbsp;&nbsp;"
          "<IMG SRC=\"/ubbgfx/profile.gif\" BORDER=0>",
      "<IMG SRC=\"/ubbgfx/edit.gif\" BORDER=0 ALT=\"Edit/Delete Message\">",
      "</FONT>",
      std::string(kFont2) + "<FONT><HR>  " + UbbPostBody(topic, k) + "</FONT>",
      s + "<A HREF=\"#top\">top</A></FONT>",
  };
  return Join(fields, "\r\n") + "</td></tr>";
}

std::string ThreadsPostSection(int topic, int k) {
  const std::string number = text::Decimal(kFirstPostNumber + topic * 10 + k);
  const std::string author(Author(topic, k));
  const std::string subject = k == 0 ? "Topic " + text::Decimal(topic) + ": question &amp; answer"
                                     : "Re: Topic " + text::Decimal(topic);
  std::vector<std::string> lines = {
      "<!-- Start of post -->",
      "<table width=\"100%\" cellspacing=\"1\" cellpadding=\"3\" class=\"tableborders\">",
      "<tr><td class=\"subjecttable\">",
      "<a name=\"Post" + number +
          "\"></a><img src=\"/ubbthreads/images/icons/book.gif\" alt=\"\" /> <b>",
      subject,
      "</b>",
      "</td></tr>",
      "<tr><td class=\"lighttable\">",
      "<a href=\"/ubbthreads/showprofile.php?Cat=&amp;User=" + author +
          "&amp;Board=FOR7\" target=\"_blank\">" + author + "</a>",
      "<font class=\"small\"> #" + number + " - 05.10.2004 09:15 <i></i></font>",
      "</td></tr>",
      "<tr><td class=\"lighttable\">",
      "<font class=\"post\">" + ThreadsPostBody(topic, k) + "<!--end-->",
      "<a target=\"_top\" href=\"/ubbthreads/addpost.php?Cat=&amp;Board=FOR7&amp;page=0&amp;"
      "Reply=" +
          number + "\">Reply</a>",
      "</font></td></tr>",
      "</table>",
      "<!-- End of post -->",
  };
  return Join(lines, "\n");
}

}  // namespace

std::string_view UbbTemplateText() { return kUbbTemplate; }
std::string_view ThreadsTemplateText() { return kThreadsTemplate; }

std::string UbbPostBody(int topic, int k) { return Body(kUbbBodies, kUbbSignature, topic, k); }

std::string ThreadsPostBody(int topic, int k) {
  return Body(kThreadsBodies, kThreadsSignature, topic, k);
}

std::string UbbTopicPage(int topic, int posts) {
  const std::string name = "Topic " + text::Decimal(topic) + ": question &amp; answer";
  std::vector<std::string> lines = {
      "<HTML><HEAD><TITLE>General Talk - " + name + "</TITLE></HEAD>",
      "<BODY BGCOLOR=\"#FFFFFF\" TEXT=\"#000000\">",
      std::string(kFont2) + "<B>Topic:&nbsp;&nbsp;" + name + "</B></FONT>",
      "<TABLE BORDER=0 CELLPADDING=4 CELLSPACING=1 WIDTH=95% ALIGN=CENTER>",
  };
  for (int k = 0; k < posts; ++k) {
    lines.emplace_back("<TR BGCOLOR=\"#f7f7f7\">");
    lines.push_back(UbbPostCell(topic, k));
  }
  lines.emplace_back("</TABLE>");
  lines.emplace_back("</BODY></HTML>");
  return Join(lines, "\r\n") + "\r\n";
}

std::string ThreadsFlatPage(int topic, int posts) {
  std::vector<std::string> lines = {
      "<html>",
      "<head>",
      "<title>Topic " + text::Decimal(topic) + ": question &amp; answer</title>",
      "</head>",
      "<body>",
      "<table width=\"100%\"><tr><td class=\"navigation\">PHP Corner</td></tr></table>",
  };
  for (int k = 0; k < posts; ++k) lines.push_back(ThreadsPostSection(topic, k));
  lines.emplace_back("<a href=\"/ubbthreads/postlist.php?Board=FOR7\">Back</a>");
  lines.emplace_back("</body></html>");
  return Join(lines, "\n") + "\n";
}

std::string UbbTopicAddress(int topic) {
  return "/support/forums/Forum3/HTML/" + SixDigits(topic) + ".html";
}

std::string ThreadsTopicAddress(int topic) {
  return "/ubbthreads/showflat.php?Cat=&Board=FOR7&Number=" +
         text::Decimal(kFirstPostNumber + topic * 10) + "&page=0&view=collapsed&sb=5&o=&fpart=all";
}

std::string LargeUbbCell(size_t bytes) {
  std::string cell = "<FONT><HR>  ";
  cell.reserve(bytes + 4096);
  for (int k = 0; cell.size() < bytes; ++k) {
    cell.append(UbbPostBody(k / 10, k)).append("<p>\r\n");
  }
  cell.append("</FONT>");
  return cell;
}

std::string LargeThreadsBody(size_t bytes) {
  std::string body;
  body.reserve(bytes + 4096);
  for (int k = 0; body.size() < bytes; ++k) {
    body.append(ThreadsPostBody(k / 10, k)).append("<br />\n<br />\n");
  }
  // The line breaks as UbbBodyToText leaves them.
  body = text::ReplaceAll(body, "\n", "");
  return text::ReplaceAll(body, "<br />", "\n");
}

}  // namespace quorix::bench
