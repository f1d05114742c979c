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
// The day editor.
inline constexpr std::string_view kEditorPath = "/schedule/manage.asp";
// Where "/" and "/schedule/" lead, and where sign-in goes without a page to
// return to.
inline constexpr std::string_view kHomePage = kPersonMonthPath;

inline constexpr std::string_view kSignInPath = "/login";
inline constexpr std::string_view kSignOutPath = "/logout";
// The language switch (pages/language_switch.h).
inline constexpr std::string_view kLanguagePath = "/language";

// The host stylesheet and script, the component's images (../Images/NAME.gif from the
// pages) and the site icon.
inline constexpr std::string_view kHostStylesheet = "/static/ostrand.css";
inline constexpr std::string_view kHostScript = "/static/ostrand.js";
inline constexpr std::string_view kImagesFolder = "/Images/";
inline constexpr std::string_view kFaviconPath = "/favicon.ico";

}  // namespace ostrand::web
