// Every path the web host serves, in one place: the pages, the sign-in, the
// stylesheet and images, so that links, redirects and routes agree.
#pragma once

#include <string_view>

namespace ostrand::web {

// The schedule pages live under this folder; the component's relative
// links (manage.asp?..., ../Images/...) rely on it.
inline constexpr std::string_view kScheduleFolder = "/schedule/";

inline constexpr std::string_view kPersonMonthPath = "/schedule/personMonth.asp";
inline constexpr std::string_view kPersonWeekPath = "/schedule/personWeek.asp";
inline constexpr std::string_view kLeaderMonthPath = "/schedule/leaderMonth.asp";
inline constexpr std::string_view kLeaderWeekPath = "/schedule/leaderWeek.asp";
inline constexpr std::string_view kLeader2MonthPath = "/schedule/leader2Month.asp";
inline constexpr std::string_view kLeader2WeekPath = "/schedule/leader2Week.asp";
// The day editor, and the deleted plans it can restore.
inline constexpr std::string_view kEditorPath = "/schedule/manage.asp";
inline constexpr std::string_view kDeletedPlansPath = "/schedule/deleted.asp";
// Who of one's department is away today and this week.
inline constexpr std::string_view kAwayPath = "/schedule/away.asp";
// The leader month summaries over several months.
inline constexpr std::string_view kLeaderMonthsPath = "/schedule/leaderMonths.asp";
inline constexpr std::string_view kLeader2MonthsPath = "/schedule/leader2Months.asp";
// Where "/" and "/schedule/" lead, and where sign-in goes without a page to
// return to.
inline constexpr std::string_view kHomePage = kPersonMonthPath;

inline constexpr std::string_view kSignInPath = "/login";
inline constexpr std::string_view kSignOutPath = "/logout";
// Sign-in with the OpenID provider: the start, which leads to the
// provider, and the provider's answer.
inline constexpr std::string_view kOidcSignInPath = "/login/oidc";
inline constexpr std::string_view kOidcCallbackPath = "/login/oidc/callback";
// The second step of a sign-in with a second factor: the one-time code.
inline constexpr std::string_view kSecondFactorPath = "/login/code";
// The language switch (pages/language_switch.h).
inline constexpr std::string_view kLanguagePath = "/language";

// The subscribe page: one's calendar feed addresses and their reset, and
// the API token of one's programs.
inline constexpr std::string_view kSubscribePath = "/subscribe";
// The calendar feeds, fetched by calendar programs with the token in the
// path instead of a session (feed_address.h has their form).
inline constexpr std::string_view kFeedsFolder = "/feeds/";
// The CalDAV server of calendar programs (web/dav/), signed in with an app
// password, and the address by which they discover it (RFC 6764).
inline constexpr std::string_view kDavFolder = "/dav/";
inline constexpr std::string_view kWellKnownCalDavPath = "/.well-known/caldav";
// The read-only JSON API.
inline constexpr std::string_view kApiPlansPath = "/api/v1/plans";
inline constexpr std::string_view kApiDepartmentPath = "/api/v1/department";

// The administration pages, for administrators only (admin/admin_routes.h).
inline constexpr std::string_view kAdminFolder = "/admin/";
inline constexpr std::string_view kAdminPersonsPath = "/admin/persons";
inline constexpr std::string_view kAdminPersonImportPath = "/admin/persons/import";
inline constexpr std::string_view kAdminDepartmentsPath = "/admin/departments";
inline constexpr std::string_view kAdminDutiesPath = "/admin/duties";
inline constexpr std::string_view kAdminPlacesPath = "/admin/places";
inline constexpr std::string_view kAdminAuditPath = "/admin/audit";
// The identities of providers and directories, and their links to persons.
inline constexpr std::string_view kAdminIdentitiesPath = "/admin/identities";
// One person's access: invitation, reset, sessions, sign-in throttle.
inline constexpr std::string_view kAdminAccessPath = "/admin/access";
// The receivers of webhooks and their deliveries.
inline constexpr std::string_view kAdminWebhooksPath = "/admin/webhooks";
// Every signed-in person's own account: password, sessions, tokens.
inline constexpr std::string_view kAccountPath = "/account";
// One's second factor: enrolling, the recovery codes, removing it.
inline constexpr std::string_view kSecondFactorAccountPath = "/account/second-factor";
// Where an invitation link leads: choosing a password, without signing in.
inline constexpr std::string_view kInvitePath = "/invite";

// The host stylesheet and script, the component's images (../Images/NAME.gif from the
// pages) and the site icon.
inline constexpr std::string_view kHostStylesheet = "/static/ostrand.css";
// The host script that marks today, weekends and holidays on the
// component's views (pages/day_marks.h).
inline constexpr std::string_view kDayMarksScript = "/static/days.js";
inline constexpr std::string_view kHostScript = "/static/ostrand.js";
inline constexpr std::string_view kImagesFolder = "/Images/";
inline constexpr std::string_view kFaviconPath = "/favicon.ico";

}  // namespace ostrand::web
