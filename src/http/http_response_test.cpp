#include "http/http_response.h"

#include <gtest/gtest.h>

namespace quorix::http {
namespace {

TEST(HttpResponse, StatusCodeOfWellFormedAndBrokenStatusLines) {
  struct Case {
    std::string_view response;
    int code;
  };
  const Case cases[] = {
      {"HTTP/1.0 200 OK\r\n\r\nbody", 200},
      {"HTTP/1.1 301 Moved Permanently\r\nLocation: https://x/\r\n\r\n", 301},
      {"HTTP/1.0 503\r\n\r\n", 503},
      {"HTTP/1.0 404", 404},
      {"HTTP/1.0 20", 0},
      {"HTTP/1.0 2000 OK\r\n", 0},
      {"HTTP/1.0 2x0 OK\r\n", 0},
      {"<html>HTTP/1.0 200 OK", 0},
      {"", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(StatusCode(c.response), c.code) << c.response;
}

TEST(HttpResponse, HeaderValueSearchesOnlyTheHeaderBlockIgnoringCase) {
  const std::string_view response =
      "HTTP/1.1 302 Found\r\nlocation:   https://new.example/forum/  \r\n"
      "Content-Type: text/html; charset=UTF-8\r\n\r\nLocation: /not-a-header\r\n";
  EXPECT_EQ(HeaderValue(response, "Location"), "https://new.example/forum/");
  EXPECT_EQ(HeaderValue(response, "content-type"), "text/html; charset=UTF-8");
  EXPECT_EQ(HeaderValue("HTTP/1.0 200 OK\r\n\r\nLocation: x\r\n", "Location"), "");
  EXPECT_EQ(HeaderValue("HTTP/1.0 200 OK\nServer: bare\n\nbody", "Server"), "bare");
}

TEST(HttpResponse, BodyStartsAfterTheFirstBlankLine) {
  EXPECT_EQ(ResponseBody("HTTP/1.0 200 OK\r\nA: b\r\n\r\n<html>\r\n\r\nx"), "<html>\r\n\r\nx");
  EXPECT_EQ(ResponseBody("HTTP/1.0 200 OK\nA: b\n\nbody"), "body");
  EXPECT_EQ(ResponseBody("HTTP/1.0 200 OK\r\nA: b\r\n"), "");
}

}  // namespace
}  // namespace quorix::http
