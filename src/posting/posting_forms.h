// From a parsed outgoing article to the request that submits it: the forum
// lookups, the own-address markup, the footer and the form bodies of the four
// actions for both engines. Pure: no I/O.
//
// User texts (user name, password, subject, body) are form-encoded; forum
// name, forum number and topic go in as they are, because they come from the
// group list and from our own Message-IDs in the form the forum expects.
#pragma once

#include <string>
#include <string_view>

#include "posting/outgoing_article.h"
#include "run/settings.h"

namespace quorix::posting {

struct PostingRequest {
  std::string path;  // absolute request path
  std::string body;  // form-encoded body
};

// The steps between reading and sending, in this order: the UBBThreads forum
// number loses its "forum" prefix; the forum name is looked up by number; the
// own address in the body is marked; a new topic takes forum name and number
// from its newsgroup's group list line (both keep their values without one);
// new topics and replies get the footer.
void CompleteArticle(int engine, const run::WebSettings& web, std::string_view group_list_text,
                     OutgoingArticle& article);

// "[I]## " + newsreader + ", via QUORIX " + version + "[/I]".
std::string Footer(std::string_view newsreader);

// The number at the start of `text` (0 without leading digits) with at least
// six digits: "5" gives "000005", "x" gives "000000". Any length is kept.
std::string Num6(std::string_view text);

// The form bodies of the forum's posting script ("/" + WebPath + WebPost).
std::string NewTopicForm(const run::WebSettings& web, const OutgoingArticle& article);
std::string ReplyForm(const run::WebSettings& web, const OutgoingArticle& article);
std::string EditForm(const run::WebSettings& web, const OutgoingArticle& article);
std::string DeleteForm(const run::WebSettings& web, const OutgoingArticle& article);
// The UBBThreads reply form ("/" + WebPath + "addpost.php").
std::string ThreadsReplyForm(const run::WebSettings& web, const OutgoingArticle& article);

// Path and body for a completed article.
PostingRequest BuildPostingRequest(int engine, const run::WebSettings& web,
                                   const OutgoingArticle& article);

// True when `response` is not empty and contains one of the template's
// success texts (post, edit or delete, whatever the action). An empty success
// text is never found, so an error page can never confirm an article.
bool IsPostAccepted(std::string_view response, const run::ForumTemplate& forum_template);

}  // namespace quorix::posting
