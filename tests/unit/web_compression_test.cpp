// Compressed answers: the reader of Accept-Encoding, the encoders, the
// masked CSRF token, and every kind of answer through the real server
// (pages, static files, feeds, CSV exports, the JSON API, CalDAV), each
// decoded back to the bytes of the unencoded answer.
#include <brotli/decode.h>
#include <gtest/gtest.h>
#include <sodium.h>
#include <zlib.h>
#include <zstd.h>

#include <memory>
#include <regex>
#include <string>

#include "store/connect.h"
#include "test_support.h"
#include "web/auth/app_passwords.h"
#include "web/auth/session_cookie.h"
#include "web/data/plan_changes.h"
#include "web/http/accept_encoding.h"
#include "web/http/answer_coding.h"
#include "web/http/content_encoder.h"

namespace ostrand::web {
namespace {

using http::ContentCoding;
using testing::Headers;
using testing::HttpClient;
using testing::Result;
using test_support::Contains;

// `coded` decoded with the library of `coding`; "<undecodable>" when it
// does not decode whole.
std::string Decode(ContentCoding coding, std::string_view coded) {
  std::string out;
  char chunk[16384];
  const std::string bad = "<undecodable>";
  if (coding == ContentCoding::kZstd) {
    const std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)> context(ZSTD_createDCtx(),
                                                                       ZSTD_freeDCtx);
    ZSTD_inBuffer in{coded.data(), coded.size(), 0};
    std::size_t left = 1;
    while (in.pos < in.size || left != 0) {
      ZSTD_outBuffer piece{chunk, sizeof chunk, 0};
      left = ZSTD_decompressStream(context.get(), &piece, &in);
      if (ZSTD_isError(left) != 0 || (piece.pos == 0 && in.pos == in.size && left != 0)) return bad;
      out.append(chunk, piece.pos);
    }
    return out;
  }
  if (coding == ContentCoding::kGzip) {
    z_stream stream{};
    if (inflateInit2(&stream, 15 + 16) != Z_OK) return bad;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(coded.data()));
    stream.avail_in = static_cast<uInt>(coded.size());
    int status = Z_OK;
    while (status == Z_OK) {
      stream.next_out = reinterpret_cast<Bytef*>(chunk);
      stream.avail_out = sizeof chunk;
      status = inflate(&stream, Z_NO_FLUSH);
      out.append(chunk, sizeof chunk - stream.avail_out);
    }
    const bool whole = status == Z_STREAM_END && stream.avail_in == 0;
    inflateEnd(&stream);
    return whole ? out : bad;
  }
  std::size_t size = 0;
  // The answers of the tests are small: a bound of 64 times the coded size.
  out.resize(coded.size() * 64 + 1024);
  size = out.size();
  if (BrotliDecoderDecompress(coded.size(), reinterpret_cast<const std::uint8_t*>(coded.data()),
                              &size, reinterpret_cast<std::uint8_t*>(out.data())) !=
      BROTLI_DECODER_RESULT_SUCCESS) {
    return bad;
  }
  out.resize(size);
  return out;
}

TEST(WebCompression, AcceptEncodingPicksTheBestCodingTheClientTakes) {
  struct Case {
    const char* header;
    ContentCoding coding;
    bool identity_acceptable;
  };
  const Case cases[] = {
      {"", ContentCoding::kIdentity, true},
      {"gzip, deflate, br, zstd", ContentCoding::kZstd, true},  // ties go to our order
      {"gzip, deflate, br", ContentCoding::kBrotli, true},
      {"gzip;q=1.0, br;q=0.9, zstd;q=0.5", ContentCoding::kGzip, true},
      {"GZIP", ContentCoding::kGzip, true},
      {"x-gzip", ContentCoding::kGzip, true},
      {"deflate, compress", ContentCoding::kIdentity, true},  // none we offer
      {"*", ContentCoding::kZstd, true},
      {"*;q=0.5, zstd;q=0", ContentCoding::kBrotli, true},
      {"zstd;q=0, zstd", ContentCoding::kIdentity, true},  // the first entry counts
      {"gzip, identity;q=0", ContentCoding::kGzip, false},
      {"identity;q=0", ContentCoding::kIdentity, false},
      {"*;q=0", ContentCoding::kIdentity, false},
      {"*;q=0, identity", ContentCoding::kIdentity, true},
      {"gzip;q=2, br;q=1.5, zstd;q=0.5x", ContentCoding::kIdentity, true},  // weights that do not read
      {"gzip;level=9, br ; q = 0.2", ContentCoding::kBrotli, true},
      {" , ,gzip;q=0.001,", ContentCoding::kGzip, true},
      {"gz\"ip, br\x01", ContentCoding::kIdentity, true},
  };
  for (const Case& c : cases) {
    const http::CodingChoice choice = http::ChooseCoding(c.header);
    EXPECT_EQ(choice.coding, c.coding) << c.header;
    EXPECT_EQ(choice.identity_acceptable, c.identity_acceptable) << c.header;
  }
}

