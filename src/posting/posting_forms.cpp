#include "posting/posting_forms.h"

#include "convert/filters.h"
#include "http/form_encoder.h"
#include "posting/group_list_lookup.h"
#include "run/run.h"

namespace quorix::posting {
namespace {

std::string Enc(std::string_view text) { return http::UrlEncodeForm(text); }

bool ContainsSuccessText(std::string_view response, std::string_view success_text) {
  return !success_text.empty() && response.find(success_text) != std::string_view::npos;
}

}  // namespace

void CompleteArticle(int engine, const run::WebSettings& web, std::string_view group_list_text,
                     OutgoingArticle& article) {
  if (engine == run::kUbbThreads) {
    article.forum_number = CutThreadsForumPrefix(article.forum_number);
  }
  if (auto forum = FindForumByNumber(group_list_text, article.forum_number)) {
    article.forum_name = std::move(forum->forum_name);
  }
  article.body = convert::MarkOwnAddress(article.body, web.sender_address);
  if (article.post_action == kNewTopic) {
    if (auto forum = FindForumByNewsgroup(group_list_text, article.newsgroup)) {
      article.forum_name = std::move(forum->forum_name);
      article.forum_number = std::move(forum->forum_number);
    }
  }
  if (article.post_action == kNewTopic || article.post_action == kReply) {
    article.body += Footer(article.newsreader);
  }
}

std::string Footer(std::string_view newsreader) {
  std::string footer = "[I]## ";
  footer.append(newsreader);
  footer.append(", via QUORIX ");
  footer.append(run::kVersionText);
  footer.append("[/I]");
  return footer;
}

std::string Num6(std::string_view text) {
  size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  std::string_view number = text.substr(0, digits);
  while (number.size() > 1 && number.front() == '0') number.remove_prefix(1);
  if (number.empty()) number = "0";
  std::string result(number.size() < 6 ? 6 - number.size() : 0, '0');
  result.append(number);
  return result;
}

std::string NewTopicForm(const run::WebSettings& web, const OutgoingArticle& article) {
  return "UserName=" + Enc(web.user) + "&Password=" + Enc(web.password) +
         "&TopicSubject=" + Enc(article.subject) + "&Message=" + Enc(article.body) +
         "&number=" + article.forum_number + "&forum=" + article.forum_name + "&action=posttopic" +
         "&Submit=Submit+New+Topic";
}

std::string ReplyForm(const run::WebSettings& web, const OutgoingArticle& article) {
  return "UserName=" + Enc(web.user) + "&Password=" + Enc(web.password) +
         "&ReplyMessage=" + Enc(article.body) + "&Signature=no" + "&action=postreply" +
         "&TopicSubject=" + Enc(article.subject) + "&forum=" + article.forum_name +
         "&number=" + article.forum_number + "&topic=" + article.topic_id + "&SUBMIT=Submit+Reply";
}

std::string EditForm(const run::WebSettings& web, const OutgoingArticle& article) {
  return "UserName=" + Enc(web.user) + "&Password=" + Enc(web.password) +
         "&EditedMessage=" + Enc(article.body) + "&action=submitedit" +
         "&TopicSubject=" + Enc(article.subject) + "&forum=" + article.forum_name +
         "&ReplyNum=" + Num6(article.reply_number) + "&number=" + article.forum_number +
         "&topic=" + article.topic_id + "&SUBMIT=Submit+Now";
}

std::string DeleteForm(const run::WebSettings& web, const OutgoingArticle& article) {
  return "DeletePost=yes" + ("&" + EditForm(web, article));
}

std::string ThreadsReplyForm(const run::WebSettings& web, const OutgoingArticle& article) {
  return "postername=" + Enc(web.user) + "&Board=FOR" + article.forum_number +
         "&Cat=&Reged=y&page=0" + "&Main=" + article.topic_id + "&Parent=" + article.reply_number +
         "&view=expanded&what=showflat&sb=5&o=&fpart=1&vc=1" + "&replyto=Edvin+Tolland" +
         "&Subject=" + Enc(article.subject) + "&Icon=book.gif&convert=markup" +
         "&Body=" + Enc(article.body) + "&textcont=Weiter";
}

PostingRequest BuildPostingRequest(int engine, const run::WebSettings& web,
                                   const OutgoingArticle& article) {
  PostingRequest request;
  if (engine == run::kUbbThreads && article.post_action == kReply) {
    request.path = "/" + web.path + "addpost.php";
    request.body = ThreadsReplyForm(web, article);
    return request;
  }
  request.path = "/" + web.path + web.post;
  switch (article.post_action) {
    case kReply:
      request.body = ReplyForm(web, article);
      break;
    case kEdit:
      request.body = EditForm(web, article);
      break;
    case kDelete:
      request.body = DeleteForm(web, article);
      break;
    default:
      request.body = NewTopicForm(web, article);
      break;
  }
  return request;
}

bool IsPostAccepted(std::string_view response, const run::ForumTemplate& forum_template) {
  if (response.empty()) return false;
  return ContainsSuccessText(response, forum_template.article_post_ok) ||
         ContainsSuccessText(response, forum_template.article_edit_ok) ||
         ContainsSuccessText(response, forum_template.article_dele_ok);
}

}  // namespace quorix::posting
