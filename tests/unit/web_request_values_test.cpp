// Numbers and dates read from request text: the boundaries of the one
// integer reader, and date parts with too many digits.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "web/http/request_error.h"
#include "web/http/request_values.h"

namespace ostrand::web {
namespace {

constexpr std::int64_t k32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t k63 = std::numeric_limits<std::int64_t>::max();

TEST(WebRequestValues, WholeNumbersAtTheirBoundaries) {
  EXPECT_EQ(ReadWholeNumber("2147483647", k32), k32);
  EXPECT_EQ(ReadWholeNumber("2147483648", k32), std::nullopt);
  EXPECT_EQ(ReadWholeNumber("9007199254740992", kLargestExactId), kLargestExactId);  // 2^53
  EXPECT_EQ(ReadWholeNumber("9007199254740993", kLargestExactId), std::nullopt);
  EXPECT_EQ(ReadWholeNumber("9223372036854775807", k63), k63);
  EXPECT_EQ(ReadWholeNumber("9223372036854775808", k63), std::nullopt);   // 2^63
  EXPECT_EQ(ReadWholeNumber("99999999999999999999", k63), std::nullopt);  // twenty digits
  EXPECT_EQ(ReadWholeNumber(std::string(5000, '9'), k63), std::nullopt);
  EXPECT_EQ(ReadWholeNumber("00000000000000000000000000042", k32), 42);
  EXPECT_EQ(ReadWholeNumber("0", 0), 0);
  EXPECT_EQ(ReadWholeNumber("7", 5), std::nullopt);
  for (const char* text : {"", "+1", "-1", "-0", " 1", "1 ", "1.0", "1e3", "0x10", "１"}) {
    EXPECT_EQ(ReadWholeNumber(text, k63), std::nullopt) << text;
  }
}

TEST(WebRequestValues, PageIdsAndDaysThatDoNotReadAreBadRequests) {
  EXPECT_EQ(ReadPersonIdValue("personID", "2147483647"), k32);
  for (const char* text : {"2147483648", "9223372036854775808", "99999999999999999999", "-1"}) {
    try {
      ReadPersonIdValue("personID", text);
      ADD_FAILURE() << text << " was read";
    } catch (const http::RequestError& e) {
      EXPECT_EQ(e.status(), 400);
      EXPECT_EQ(std::string(e.what()), "personID '" + std::string(text) + "' is not a valid person id.");
    }
  }
  for (const char* text : {"2001-12-99999999999999999999", "99999999999999999999-1-1",
                           "2001-000000000000000000012-5", "2001-12-5 99999999999999999999:00"}) {
    EXPECT_THROW(ReadDayValue("dt", text), http::RequestError) << text;
  }
  EXPECT_EQ(IsoDate(ReadDayValue("dt", "2001-12-05 14:30")), "2001-12-05");
}

}  // namespace
}  // namespace ostrand::web