TEST(WebCompression, EncodersRoundTripInPiecesAndWhole) {
  std::string text;
  // Over several of the encoders' slices, with parts that repeat and parts
  // that do not.
  for (int i = 0; i < 30000; ++i) text += "<td class=\"sch" + std::to_string(i % 4) + "\">" + std::to_string(i * 7919) + "</td>";
  for (const ContentCoding coding : http::OfferedCodings()) {
    for (const http::Effort effort : {http::Effort::kAnswer, http::Effort::kStatic}) {
      const std::string coded = http::EncodeBody(coding, effort, text);
      EXPECT_LT(coded.size(), text.size() / 3) << http::CodingName(coding);
      EXPECT_EQ(Decode(coding, coded), text) << http::CodingName(coding);
    }
    // Fed in uneven pieces, the unknown size included.
    http::ContentEncoder encoder(coding, http::Effort::kAnswer, 0);
    std::string coded;
    for (std::size_t at = 0; at < text.size(); at += 1000 + at % 7) {
      encoder.Add(std::string_view(text).substr(at, 1000 + at % 7), coded);
    }
    encoder.Finish(coded);
    EXPECT_EQ(Decode(coding, coded), text) << http::CodingName(coding);
    EXPECT_THROW(encoder.Add("x", coded), Error);
    EXPECT_EQ(Decode(coding, http::EncodeBody(coding, http::Effort::kAnswer, "")), "");
  }
  EXPECT_THROW(http::ContentEncoder(ContentCoding::kIdentity, http::Effort::kAnswer, 0), Error);
}

TEST(WebCompression, CsrfTokenIsMaskedAfreshAndStillChecks) {
  const SessionSigner signer(RandomSecret());
  const std::string token = signer.CsrfToken("rnd-1");
  const std::string first = MaskCsrfToken(token);
  const std::string second = MaskCsrfToken(token);
  EXPECT_NE(first, second);
  EXPECT_EQ(first.find(token), std::string::npos);
  for (const std::string& sent : {first, second, token}) {
    EXPECT_TRUE(signer.CheckCsrfToken("rnd-1", sent));
    EXPECT_TRUE(CsrfTokenHolds(token, sent));
    EXPECT_FALSE(signer.CheckCsrfToken("rnd-2", sent));
  }
  std::string flipped = first;
  flipped[flipped.size() / 2] = flipped[flipped.size() / 2] == 'A' ? 'B' : 'A';
  const std::string other = MaskCsrfToken(signer.CsrfToken("rnd-2"));
  for (const std::string& sent :
       {flipped, other, first.substr(0, first.size() - 1), first + "A", std::string(), std::string("!!")}) {
    EXPECT_FALSE(CsrfTokenHolds(token, sent)) << sent;
  }
  EXPECT_FALSE(CsrfTokenHolds("", ""));
  EXPECT_THROW(MaskCsrfToken("not base64!"), Error);
}

TEST(WebCompression, EntityTagsOfCodedAnswersNameTheSameVersion) {
  EXPECT_EQ(http::CodedEntityTag("\"a1\"", ContentCoding::kZstd), "\"a1-zstd\"");
  EXPECT_EQ(http::CodedEntityTag("W/\"a1\"", ContentCoding::kGzip), "W/\"a1-gzip\"");
  EXPECT_EQ(http::CodedEntityTag("\"a1\"", ContentCoding::kIdentity), "\"a1\"");
  EXPECT_EQ(http::UncodedOpaqueTag("a1-br"), "a1");
  EXPECT_EQ(http::UncodedOpaqueTag("a1-deflate"), "a1-deflate");
  EXPECT_EQ(http::UncodedOpaqueTag("-gzip"), "-gzip");
}

