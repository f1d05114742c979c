// The text parsers of the HTTP layer, each a plain function on untrusted
// text: URLs and query strings, form bodies, cookies, ranges, and the log
// escaper and log lines built from what a request sends, the client
// address behind proxies, and the reason phrases of statuses.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "core/error.h"
#include "web/http/access_log.h"
#include "web/http/byte_range.h"
#include "web/http/cookies.h"
#include "web/http/form_fields.h"
#include "web/http/forwarded.h"
#include "web/http/request_error.h"
#include "web/http/log_text.h"
#include "web/http/status.h"
#include "web/http/url.h"

namespace ostrand::web::http {
namespace {

TEST(HttpUrl, EncodingRoundTripsEveryByteAndKeepsPathCharacters) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  const std::string encoded = PercentEncode(all);
  EXPECT_EQ(encoded.find_first_not_of(
                "%0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz-._~/"),
            std::string::npos);
  EXPECT_EQ(PercentDecode(encoded, true), all);
  EXPECT_EQ(PercentEncode("/schedule/a.asp?dt=1&x=张 +"),
            "/schedule/a.asp%3Fdt%3D1%26x%3D%E5%BC%A0%20%2B");
  EXPECT_EQ(LinkWithQuery("/login", {{"next", "/a?b=c&d"}, {"n", ""}}),
            "/login?next=/a%3Fb%3Dc%26d&n=");
}

TEST(HttpUrl, DecodingKeepsWhatIsNoEscape) {
  EXPECT_EQ(PercentDecode("a+b%2Bc", true), "a b+c");
  EXPECT_EQ(PercentDecode("a+b", false), "a+b");
  EXPECT_EQ(PercentDecode("%zz%4%", false), "%zz%4%");
  EXPECT_EQ(PercentDecode("%0a%0D%00", false), std::string("\n\r\0", 3));
  const TargetParts parts = SplitTarget("/p/q.asp?x=1?y#frag?z");
  EXPECT_EQ(parts.path, "/p/q.asp");
  EXPECT_EQ(parts.query, "x=1?y");
  EXPECT_EQ(SplitTarget("/only").query, "");
}

TEST(HttpFormFields, NamesRepeatAndValuesKeepTheirEquals) {
  const FormFields fields = ParseFields("a=1&&b=x%3Dy=z&a=2&flag&c=%E5%BC%A0+%2B&=v");
  EXPECT_EQ(fields.count("a"), 2u);
  EXPECT_EQ(FieldOrEmpty(fields, "a"), "1");
  EXPECT_EQ(FieldOrEmpty(fields, "b"), "x=y=z");
  EXPECT_EQ(FindField(fields, "flag"), std::optional<std::string>(""));
  EXPECT_EQ(FieldOrEmpty(fields, "c"), "张 +");
  EXPECT_EQ(FieldOrEmpty(fields, ""), "v");
  EXPECT_FALSE(FindField(fields, "missing"));

  std::string many;
  for (std::size_t i = 0; i <= kMaxFields; ++i) many += "f=&";
  try {
    ParseFields(many);
    ADD_FAILURE() << "more than kMaxFields fields were read";
  } catch (const http::RequestError& e) {
    EXPECT_EQ(e.status(), 400);
  }
  Request post;
  post.body = "a=1";
  EXPECT_TRUE(FormOf(post).empty()) << "a body of no declared form type is no form";
  post.headers.push_back({"content-type", "Application/X-WWW-Form-Urlencoded; charset=UTF-8"});
  EXPECT_EQ(FieldOrEmpty(FormOf(post), "a"), "1");
}

TEST(HttpCookies, FindsTheNamedCookieOnly) {
  EXPECT_EQ(FindCookie("ab=1; a=2;b=3", "a"), std::optional<std::string_view>("2"));
  EXPECT_EQ(FindCookie(" a = x=y ;", "a"), std::optional<std::string_view>("x=y"));
  EXPECT_EQ(FindCookie("a", "a"), std::nullopt);
  EXPECT_EQ(FindCookie("", "a"), std::nullopt);
  EXPECT_EQ(FindCookie("b=1;;a=", "a"), std::optional<std::string_view>(""));
  Request request;
  request.headers = {{"Cookie", "x=1"}, {"COOKIE", "s=2"}};
  EXPECT_EQ(FindRequestCookie(request, "s"), std::optional<std::string_view>("2"));
  EXPECT_EQ(SetCookieValue("s", "v", "/", -5), "s=v; Path=/; Max-Age=0; HttpOnly; SameSite=Lax");
}

TEST(HttpByteRange, OneRangeIsServedAndAnythingElseIsTheWholeFile) {
  using Kind = RangeAnswer::Kind;
  struct Case {
    const char* header;
    Kind kind;
    std::size_t first, last;
  };
  const Case cases[] = {
      {"bytes=0-9", Kind::kPart, 0, 9},
      {"bytes=5-", Kind::kPart, 5, 99},
      {"Bytes=90-200", Kind::kPart, 90, 99},
      {"bytes = 90-200", Kind::kWhole, 0, 0},
      {"bytes=-30", Kind::kPart, 70, 99},
      {"bytes=-300", Kind::kPart, 0, 99},
      {"bytes=99-99", Kind::kPart, 99, 99},
      {"bytes=100-", Kind::kUnsatisfiable, 0, 0},
      {"bytes=99999999999999999999999-", Kind::kUnsatisfiable, 0, 0},
      {"bytes=-0", Kind::kUnsatisfiable, 0, 0},
      {"bytes=0-1,3-4", Kind::kWhole, 0, 0},
      {"bytes=9-5", Kind::kWhole, 0, 0},
      {"bytes=a-b", Kind::kWhole, 0, 0},
      {"bytes=-", Kind::kWhole, 0, 0},
      {"bytes=1", Kind::kWhole, 0, 0},
      {"items=0-1", Kind::kWhole, 0, 0},
      {"", Kind::kWhole, 0, 0},
  };
  for (const Case& c : cases) {
    const RangeAnswer answer = AnswerRange(c.header, 100);
    EXPECT_EQ(answer.kind, c.kind) << c.header;
    if (c.kind == Kind::kPart) {
      EXPECT_EQ(answer.first, c.first) << c.header;
      EXPECT_EQ(answer.last, c.last) << c.header;
    }
  }
  EXPECT_EQ(AnswerRange("bytes=-5", 0).kind, Kind::kUnsatisfiable);
  std::string many = "bytes=0-0";
  for (int i = 1; i < 2700; ++i) many += "," + std::to_string(i) + "-" + std::to_string(i);
  EXPECT_EQ(AnswerRange(many, 8000).kind, Kind::kWhole);
}

TEST(HttpLogText, EscapesWhatCouldBreakOrForgeALine) {
  EXPECT_EQ(LogText("/a b\r\nGET \"x\"\\%\x7f\t"), "/a%20b%0D%0AGET%20%22x%22%5C%25%7F%09");
  EXPECT_EQ(LogText("张三/€/😀"), "张三/€/😀");
  // A lone byte, an overlong '/', a surrogate, a cut-off character, a C1
  // control and a byte beyond U+10FFFF.
  EXPECT_EQ(LogText("\xff|\xc0\xaf|\xed\xa0\x80|\xe5\xbc|\xc2\x85|\xf5\x80\x80\x80"),
            "%FF|%C0%AF|%ED%A0%80|%E5%BC|%C2%85|%F5%80%80%80");
  std::string quoted;
  AppendLogText(quoted, "no such column: a\nb", true);
  EXPECT_EQ(quoted, "no such column: a%0Ab");
}

TEST(HttpAccessLog, TextAndJsonLinesCarryEveryField) {
  LogEntry entry;
  entry.time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1007218800123));
  entry.client = "127.0.0.1";
  entry.method = "GET";
  entry.target = "/schedule/x%0A%22?dt=2001-12-5";
  entry.status = 500;
  entry.bytes = 1234;
  entry.milliseconds = 2.24;
  entry.person = 7;
  entry.incident = "0A1B2C3D";
  entry.cause = "near \"<\": syntax error\nSELECT 1";
  EXPECT_EQ(FormatLogLine(entry, LogFormat::kText),
            "2001-12-01T15:00:00.123Z 127.0.0.1 GET /schedule/x%0A%22?dt=2001-12-5 500 1234 2.2ms "
            "7 incident=0A1B2C3D error=\"near %22<%22: syntax error%0ASELECT 1\"\n");
  const std::string line = FormatLogLine(entry, LogFormat::kJson);
  ASSERT_EQ(line.back(), '\n');
  EXPECT_EQ(line.find('\n'), line.size() - 1);
  const nlohmann::json json = nlohmann::json::parse(line);
  EXPECT_EQ(json["time"], "2001-12-01T15:00:00.123Z");
  EXPECT_EQ(json["target"], "/schedule/x%0A%22?dt=2001-12-5");
  EXPECT_EQ(json["status"], 500);
  EXPECT_EQ(json["bytes"], 1234);
  EXPECT_EQ(json["person"], 7);
  EXPECT_EQ(json["incident"], "0A1B2C3D");
  EXPECT_EQ(json["error"], "near %22<%22: syntax error%0ASELECT 1");

  entry.person.reset();
  entry.incident = "";
  EXPECT_TRUE(FormatLogLine(entry, LogFormat::kText).ends_with(" 2.2ms -\n"));
  EXPECT_TRUE(nlohmann::json::parse(FormatLogLine(entry, LogFormat::kJson))["person"].is_null());
  EXPECT_EQ(ParseLogFormat("json"), LogFormat::kJson);
  EXPECT_THROW(ParseLogFormat("xml"), Error);
}

