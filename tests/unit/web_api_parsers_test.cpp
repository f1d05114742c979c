// The readers of what feed and API clients send: HTTP dates and entity
// tags of conditional requests, bearer credentials, tokens, feed
// addresses, and the Host header and public address that feed addresses
// are built from.
#include <gtest/gtest.h>

#include <string>

#include "web/pages/feed_address.h"
#include "web/auth/personal_tokens.h"
#include "web/http/authorization.h"
#include "web/http/conditional.h"
#include "web/http/site_address.h"

namespace ostrand::web {
namespace {

TEST(ConditionalRequests, HttpDatesInEveryFormAndNothingElse) {
  const DateTime t = DateTime::FromCivil(1994, 11, 6, 8, 49, 37);
  EXPECT_EQ(http::HttpDate(t), "Sun, 06 Nov 1994 08:49:37 GMT");
  for (const char* text : {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
                           "Sun Nov  6 08:49:37 1994"}) {
    EXPECT_EQ(http::ReadHttpDate(text), t) << text;
  }
  EXPECT_EQ(http::ReadHttpDate("Thursday, 01-Jan-70 00:00:00 GMT"),
            DateTime::FromCivil(1970, 1, 1));
  for (const char* text : {"", "Mon, 06 Nov 1994 08:49:37 GMT", "Sun, 31 Nov 1994 08:49:37 GMT",
                           "Sun, 06 Nov 1994 24:00:00 GMT", "Sun, 06 Nov 1994 08:49:37 UTC",
                           "Sun, 06 Nov 1994 08:49:37 GMT ", "1994-11-06T08:49:37Z"}) {
    EXPECT_FALSE(http::ReadHttpDate(text)) << text;
  }
}

TEST(ConditionalRequests, EntityTagsCompareWeaklyAndNoneMatchWins) {
  EXPECT_TRUE(http::NoneMatchHolds(R"(W/"a1")", R"(W/"a1")"));
  EXPECT_TRUE(http::NoneMatchHolds(R"("x", "a1")", R"(W/"a1")"));
  EXPECT_TRUE(http::NoneMatchHolds(" * ", R"(W/"a1")"));
  EXPECT_FALSE(http::NoneMatchHolds(R"(W/"a2")", R"(W/"a1")"));
  EXPECT_FALSE(http::NoneMatchHolds(R"(a1)", R"(W/"a1")"));
  EXPECT_FALSE(http::NoneMatchHolds(R"("a1", junk)", R"(W/"a1")"));

  const DateTime changed = DateTime::FromCivil(2001, 12, 5, 8);
  http::Request request;
  request.headers = {{"If-Modified-Since", http::HttpDate(changed)}};
  EXPECT_TRUE(http::IsNotModified(request, R"(W/"a1")", changed));
  EXPECT_FALSE(http::IsNotModified(request, R"(W/"a1")", DateTime::FromCivil(2001, 12, 5, 8, 1)));
  EXPECT_FALSE(http::IsNotModified(request, R"(W/"a1")", std::nullopt));
  // An entity tag that no longer matches outweighs a date that would.
  request.headers.push_back({"If-None-Match", R"(W/"old")"});
  EXPECT_FALSE(http::IsNotModified(request, R"(W/"a1")", changed));
}

TEST(ApiCredentials, BearerTokensAndTokenForm) {
  const std::string token(kTokenLength, 'A');
  EXPECT_EQ(http::ReadBearerCredentials("Bearer " + token), token);
  EXPECT_EQ(http::ReadBearerCredentials("  bearer \t abc-._~+/== "), "abc-._~+/==");
  for (const char* header : {"", "Bearer", "Bearer ", "Basic dXNlcjpw", "Bearerabc", "Bearer a b",
                             "Bearer a=b", "Bearer =="}) {
    EXPECT_FALSE(http::ReadBearerCredentials(header)) << header;
  }
  EXPECT_TRUE(ReadToken(token));
  EXPECT_TRUE(ReadToken(std::string(kTokenLength - 1, 'a') + "_"));
  EXPECT_FALSE(ReadToken(token + "A"));
  EXPECT_FALSE(ReadToken(std::string(kTokenLength - 1, 'a') + "="));
  EXPECT_FALSE(ReadToken(std::string(kTokenLength - 1, 'a') + "/"));
}

TEST(FeedAddresses, PathsReadBackAndTheLogNeverSeesTheToken) {
  const std::string token(kTokenLength, 'k');
  for (const FeedKind kind :
       {FeedKind::kOwn, FeedKind::kColleague, FeedKind::kDepartment, FeedKind::kDepartment2}) {
    const std::string path = FeedPath(token, kind, 42);
    const std::optional<FeedAddress> read = ReadFeedPath(path);
    ASSERT_TRUE(read) << path;
    EXPECT_EQ(read->token, token);
    EXPECT_EQ(read->kind, kind);
    if (kind == FeedKind::kColleague) {
      EXPECT_EQ(read->person_id, 42);
    }
  }
  EXPECT_EQ(FeedPath("T", FeedKind::kColleague, 7), "/feeds/T/person-7.ics");
  for (const char* path :
       {"/feeds/", "/feeds/T", "/feeds//own.ics", "/feeds/T/other.ics", "/feeds/T/person-.ics",
        "/feeds/T/person--1.ics", "/feeds/T/person-99999999999999999999.ics", "/feeds/T/own.ics/x",
        "/schedule/own.ics"}) {
    EXPECT_FALSE(ReadFeedPath(path)) << path;
  }
  EXPECT_EQ(FeedTargetForLog("/feeds/" + token + "/own.ics?from=2001-12-01"),
            "/feeds/-/own.ics?from=2001-12-01");
  EXPECT_EQ(FeedTargetForLog("/feeds/" + token), "/feeds/-");
  EXPECT_EQ(FeedTargetForLog("/%66eeds/" + token + "/own.ics"), "/feeds/-");
}

TEST(SiteAddresses, HostHeadersAndPublicAddresses) {
  EXPECT_EQ(http::ReadHostHeader("Plans.Example.org"), "plans.example.org");
  EXPECT_EQ(http::ReadHostHeader("127.0.0.1:8080"), "127.0.0.1:8080");
  EXPECT_EQ(http::ReadHostHeader("[::1]:80"), "[::1]:80");
  for (const char* host : {"", "a b", "user@host", "host/path", "host:", "host:65536",
                           "host:8080:1", "[::1", "[zz]", "a..b", "\"x\"", "host:+80"}) {
    EXPECT_FALSE(http::ReadHostHeader(host)) << host;
  }
  EXPECT_EQ(http::ReadSiteAddress("HTTPS://Plans.Example.org/"), "https://plans.example.org");
  EXPECT_EQ(http::ReadSiteAddress("http://host:8080/schedule/app"),
            "http://host:8080/schedule/app");
  for (const char* url : {"plans.example.org", "ftp://host", "https://", "https://host/a?b",
                          "https://host/a#b", "https://host/a b", "javascript:alert(1)"}) {
    EXPECT_FALSE(http::ReadSiteAddress(url)) << url;
  }
}

}  // namespace
}  // namespace ostrand::web