// The server on the fixture with a month of plans more, so that every kind
// of answer is well over the size worth compressing.
class WebCompressionServer : public ::testing::Test {
 protected:
  WebCompressionServer() {
    testing::WriteFixture(path_);
    const std::unique_ptr<store::Connection> db = store::Connect("sqlite:" + path_);
    std::string plans =
        "INSERT INTO personPlan (personID, planStartTime, planEndTime, planAddrTypeID, planAddrID, "
        "planAddrDetail, planContent, planAddition, planFlagID) VALUES ";
    for (int day = 1; day <= 28; ++day) {
      const std::string date = "2001-12-" + std::string(day < 10 ? "0" : "") + std::to_string(day);
      plans += std::string(day > 1 ? "," : "") + "(1, '" + date + " 09:00:00', '" + date +
               " 11:00:00', 2, 2, '第" + std::to_string(day) + "会议室', '张的第" +
               std::to_string(day) + "次调研', '材料', 1)";
    }
    // One plan whose calendar object alone is worth compressing.
    std::string long_text;
    for (int i = 0; i < 60; ++i) long_text += "议程第" + std::to_string(i) + "项；";
    plans += ",(1, '2001-12-29 09:00:00', '2001-12-29 10:00:00', 1, 1, '', '" + long_text +
             "', '', 1)";
    db->ExecuteScript(plans + ";");
    app_password_ = CreateAppPassword(*db, testing::kZhang, "test", UtcNow());
    server_ = std::make_unique<testing::RunningServer>(testing::TestOptions(path_));
    browser_ = testing::SignedIn(server_->port(), testing::kZhang);
  }

