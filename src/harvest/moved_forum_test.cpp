#include "harvest/moved_forum.h"

#include <gtest/gtest.h>

namespace quorix::harvest {
namespace {

TEST(MovedForumMessage, RedirectsAndNonForumAnswers) {
  const ForumRequest list = ForumRequest::kTopicList;
  const ForumRequest page = ForumRequest::kTopicPage;
  struct Case {
    const char* response;
    ForumRequest kind;
    const char* message;
  };
  const Case cases[] = {
      {"HTTP/1.0 200 OK\r\n\r\n<html>", list, ""},
      {"HTTP/1.0 200 OK\r\n\r\n<html>", page, ""},
      {"", list, ""},
      {"HTTP/1.1 301 Moved Permanently\r\nLocation: https://new.example/f/\r\n\r\n", list,
       "Forum moved: /f answers 301, new address https://new.example/f/"},
      {"HTTP/1.0 302 Found\r\nlocation:  /elsewhere \r\n\r\n", page,
       "Forum moved: /f answers 302, new address /elsewhere"},
      {"HTTP/1.0 307 Temporary\r\n\r\n", page, "Forum moved: /f answers 307 without a new address"},
      {"HTTP/1.0 308 Permanent\r\nLocation: https://h/\r\n\r\n", list,
       "Forum moved: /f answers 308, new address https://h/"},
      {"HTTP/1.0 404 Not Found\r\n\r\n<html>", list, "Not a forum page: /f answers status 404"},
      {"HTTP/1.0 404 Not Found\r\n\r\n<html>", page, ""},
      {"garbage without a status line", list, "Not a forum page: /f answers no HTTP status"},
      {"HTTP/1.0 303 See Other\r\nLocation: /x\r\n\r\n", list,
       "Not a forum page: /f answers status 303"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.response);
    EXPECT_EQ(MovedForumMessage("/f", c.response, c.kind), c.message);
  }
  const std::string long_address(1000, 'a');
  const std::string message =
      MovedForumMessage("/f", "HTTP/1.0 301 M\r\nLocation: " + long_address + "\r\n\r\n", page);
  EXPECT_EQ(message.size(), std::string("Forum moved: /f answers 301, new address ").size() + 300);
}

}  // namespace
}  // namespace quorix::harvest
