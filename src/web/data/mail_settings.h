// Persons' mail addresses (hostMailAddress) and the mails they asked for
// (hostMailChoice). An administrator sets a person's address on the
// persons page, the person on /account; a person chooses there which
// mails to get, and the unsubscribe link of a mail takes one choice back.
// Reads and writes run on the caller's connection with bound values.
// Every function throws DatabaseError when the database refuses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/date.h"
#include "store/connection.h"

namespace ostrand::web {

// The mails one may ask for: when someone else changes one's plans, and a
// leader's weekly summary of next week and daily list of who is away.
inline constexpr std::string_view kMailChanges = "changes";
inline constexpr std::string_view kMailWeeklySummary = "weekly";
inline constexpr std::string_view kMailAwayList = "away";
inline constexpr std::string_view kMailChoices[] = {kMailChanges, kMailWeeklySummary,
                                                    kMailAwayList};

// Where a person's mails go, and in which language ("zh" or "en", the
// codes of web/i18n/language.h).
struct MailAddress {
  std::string address;
  std::string language;
};

// The person's mail address, or nothing.
std::optional<MailAddress> MailAddressOf(store::Connection& db, std::int64_t person_id);

// Sets the person's address and the language of the mails at `now`; an
// empty address removes it (the person's choices stay, to be used again
// once there is an address). In a transaction of its own. Throws Error naming the value when it is no
// mail address (IsMailAddress) or the language is neither "zh" nor "en".
void SetMailAddress(store::Connection& db, std::int64_t person_id, std::string_view address,
                    std::string_view language, const DateTime& now);

// Whether `text` has the form of an address this site sends to: a local
// part and a domain of printable ASCII, one '@', no blanks, controls,
// angle brackets or commas, at most 254 bytes.
bool IsMailAddress(std::string_view text);

// The mails the person asked for, in the order of kMailChoices.
std::vector<std::string> MailChoicesOf(store::Connection& db, std::int64_t person_id);

// Asks for the mail `choice` (one of kMailChoices) or takes it back, in a
// transaction of its own.
// Throws Error naming the choice when it is none of them.
void SetMailChoice(store::Connection& db, std::int64_t person_id, std::string_view choice,
                   bool wanted, const DateTime& now);

// The persons who asked for `choice` and have an address, by id; retired
// persons are left out.
std::vector<std::int64_t> PersonsChoosing(store::Connection& db, std::string_view choice);

}  // namespace ostrand::web
