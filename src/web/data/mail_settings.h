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

// The person's mail address, or nothing.
std::optional<std::string> MailAddressOf(store::Connection& db, std::int64_t person_id);

// Sets the person's address at `now`; an empty one removes it (and the
// person's choices stay, to be used again once there is an address).
// Throws Error naming the value when it is no mail address
// (IsMailAddress).
void SetMailAddress(store::Connection& db, std::int64_t person_id, std::string_view address,
                    const DateTime& now);

// Whether `text` has the form of an address this site sends to: a local
// part and a domain of printable ASCII, one '@', no blanks, controls,
// angle brackets or commas, at most 254 bytes.
bool IsMailAddress(std::string_view text);

// The mails the person asked for, in the order of kMailChoices.
std::vector<std::string> MailChoicesOf(store::Connection& db, std::int64_t person_id);

// Asks for the mail `choice` (one of kMailChoices) or takes it back.
// Throws Error naming the choice when it is none of them.
void SetMailChoice(store::Connection& db, std::int64_t person_id, std::string_view choice,
                   bool wanted, const DateTime& now);

// The persons who asked for `choice` and have an address, by id.
std::vector<std::int64_t> PersonsChoosing(store::Connection& db, std::string_view choice);

}  // namespace ostrand::web
