// Reading the host's own rows: the fields of a store::RecordSet row as the
// host's types (ids as exact 64-bit integers, texts, optional values).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "store/record_set.h"

namespace ostrand::web {

// The whole number in the column, or nothing for NULL. Throws Error naming
// the column when it holds anything else.
std::optional<std::int64_t> OptionalInt(const store::RecordSet& row, std::size_t column);
// As OptionalInt; NULL is an error too.
std::int64_t Int(const store::RecordSet& row, std::size_t column);
// The column's text (a date as the database's storage text); NULL reads as
// the empty text.
std::string Text(const store::RecordSet& row, std::size_t column);
// The column's text, or nothing for NULL.
std::optional<std::string> OptionalText(const store::RecordSet& row, std::size_t column);

}  // namespace ostrand::web
