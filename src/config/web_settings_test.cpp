#include "config/web_settings.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

#include "config/group_list.h"
#include "log/logger.h"
#include "platform/process.h"
#include "run/testing.h"

namespace quorix::config {
namespace {

class WebSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    run().slots[1].box_file = "MYBOX.BFG";
    // Group lists are looked up relative to the scratch directory.
    run().slots[1].box_file = dir_.Prefix() + "MYBOX.BFG";
  }
  run::Run& run() { return t_.run; }
  const run::WebSettings& Read(const std::string& text, bool xp2) {
    run().env.is_xp2 = xp2 ? 1 : 0;
    run().env.is_rfc_client = xp2 ? 0 : 1;
    // Applied to the slot as the worker that reads the box does (core's LoadBox).
    run::Slot& slot = run().slots[1];
    const log::ThreadLog log{run().log, 1};
    WebConfig config = ReadWebSettings(run().env, log, text, slot.web, slot.box_file);
    if (config.dupe_base_size) run().RaiseDupeBaseLimit(*config.dupe_base_size);
    slot.web = std::move(config.web);
    slot.shown_server.Set(slot.web.server);
    std::optional<std::string> groups =
        ReadGroupList(run().file_open_mutex, log, slot.web.group_file);
    if (groups) slot.group_list_text = std::move(*groups);
    if (run().posting_enabled.load() == 0) slot.web.posting = 0;
    return slot.web;
  }

  testing::ScratchDir dir_;
  testing::TestRun t_;
};

TEST_F(WebSettingsTest, RfcPppDefaults) {
  const run::WebSettings& web = Read("\r\n", true);
  EXPECT_EQ(web.server, "");
  EXPECT_EQ(web.port, 119);
  EXPECT_EQ(web.engine, run::kUbb);
  EXPECT_EQ(web.timeout_seconds, 15);
  EXPECT_EQ(web.spool, "SPOOL\\");
  EXPECT_EQ(web.path, "/support/forums");
  EXPECT_EQ(web.topic, "forumdisplay.cgi?action=topics&forum=");
  EXPECT_EQ(web.post, "postings.cgi");
  EXPECT_EQ(web.posting, 1);
  EXPECT_EQ(web.flooding_control, 10);
  EXPECT_EQ(run().DupeBaseLimit(), 128000);
  EXPECT_EQ(web.group_file, dir_.Prefix() + "MYBOX.WEB");
  EXPECT_EQ(web.sender_address, "@");
}

TEST_F(WebSettingsTest, RfcClientDefaults) {
  run().slots[1].web.flooding_control = 0;
  const run::WebSettings& web = Read("\r\n", false);
  EXPECT_EQ(web.spool, platform::CurrentDirectory() + "\\");
  EXPECT_EQ(web.posting, 1);
  EXPECT_EQ(web.flooding_control, 0);
  EXPECT_EQ(run().DupeBaseLimit(), 64000);
  EXPECT_EQ(web.group_file, "MYBOX.WEB");  // from the box name alone, no directory
}

TEST_F(WebSettingsTest, RfcClientKeysAndClientPath) {
  const run::WebSettings& web = Read(
      "Client-WebServer=forum.example\r\nClient-WebPort=8080\r\nClient-WebUser=u\r\n"
      "Client-WebPassword=p&w\r\nClient-WebClient=threads\r\nClient-Spool=C:\\NEWS\r\n"
      "Client-Path=C:\\XP\\\r\nWebFloodingControl=99\r\n",
      false);
  EXPECT_EQ(web.server, "forum.example");
  EXPECT_EQ(web.port, 8080);
  EXPECT_EQ(web.user, "u");
  EXPECT_EQ(web.password, "p&w");
  EXPECT_EQ(web.engine, run::kUbbThreads);
  EXPECT_EQ(web.spool, "C:\\NEWS\\");
  EXPECT_EQ(web.group_file, "C:\\XP\\MYBOX.WEB");
  EXPECT_EQ(web.flooding_control, 0) << "not a key of the RFC/Client style";
}

TEST_F(WebSettingsTest, ClientWebSpoolWinsOverClientSpool) {
  const run::WebSettings& web = Read("Client-WebSpool=A\\\r\nClient-Spool=B\r\n", false);
  EXPECT_EQ(web.spool, "A\\");
}

