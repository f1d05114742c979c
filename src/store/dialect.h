// Translation of the component's SQL Server texts for the other engines.
// Works on tokens (store/sql_lexer.h), never inside string literals or
// comments:
//  - a select-list item "Name=expr" becomes "expr AS Name";
//  - "DATEDIFF(dd, a, b)" becomes the engine's count of calendar-day
//    boundaries from a to b (the calendar date of b minus that of a); a
//    date literal among its arguments is written out in full
//    ('2001-12-5' becomes '2001-12-05 00:00:00'). A whole condition
//    "DATEDIFF(dd, column, day) >= 0" or "DATEDIFF(dd, day, column) >= 0",
//    with day a '?' or a date literal, becomes a plain comparison of the
//    column with the day's bounds, which an index on the column serves:
//    on PostgreSQL exact for every timestamp; on SQLite a comparison of the
//    stored text, exact for times stored as the schema writes them
//    (db/schema.sql: the text begins with the day as YYYY-MM-DD);
//  - '+' next to a string literal becomes '||' (T-SQL concatenates text
//    with '+');
//  - texts compare as SQL Server's usual case-insensitive collation
//    compares them: in a condition (WHERE, ON, HAVING, WHEN), where one
//    operand of =, <>, !=, <, <=, >, >= is a string literal (perhaps
//    concatenated), or an IN list holds only string literals, both sides
//    become lower(rtrim(...)); an operand ends at a logical or clause word,
//    a comma or an unbalanced parenthesis. A literal that reads as a number
//    or a date is not text ('12', '2001-12-5': T-SQL converts it), and a
//    comparison of two columns cannot be told from one of numbers on tokens,
//    so both stay as written (case- and blank-sensitive). lower() folds
//    ASCII letters on SQLite (directly and behind ODBC alike) and follows
//    the database's LC_CTYPE on PostgreSQL;
//  - on PostgreSQL, LIKE becomes ILIKE, with ESCAPE '' unless the text
//    names an escape character (a backslash is no escape in T-SQL);
//    SQLite's LIKE ignores the case of ASCII letters already;
//  - for PostgreSQL, [bracketed] names become plain or double-quoted names,
//    and an ORDER BY over one of the schedule tables is completed with that
//    table's key, so that rows that tie come in the order SQLite gives them
//    (by key) and every engine renders the same bytes.
// SQL Server receives the text unchanged. The translation never moves a
// value before another, so '?' placeholders keep their order.
#pragma once

#include <string>
#include <string_view>

namespace ostrand::store {

enum class Engine {
  kSqlite,      // SQLite, directly or behind ODBC
  kPostgresql,  // PostgreSQL, through libpq or behind ODBC
  kSqlServer,   // SQL Server (and any other database behind ODBC): T-SQL as written
};

// "SQLite", "PostgreSQL", "SQL Server".
std::string_view EngineName(Engine engine);

// Translates one text. With `day_start_function`, a SQLite text counts days
// with ostrand_day_start(x) in place of julianday(x, 'start of day'): the
// same values, which the SQLite backend computes without SQLite's general
// date parser (store/sqlite/day_start.h); only for connections that
// register it. Throws Error naming the text when a DATEDIFF call is
// malformed (missing parenthesis, unit other than dd).
std::string TranslateTsql(std::string_view tsql, Engine engine, bool day_start_function = false);

}  // namespace ostrand::store