  // The headers of a signed-in request: the browser's cookies, or Basic
  // credentials under /dav/.
  Headers Credentials(const std::string& target) const {
    if (target.starts_with("/dav/")) {
      const std::string user = std::to_string(testing::kZhang) + ":" + app_password_;
      std::string basic(sodium_base64_ENCODED_LEN(user.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
      sodium_bin2base64(basic.data(), basic.size(), reinterpret_cast<const unsigned char*>(user.data()),
                        user.size(), sodium_base64_VARIANT_ORIGINAL);
      basic.resize(basic.size() - 1);
      return {{"Authorization", "Basic " + basic}};
    }
    std::string cookie;
    for (const auto& [name, value] : browser_->cookies()) {
      cookie += (cookie.empty() ? "" : "; ") + name + "=" + value;
    }
    return {{"Cookie", cookie}};
  }

  Result Ask(const std::string& method, const std::string& target, Headers extra,
             const std::string& body = "") {
    Headers headers = Credentials(target);
    headers.insert(headers.end(), extra.begin(), extra.end());
    if (method == "PROPFIND") headers.emplace_back("Depth", "1");
    HttpClient client(server_->port());
    return client.Send(method, target, headers, body);
  }

  // The subscriber's own feed, from the subscribe page.
  std::string OwnFeed() {
    const Result page = browser_->Get("/subscribe");
    const std::regex address("class=\"feed-url\"[^>]*value=\"http://[^/\"]+(/feeds/[^\"]+)\"");
    std::smatch match;
    EXPECT_TRUE(page && std::regex_search(page->body, match, address));
    return page && std::regex_search(page->body, match, address) ? match[1].str() : "/feeds/none";
  }

  const testing::TempDir dir_;
  const std::string path_ = dir_.File("schedule.db");
  std::string app_password_;
  std::unique_ptr<testing::RunningServer> server_;
  std::unique_ptr<testing::Browser> browser_;
};

bool VariesByCoding(const testing::Reply& reply) {
  return Contains(reply.get_header_value("Vary"), "Accept-Encoding");
}

// The bytes a page writes anew in every answer made alike: the masked CSRF
// token and the time stamp of the component's links.
std::string WithoutMask(const std::string& body) {
  static const std::regex csrf("name=\"csrf\" value=\"[^\"]*\"");
  static const std::regex stamp("&t=[0-9.]+&");
  return std::regex_replace(std::regex_replace(body, csrf, "name=\"csrf\" value=\"\""), stamp,
                            "&t=&");
}

TEST_F(WebCompressionServer, EveryKindDecodesToTheUnencodedBytes) {
  struct Kind {
    std::string method;
    std::string target;
    std::string body;
    bool has_etag;
  };
  const std::string report =
      R"(<c:calendar-query xmlns:d="DAV:" xmlns:c="urn:ietf:params:xml:ns:caldav">
         <d:prop><d:getetag/><c:calendar-data/></d:prop>
         <c:filter><c:comp-filter name="VCALENDAR"/></c:filter></c:calendar-query>)";
  const Kind kinds[] = {
      {"GET", "/schedule/leaderMonth.asp?dt=2001-12-05", "", false},
      {"GET", "/static/ostrand.css", "", true},
      {"GET", OwnFeed(), "", true},
      {"GET", "/schedule/leaderMonth.asp?dt=2001-12-05&format=csv", "", false},
      {"GET", "/api/v1/plans?from=2001-12-01&to=2001-12-31", "", false},
      {"PROPFIND", "/dav/calendars/1/", "", false},
      {"REPORT", "/dav/calendars/1/own/", report, false},
  };
  for (const Kind& kind : kinds) {
    SCOPED_TRACE(kind.method + " " + kind.target);
    const Result plain = Ask(kind.method, kind.target, {}, kind.body);
    ASSERT_TRUE(plain && plain->status < 300) << (plain ? plain->body : "no answer");
    EXPECT_GT(plain->body.size(), http::kSmallestEncodedBody);
    EXPECT_EQ(plain->get_header_value("Content-Encoding"), "");
    EXPECT_TRUE(VariesByCoding(*plain));
    const std::string etag = plain->get_header_value("ETag");
    EXPECT_EQ(!etag.empty(), kind.has_etag);
    for (const ContentCoding coding : http::OfferedCodings()) {
      const std::string name(http::CodingName(coding));
      SCOPED_TRACE(name);
      const Result coded = Ask(kind.method, kind.target, {{"Accept-Encoding", name}}, kind.body);
      ASSERT_TRUE(coded && coded->status == plain->status);
      EXPECT_EQ(coded->get_header_value("Content-Encoding"), name);
      EXPECT_TRUE(VariesByCoding(*coded));
      EXPECT_LT(coded->body.size(), plain->body.size() / 2);
      EXPECT_TRUE(WithoutMask(Decode(coding, coded->body)) == WithoutMask(plain->body));
      // A page's bytes differ in every answer (the masked token, the links'
      // time stamps): HEAD is compared where they do not.
      if (kind.method == "GET" && kind.has_etag) {
        const Result head = Ask("HEAD", kind.target, {{"Accept-Encoding", name}});
        ASSERT_TRUE(head);
        EXPECT_EQ(head->get_header_value("Content-Length"), std::to_string(coded->body.size()));
      }
      if (!kind.has_etag) continue;
      const std::string coded_etag = coded->get_header_value("ETag");
      EXPECT_EQ(coded_etag, http::CodedEntityTag(etag, coding));
      // Either tag confirms the version the client holds, in its own form.
      for (const std::string& held : {coded_etag, etag}) {
        const Result again =
            Ask("GET", kind.target, {{"Accept-Encoding", name}, {"If-None-Match", held}});
        ASSERT_TRUE(again);
        EXPECT_EQ(again->status, 304);
        EXPECT_TRUE(VariesByCoding(*again));
        EXPECT_EQ(again->get_header_value("ETag"), held);
      }
    }
    if (kind.has_etag) {
      const Result again = Ask("GET", kind.target, {{"If-None-Match", etag}});
      ASSERT_TRUE(again);
      EXPECT_EQ(again->status, 304);
    }
  }
}

TEST_F(WebCompressionServer, RangesSmallBodiesImagesAndRefusedCodingsStayAsTheyAre) {
  // A range is of the unencoded bytes.
  const Result part =
      Ask("GET", "/static/ostrand.css", {{"Accept-Encoding", "zstd, gzip"}, {"Range", "bytes=0-9"}});
  ASSERT_TRUE(part);
  EXPECT_EQ(part->status, 206);
  EXPECT_EQ(part->body.size(), 10u);
  EXPECT_EQ(part->get_header_value("Content-Encoding"), "");
  EXPECT_TRUE(VariesByCoding(*part));
  // Images are not compressed, nor said to vary.
  const Result gif = Ask("GET", "/Images/jian1.gif", {{"Accept-Encoding", "gzip"}});
  ASSERT_TRUE(gif && gif->status == 200);
  EXPECT_EQ(gif->get_header_value("Content-Encoding"), "");
  EXPECT_FALSE(VariesByCoding(*gif));
  // A body under the size worth it, unless identity is refused.
  const std::string small = "/api/v1/plans?from=2001-01-01&to=2001-01-02";
  const Result tiny = Ask("GET", small, {{"Accept-Encoding", "gzip"}});
  ASSERT_TRUE(tiny && tiny->status == 200);
  EXPECT_LT(tiny->body.size(), http::kSmallestEncodedBody);
  EXPECT_EQ(tiny->get_header_value("Content-Encoding"), "");
  EXPECT_TRUE(VariesByCoding(*tiny));
  const Result forced = Ask("GET", small, {{"Accept-Encoding", "gzip, identity;q=0"}});
  ASSERT_TRUE(forced);
  EXPECT_EQ(forced->get_header_value("Content-Encoding"), "gzip");
  EXPECT_EQ(Decode(ContentCoding::kGzip, forced->body), tiny->body);
  // Codings we do not offer, or none acceptable: unencoded.
  for (const char* header : {"compress, deflate", "identity;q=0", "zstd;q=0, br;q=0, gzip;q=0"}) {
    const Result reply = Ask("GET", "/static/ostrand.css", {{"Accept-Encoding", header}});
    ASSERT_TRUE(reply && reply->status == 200) << header;
    EXPECT_EQ(reply->get_header_value("Content-Encoding"), "") << header;
  }
  // The subscribe page shows the lasting feed tokens: never compressed.
  const Result subscribe = Ask("GET", "/subscribe", {{"Accept-Encoding", "gzip"}});
  ASSERT_TRUE(subscribe && subscribe->status == 200);
  EXPECT_GT(subscribe->body.size(), http::kSmallestEncodedBody);
  EXPECT_EQ(subscribe->get_header_value("Content-Encoding"), "");
}

TEST_F(WebCompressionServer, CalendarProgramsWriteBackUnderTheTagOfACompressedObject) {
  const Result listing = Ask("PROPFIND", "/dav/calendars/1/own/", {});
  ASSERT_TRUE(listing && listing->status == 207);
  const std::regex href("<d:href>(/dav/calendars/1/own/[^<]+\\.ics)</d:href>");
  std::string object;
  Result coded;
  for (auto it = std::sregex_iterator(listing->body.begin(), listing->body.end(), href);
       it != std::sregex_iterator() && object.empty(); ++it) {
    coded = Ask("GET", (*it)[1].str(), {{"Accept-Encoding", "zstd"}});
    if (coded && coded->get_header_value("Content-Encoding") == "zstd") object = (*it)[1].str();
  }
  ASSERT_FALSE(object.empty());
  const std::string etag = coded->get_header_value("ETag");
  ASSERT_TRUE(etag.ends_with("-zstd\""));
  const std::string text = Decode(ContentCoding::kZstd, coded->body);
  const Result put = Ask("PUT", object, {{"Content-Type", "text/calendar"}, {"If-Match", etag}}, text);
  ASSERT_TRUE(put);
  EXPECT_EQ(put->status, 204) << put->body.substr(0, 600);
  // A tag of another version is still refused.
  const Result stale =
      Ask("PUT", object, {{"Content-Type", "text/calendar"}, {"If-Match", "\"0-zstd\""}}, text);
  ASSERT_TRUE(stale);
  EXPECT_EQ(stale->status, 412);
}

TEST_F(WebCompressionServer, FormsCarryAFreshMaskAndBothFormsPost) {
  const std::string page = "/schedule/personMonth.asp?dt=2001-12-05";
  const std::string first = testing::Browser::FieldValue(browser_->Get(page)->body, "csrf");
  const std::string second = testing::Browser::FieldValue(browser_->Get(page)->body, "csrf");
  ASSERT_FALSE(first.empty());
  EXPECT_NE(first, second);
  // The sign-out form posts with a masked token; a token that does not
  // unmask is refused.
  const Result refused = browser_->Post("/logout", {{"csrf", second.substr(1)}});
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 403);
  const Result signed_out = browser_->Post("/logout", {{"csrf", first}});
  ASSERT_TRUE(signed_out);
  EXPECT_EQ(signed_out->status, 303);
}

}  // namespace
}  // namespace ostrand::web