// The scheme picks TLS and the default port; every box without one reads as before.
TEST_F(WebSettingsTest, ServerSchemeTlsAndDefaultPort) {
  struct Case {
    const char* keys;
    bool xp2;
    const char* host;
    bool tls;
    int port;
  };
  const Case cases[] = {
      {"WebServer=forum.example\r\n", true, "forum.example", false, 119},
      {"WebServer=http://forum.example\r\n", true, "forum.example", false, 119},
      {"WebServer=https://forum.example\r\n", true, "forum.example", true, 443},
      {"WebServer=HTTPS://forum.example/\r\nWebPort=8443\r\n", true, "forum.example", true, 8443},
      {"WebServer=https://forum.example\r\nWebPort=80\r\n", true, "forum.example", true, 80},
      {"WebServer=forum.example/\r\n", true, "forum.example/", false, 119},
      {"Client-WebServer=https://forum.example\r\n", false, "forum.example", true, 443},
      {"Client-WebServer=http://forum.example\r\nClient-WebPort=81\r\n", false, "forum.example",
       false, 81},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    const run::WebSettings& web = Read(c.keys, c.xp2);
    EXPECT_EQ(web.server, c.host);
    EXPECT_EQ(web.tls, c.tls);
    EXPECT_EQ(web.port, c.port);
    EXPECT_TRUE(web.port_valid);
  }
  EXPECT_EQ(Read("WebServer=https://f\r\nWebCAFile=C:\\XP\\CA.PEM\r\n", true).ca_file,
            "C:\\XP\\CA.PEM");
  EXPECT_EQ(Read("WebServer=https://f\r\n", true).ca_file, "");
}

TEST_F(WebSettingsTest, ProxyKeysInBothStylesAsWritten) {
  for (const bool xp2 : {true, false}) {
    SCOPED_TRACE(xp2);
    const run::WebSettings web =
        Read("WebProxy=socks5://127.0.0.1:9050\r\nWebProxyUser=me\r\nWebProxyPass= pw \r\n"
             "ExWebProxy=http://proxy:3128\r\n",
             xp2);
    EXPECT_EQ(web.proxy, "http://proxy:3128");
    EXPECT_EQ(web.proxy_user, "me");
    EXPECT_EQ(web.proxy_password, " pw ");
    const run::WebSettings none = Read("WebServer=f\r\n", xp2);
    EXPECT_EQ(none.proxy, "");
    EXPECT_EQ(none.proxy_user, "");
  }
}

