// Reading the values a page takes from its query string or form. A value
// that does not read is the caller's mistake: RequestError (400) naming it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/date.h"
#include "core/text.h"
#include "core/value.h"

namespace ostrand::web {

// The largest id a host value carries exactly (as a double): 2^53.
inline constexpr std::int64_t kLargestExactId = std::int64_t{1} << 53;

// Whole numbers are read by ReadWholeNumber (core/text.h), here as in every
// other layer.
using ostrand::ReadWholeNumber;

// A person id (or another id a page takes): ReadWholeNumber within 32 bits.
// Throws RequestError (400) ("personID 'abc' is not a number") for anything
// else.
std::int64_t ReadPersonIdValue(std::string_view name, std::string_view text);

// The calendar date of a "dt" value (any date text the component reads, an
// optional time of day dropped). Throws RequestError (400) naming the text.
DateTime ReadDayValue(std::string_view name, std::string_view text);

// The host value of a database id: int32 when it fits, else a double, which
// holds every integer up to 2^53 exactly. Throws Error naming the id beyond
// that, rather than hand the component a different number.
Value IdValue(std::int64_t id);

// "YYYY-MM-DD" of a date, zero-padded.
std::string IsoDate(const DateTime& date);
// "YYYY-MM-DD HH:MM:SS", the form the database stores.
std::string StorageDateTime(const DateTime& date);
// "YYYY-MM-DDTHH:MM", the value of a datetime-local form field.
std::string FormDateTime(const DateTime& date);

}  // namespace ostrand::web
