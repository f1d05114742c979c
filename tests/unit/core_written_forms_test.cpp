// The one writer of dates, the one hex encoder and the one reader of whole
// numbers, where callers now share what each of them once wrote for itself.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "core/date_text.h"
#include "core/hex.h"
#include "core/text.h"
#include "web/http/byte_range.h"

namespace ostrand {
namespace {

TEST(DateText, WritesEveryFormZeroPadded) {
  // A year below 1000 keeps four digits in every form.
  const DateTime early = DateTime::FromCivil(999, 3, 4, 5, 6, 7);
  EXPECT_EQ(DateText(early), "0999-03-04");
  EXPECT_EQ(DateTimeText(early), "0999-03-04 05:06:07");
  EXPECT_EQ(MinuteText(early), "0999-03-04 05:06");
  EXPECT_EQ(MonthText(early), "0999-03");
  EXPECT_EQ(ClockText(early), "05:06");
  EXPECT_EQ(FormDateTimeText(early), "0999-03-04T05:06");
  EXPECT_EQ(IsoDateTimeText(early), "0999-03-04T05:06:07");
  EXPECT_EQ(IsoUtcText(early), "0999-03-04T05:06:07Z");
  EXPECT_EQ(DateText(DateTime::Earliest()), "0100-01-01");
  EXPECT_EQ(DateTimeText(DateTime::FromCivil(9999, 12, 31, 23, 59, 59)), "9999-12-31 23:59:59");
}

TEST(DateText, WritesOffsetsOnBothSidesOfUtc) {
  const DateTime wall = DateTime::FromCivil(2026, 12, 9, 23, 30, 0);
  EXPECT_EQ(IsoOffsetText(wall, 8 * 3600), "2026-12-09T23:30:00+08:00");
  EXPECT_EQ(IsoOffsetText(wall, -(3 * 3600 + 30 * 60)), "2026-12-09T23:30:00-03:30");
  EXPECT_EQ(IsoOffsetText(wall, -30 * 60), "2026-12-09T23:30:00-00:30");
  EXPECT_EQ(IsoOffsetText(wall, 0), "2026-12-09T23:30:00+00:00");
}

TEST(DateText, WritesHttpDatesFromUnixTime) {
  EXPECT_EQ(HttpDateText(DateTime::FromUnixSeconds(784111777)), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(HttpDateText(DateTime::FromUnixSeconds(0)), "Thu, 01 Jan 1970 00:00:00 GMT");
  // Before 1970 the seconds count back from midnight of the day before.
  EXPECT_EQ(DateTimeText(DateTime::FromUnixSeconds(-1)), "1969-12-31 23:59:59");
  EXPECT_EQ(HttpDateText(DateTime::FromCivil(999, 12, 31)), "Tue, 31 Dec 0999 00:00:00 GMT");
}

TEST(Hex, WritesBothCasesHighDigitFirst) {
  const std::array<unsigned char, 4> bytes = {0x00, 0x0F, 0xA5, 0xFF};
  EXPECT_EQ(HexText(bytes, HexCase::kLower), "000fa5ff");
  EXPECT_EQ(HexText(bytes, HexCase::kUpper), "000FA5FF");
  EXPECT_EQ(HexText({}, HexCase::kLower), "");
}

TEST(WholeNumber, UpToReadsLargeNumbersAsTheLimit) {
  EXPECT_EQ(ReadWholeNumberUpTo("0042", 100), 42);
  EXPECT_EQ(ReadWholeNumberUpTo("101", 100), 100);
  EXPECT_EQ(ReadWholeNumberUpTo(std::string(400, '9'), INT64_MAX), INT64_MAX);
  EXPECT_EQ(ReadWholeNumberUpTo("", 100), std::nullopt);
  EXPECT_EQ(ReadWholeNumberUpTo("1 ", 100), std::nullopt);
  EXPECT_EQ(ReadWholeNumberUpTo("-1", 100), std::nullopt);
  EXPECT_EQ(ReadWholeNumberUpTo("99999999999999999999x", 100), std::nullopt);
}

TEST(WholeNumber, RangesBeyondSixtyThreeBitsStayInOrder) {
  using web::http::AnswerRange;
  using Kind = web::http::RangeAnswer::Kind;
  // Both ends beyond any file: nothing of it can be sent.
  EXPECT_EQ(AnswerRange("bytes=99999999999999999999-99999999999999999999", 100).kind,
            Kind::kUnsatisfiable);
  // Nineteen digits are read exactly, and a last byte before the first is
  // no range at all.
  EXPECT_EQ(AnswerRange("bytes=99999999999999999999-1000000000000000000", 100).kind,
            Kind::kWhole);
}

}  // namespace
}  // namespace ostrand
