// The web view's rules that a black-box test reaches only slowly or not at
// all: escaping of hostile bytes, the template filler, session expiry and
// the brake on wrong passwords (on a test clock), credentials, addresses and
// days.
#include <gtest/gtest.h>

#include "auth.h"
#include "html.h"
#include "serve.h"
#include "view.h"

namespace tng::web {
namespace {

using std::chrono::minutes;
using std::chrono::seconds;

constexpr std::string_view kFffd = "\xEF\xBF\xBD";

TEST(Escape, HostileTextBecomesInertText) {
  const std::string r(kFffd);
  const struct {
    std::string in, out;
  } cases[] = {
      {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"a\"b'c&d", "a&quot;b&#39;c&amp;d"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"tab\tline\ncr\r", "tab\tline\ncr\r"},
      {"\xFF", r},                          // never in UTF-8
      {"x\x80y", "x" + r + "y"},            // a lone continuation byte
      {"\xE2\x82", r + r},                  // cut short
      {"\xE2\x82<", r + r + "&lt;"},        // cut short before markup
      {"\xC0\xAF", r + r},                  // overlong '/'
      {"\xE0\x80\xAF", r + r + r},          // overlong, three bytes
      {"\xED\xA0\x80", r + r + r},          // an encoded surrogate
      {"\xF4\x90\x80\x80", r + r + r + r},  // past U+10FFFF
      {"\x01\x1B[31m", r + r + "[31m"},     // C0 controls
      {"\x7F", r},                          // DEL
      {"\xC2\x85", r},                      // C1 control (NEL)
      {"\xEF\xBF\xBE", r},                  // U+FFFE
      {std::string("a\0b", 3), "a" + r + "b"},
  };
  for (const auto& c : cases) EXPECT_EQ(escape(c.in), c.out) << c.in;
}

TEST(Fill, EscapesArgumentsButNotMarkup) {
  std::string out;
  html(out, "<a href=\"/classes/{}?q={}\">{}</a>{}{}", UrlPart{"a b/<"}, UrlPart{"\"&"}, "<b>",
       Markup{"<br>"}, int64_t{-42});
  EXPECT_EQ(out, "<a href=\"/classes/a%20b%2F%3C?q=%22%26\">&lt;b&gt;</a><br>-42");
  EXPECT_THROW(html(out, "{} {}", "one"), std::logic_error);
  EXPECT_THROW(html(out, "{}", "one", "two"), std::logic_error);
}

TEST(Page, FrameEscapesTitleAndUser) {
  const std::string p = page(Frame{"demo", "<u>", "<t>"}, "<p>body</p>");
  EXPECT_NE(p.find("<title>&lt;t&gt; \xE2\x80\x94 demo</title>"), std::string::npos);
  EXPECT_NE(p.find("<span class=\"user\">&lt;u&gt;</span>"), std::string::npos);
  EXPECT_NE(p.find("<p>body</p>"), std::string::npos);
  EXPECT_EQ(p.find("<script"), std::string::npos);
}

TEST(Sessions, EndAfterThirtyMinutesIdleOrLogout) {
  Sessions sessions;
  const Clock::time_point t0{};
  const std::string a = sessions.open("alice", t0);
  EXPECT_EQ(a.size(), 64u);
  EXPECT_EQ(sessions.user_of(a, t0 + minutes(29)), "alice");
  // Used at 29 minutes: idle again from there.
  EXPECT_EQ(sessions.user_of(a, t0 + minutes(58)), "alice");
  EXPECT_EQ(sessions.user_of(a, t0 + minutes(88)), std::nullopt);
  const std::string b = sessions.open("bob", t0);
  sessions.close(b);
  EXPECT_EQ(sessions.user_of(b, t0), std::nullopt);
  EXPECT_EQ(sessions.user_of("not-a-token", t0), std::nullopt);
}

TEST(Sessions, FullTableDropsTheLeastRecentlyUsed) {
  Sessions sessions(minutes(30), 2);
  const Clock::time_point t0{};
  const std::string a = sessions.open("a", t0);
  const std::string b = sessions.open("b", t0 + seconds(1));
  EXPECT_EQ(sessions.user_of(a, t0 + seconds(2)), "a");
  const std::string c = sessions.open("c", t0 + seconds(3));
  EXPECT_EQ(sessions.size(), 2u);
  EXPECT_EQ(sessions.user_of(b, t0 + seconds(4)), std::nullopt);
  EXPECT_EQ(sessions.user_of(a, t0 + seconds(4)), "a");
  EXPECT_EQ(sessions.user_of(c, t0 + seconds(4)), "c");
}

TEST(Throttle, WrongPasswordsDoubleTheWait) {
  Throttle throttle;
  const Clock::time_point t0{};
  for (int i = 0; i < Throttle::kFree; ++i) {
    EXPECT_EQ(throttle.wait("admin", t0), seconds(0));
    throttle.failed("admin", t0);
  }
  EXPECT_EQ(throttle.wait("admin", t0), seconds(1));
  EXPECT_EQ(throttle.wait("other", t0), seconds(0));
  EXPECT_EQ(throttle.wait("admin", t0 + seconds(1)), seconds(0));
  throttle.failed("admin", t0 + seconds(1));
  EXPECT_EQ(throttle.wait("admin", t0 + seconds(1)), seconds(2));
  for (int i = 0; i < 20; ++i) throttle.failed("admin", t0 + seconds(2));
  EXPECT_EQ(throttle.wait("admin", t0 + seconds(2)), Throttle::kLongest);
  throttle.succeeded("admin");
  EXPECT_EQ(throttle.wait("admin", t0 + seconds(2)), seconds(0));
}

TEST(Throttle, FailuresAreForgottenAfterAnHour) {
  Throttle throttle;
  const Clock::time_point t0{};
  for (int i = 0; i < 10; ++i) throttle.failed("admin", t0);
  throttle.failed("admin", t0 + std::chrono::hours(2));
  EXPECT_EQ(throttle.wait("admin", t0 + std::chrono::hours(2)), seconds(0));
}

TEST(Throttle, FullTableStillBrakesTheNewest) {
  Throttle throttle(2);
  const Clock::time_point t0{};
  for (const char* user : {"a", "b", "c"})
    for (int i = 0; i < 4; ++i) throttle.failed(user, t0);
  EXPECT_GT(throttle.wait("c", t0).count(), 0);
}

TEST(Credentials, BasicAndCookie) {
  EXPECT_EQ(basic_credentials("Basic YWRtaW46cHc="),
            std::make_pair(std::string("admin"), std::string("pw")));
  // A password may hold a colon; only the first one ends the user.
  EXPECT_EQ(basic_credentials("basic  YTpiOmM="),
            std::make_pair(std::string("a"), std::string("b:c")));
  EXPECT_EQ(basic_credentials("Basic YWRtaW4="), std::nullopt);      // no colon
  EXPECT_EQ(basic_credentials("Basic YWRt*W46cHc="), std::nullopt);  // not base64
  EXPECT_EQ(basic_credentials("Basic YW=taW46cHc="), std::nullopt);  // padding inside
  EXPECT_EQ(basic_credentials("Bearer YWRtaW46cHc="), std::nullopt);
  EXPECT_EQ(cookie_value("a=1; tng_session=xyz; b=2", "tng_session"), "xyz");
  EXPECT_EQ(cookie_value("xtng_session=1", "tng_session"), std::nullopt);
}

TEST(ListenAddress, LoopbackOrNot) {
  const struct {
    const char* text;
    bool valid;
    const char* host;
    int port;
    bool loopback;
  } cases[] = {
      {"127.0.0.1:8321", true, "127.0.0.1", 8321, true},
      {"127.1.2.3:0", true, "127.1.2.3", 0, true},
      {"localhost:80", true, "127.0.0.1", 80, true},
      {"[::1]:8321", true, "::1", 8321, true},
      {"0.0.0.0:8321", true, "0.0.0.0", 8321, false},
      {"192.0.2.1:443", true, "192.0.2.1", 443, false},
      {"[::]:443", true, "::", 443, false},
      {"example.net:80", false, "", 0, false},
      {"127.0.0.1", false, "", 0, false},
      {"127.0.0.1:65536", false, "", 0, false},
      {"127.0.0.1:-1", false, "", 0, false},
      {"::1:8321", false, "", 0, false},
  };
  for (const auto& c : cases) {
    std::optional<ListenAddress> a = parse_listen(c.text);
    ASSERT_EQ(a.has_value(), c.valid) << c.text;
    if (!a) continue;
    EXPECT_EQ(a->host, c.host) << c.text;
    EXPECT_EQ(a->port, c.port) << c.text;
    EXPECT_EQ(a->loopback, c.loopback) << c.text;
  }
}

TEST(Days, CalendarDaysOnly) {
  EXPECT_EQ(day_after("2024-02-28"), "2024-02-29");
  EXPECT_EQ(day_after("2023-12-31"), "2024-01-01");
  EXPECT_FALSE(valid_day("2023-02-29"));
  EXPECT_FALSE(valid_day("2023-1-01"));
  EXPECT_FALSE(valid_day("2023-01-01T00:00:00Z"));
  EXPECT_EQ(day_minus("2024-03-01", 1), "2024-02-29");
}

}  // namespace
}  // namespace tng::web