TEST(HttpForwarded, AddressBlocksReadStrictlyAndMatchBothFormsOfIpv4) {
  const std::optional<AddressRange> ten = ReadAddressRange("10.0.0.0/8");
  const std::optional<AddressRange> local = ReadAddressRange("fe80::/10");
  const std::optional<AddressRange> one = ReadAddressRange("192.0.2.7");
  ASSERT_TRUE(ten && local && one);
  EXPECT_TRUE(ten->Contains(*ReadIpAddress("10.255.1.2")));
  EXPECT_TRUE(ten->Contains(*ReadIpAddress("::ffff:10.1.1.1")));
  EXPECT_FALSE(ten->Contains(*ReadIpAddress("11.0.0.1")));
  EXPECT_FALSE(ten->Contains(*ReadIpAddress("::a00:1"))) << "an IPv4 block holds no IPv6";
  EXPECT_TRUE(local->Contains(*ReadIpAddress("febf::1")));
  EXPECT_FALSE(local->Contains(*ReadIpAddress("fec0::1")));
  EXPECT_TRUE(one->Contains(*ReadIpAddress("192.0.2.7")));
  EXPECT_FALSE(one->Contains(*ReadIpAddress("192.0.2.8")));
  EXPECT_TRUE(ReadAddressRange("::/0")->Contains(*ReadIpAddress("2001:db8::1")));
  for (const char* bad : {"10.0.0.1/8", "10.0.0.0/33", "10.0.0.0/", "10.0.0.0/-1", "10.0/8",
                          "::1/129", "[::1]", "example.org", " 10.0.0.0/8", "10.0.0.0/8 "}) {
    EXPECT_FALSE(ReadAddressRange(bad)) << bad;
  }
}