TEST(ConnectionsSetting, RangeClampsAndNonNumbers) {
  struct Case {
    const char* value;
    int connections;
    const char* problem;
  };
  const Case cases[] = {
      {"", 0, ""},
      {"  ", 0, ""},
      {"1", 1, ""},
      {" 4 ", 4, ""},
      {"8", 8, ""},
      {"0", 1, "WebConnections=0 is not in 1..8, 1 used"},
      {"9", 8, "WebConnections=9 is not in 1..8, 8 used"},
      {"1000000000000", 0, "WebConnections=1000000000000 is no number of connections, the default used"},
      {"-2", 0, "WebConnections=-2 is no number of connections, the default used"},
      {"four", 0, "WebConnections=four is no number of connections, the default used"},
      {"4x", 0, "WebConnections=4x is no number of connections, the default used"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    std::string problem = "left from before";
    EXPECT_EQ(ConnectionsSetting(c.value, &problem), c.connections);
    EXPECT_EQ(problem, c.problem);
  }
}

TEST_F(WebSettingsTest, ConnectionsKeyInBothStylesAndItsProblemLogged) {
  run().log.SetMainLog(log::Logger::OpenLogFile(dir_.PathOf("QUORIX.LOG")), "");
  EXPECT_EQ(Read("WebConnections=3\r\n", true).connections, 3);
  EXPECT_EQ(Read("WebConnections=2\r\n", false).connections, 2);
  EXPECT_EQ(Read("\r\n", false).connections, 0);
  EXPECT_EQ(Read("WebConnections=12\r\n", true).connections, 8);
  run().log.CloseLogs();
  EXPECT_NE(dir_.Read("QUORIX.LOG").find("? 14:03:59  QUORIX #1: WebConnections=12 is not in 1..8, 8 used"),
            std::string::npos)
      << dir_.Read("QUORIX.LOG");
}

TEST(EngineFromName, Names) {
  const std::pair<const char*, int> cases[] = {
      {"CGI", 1}, {"ubbcgi", 1}, {"threads", 2}, {"UBBTHREADS", 2}, {"UbbThread", 2},
      {"UBB", 0}, {"", 0},       {" CGI", 0},
  };
  for (const auto& [name, engine] : cases) EXPECT_EQ(EngineFromName(name), engine) << name;
}

TEST_F(WebSettingsTest, SpoolGetsOneTrailingBackslash) {
  EXPECT_EQ(Read("WebSpool=C:\\NEWS\\\r\n", true).spool, "C:\\NEWS\\");
  EXPECT_EQ(Read("WebSpool=C:\\NEWS\r\n", true).spool, "C:\\NEWS\\");
  EXPECT_EQ(Read("WebSpool=/var/spool/\r\n", true).spool, "/var/spool/");
}

TEST_F(WebSettingsTest, DupeBaseLimitLargestWinsWithFloor) {
  Read("WebDupeSize=5000\r\n", true);
  EXPECT_EQ(run().DupeBaseLimit(), 16000);
  Read("WebDupeSize=200000\r\n", true);
  Read("WebDupeSize=50000\r\n", true);
  EXPECT_EQ(run().DupeBaseLimit(), 200000);
  Read("WebDupeSize=1099511627776\r\n", true);
  EXPECT_EQ(run().DupeBaseLimit(), 1099511627776LL);
}

TEST_F(WebSettingsTest, PostingSwitchAndNoPost) {
  EXPECT_EQ(Read("WebPosting=N\r\n", true).posting, 0);
  EXPECT_EQ(Read("WebPosting= Y\r\n", true).posting, 0);
  EXPECT_EQ(Read("WebPosting=j\r\n", true).posting, 1);
  run().posting_enabled = 0;
  EXPECT_EQ(Read("WebPosting=Y\r\n", true).posting, 0);
}

TEST_F(WebSettingsTest, SenderAddressJoinsWithoutSeparators) {
  EXPECT_EQ(Read("Username=U\r\nPointname=P\r\nDomain=D\r\n", true).sender_address, "U@PD");
}

TEST_F(WebSettingsTest, ExOverrideAndBlanksAroundEquals) {
  const run::WebSettings& web = Read("WebPort = 8080\r\nExWebServer=x.example\r\n"
                                     "WebServer=y.example\r\n", true);
  EXPECT_EQ(web.port, 8080);
  EXPECT_EQ(web.server, "x.example");
  EXPECT_EQ(run().slots[1].shown_server.Get(), "x.example");
}

TEST_F(WebSettingsTest, PortOutsideRangeIsRefusedNotWrapped) {
  const run::WebSettings& web = Read("WebPort=99999\r\n", true);
  EXPECT_FALSE(web.port_valid);
  EXPECT_EQ(web.port, 0);
  EXPECT_FALSE(Read("WebPort=0\r\n", true).port_valid);
  EXPECT_FALSE(Read("WebPort=-80\r\n", true).port_valid);
  EXPECT_TRUE(Read("WebPort=65535\r\n", true).port_valid);
}

TEST_F(WebSettingsTest, GroupListLoadedWhenPresentAndNeverCreated) {
  dir_.Write("MYBOX.WEB", "de.test,General+Talk,3,30\r\n");
  Read("\r\n", true);
  EXPECT_EQ(run().slots[1].group_list_text, "de.test,General+Talk,3,30\r\n");

  run().slots[1].box_file = dir_.Prefix() + "OTHER.BFG";
  Read("\r\n", true);
  EXPECT_FALSE(dir_.Exists("OTHER.WEB"));
  EXPECT_EQ(run().slots[1].group_list_text, "de.test,General+Talk,3,30\r\n") << "keeps the old text";
}

}  // namespace
}  // namespace quorix::config