TEST(HttpForwarded, TheClientIsTheRightmostAddressThatIsNoTrustedProxy) {
  const std::vector<AddressRange> trusted = {
      *ReadAddressRange("127.0.0.0/8"), *ReadAddressRange("10.0.0.0/8"), *ReadAddressRange("::1")};
  struct Case {
    const char* peer;
    const char* forwarded;
    const char* forwarded_for;
    const char* client;
  };
  const Case cases[] = {
      // Headers from a peer that is no proxy count for nothing.
      {"192.0.2.1", "for=198.51.100.1", "198.51.100.2", "192.0.2.1"},
      {"127.0.0.1", "", "", "127.0.0.1"},
      {"127.0.0.1", "", "198.51.100.2", "198.51.100.2"},
      // What the client wrote to the left of the proxies is passed over.
      {"127.0.0.1", "", "6.6.6.6, 198.51.100.2, 10.1.2.3", "198.51.100.2"},
      {"127.0.0.1", "", "10.9.9.9, 10.1.2.3", "10.9.9.9"},
      {"::ffff:127.0.0.1", "", "198.51.100.2", "198.51.100.2"},
      // Forwarded wins over X-Forwarded-For, its nodes quoted or not.
      {"127.0.0.1", "for=192.0.2.60;proto=http;by=203.0.113.43", "198.51.100.2", "192.0.2.60"},
      {"::1", "For=\"[2001:DB8:cafe::17]:4711\"", "", "2001:db8:cafe::17"},
      {"127.0.0.1", "for=6.6.6.6, for=\"192.0.2.43:47011\", for=10.0.0.5", "", "192.0.2.43"},
      {"127.0.0.1", "proto=https", "198.51.100.2", "198.51.100.2"},
      // A hop that hides its client ends the walk at the last proxy.
      {"127.0.0.1", "for=198.51.100.7, for=_hidden", "", "127.0.0.1"},
      {"127.0.0.1", "for=198.51.100.7, for=unknown, for=10.0.0.5", "", "10.0.0.5"},
      {"127.0.0.1", "", "198.51.100.7, not-an-address", "127.0.0.1"},
      {"127.0.0.1", "for=\"198.51.100.7", "198.51.100.2", "127.0.0.1"},
      {"127.0.0.1", "for=198.51.100.7;for=198.51.100.8", "", "127.0.0.1"},
      {"127.0.0.1", "for=[2001:db8::1", "", "127.0.0.1"},
      {"127.0.0.1", "for=\"[192.0.2.1]\"", "", "127.0.0.1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClientAddress(c.peer, c.forwarded, c.forwarded_for, trusted), c.client)
        << c.peer << " | " << c.forwarded << " | " << c.forwarded_for;
  }
  EXPECT_EQ(ClientAddress("127.0.0.1", "for=198.51.100.1", "", {}), "127.0.0.1");
}

TEST(HttpStatus, EveryStatusTheHostSendsHasItsOwnPhrase) {
  EXPECT_EQ(ReasonPhrase(304), "Not Modified");
  EXPECT_EQ(ReasonPhrase(401), "Unauthorized");
  EXPECT_EQ(ReasonPhrase(409), "Conflict");
  EXPECT_EQ(ReasonPhrase(412), "Precondition Failed");
  EXPECT_EQ(ReasonPhrase(414), "URI Too Long");
  EXPECT_EQ(ReasonPhrase(429), "Too Many Requests");
  EXPECT_EQ(ReasonPhrase(501), "Not Implemented");
  for (const int status : {100, 200, 204, 206, 301, 302, 303, 307, 308, 400, 403, 404,
                           405, 406, 410, 413, 415, 416, 422, 431, 500, 502, 503, 504}) {
    EXPECT_FALSE(ReasonPhrase(status).empty()) << status;
  }
  EXPECT_EQ(ReasonPhrase(299), "");
}

}  // namespace
}  // namespace ostrand::web::http
