// The web host's own text in both languages: every caption, heading and
// message that the host writes into a page has a MessageId, and each
// language has one catalogue (catalogue_zh.cpp, catalogue_en.cpp) holding
// a text for every id. Pages never write such text themselves; they ask
// Text or Format with the request's language. The component's fragments
// are not host text and keep their own captions.
//
// A text may hold the placeholders {0} to {9}; Format puts the arguments
// in their places, as plain text (the page escapes it where it writes it,
// core/html.h). The texts of one id use the same placeholders in both
// languages.
//
// Adding a message: a new id below (before kCount), and its text in both
// catalogues; the catalogue test fails until both have it.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "web/i18n/language.h"

namespace ostrand::web {

enum class MessageId {
  // The frame of every page.
  kSiteName,
  kSkipToContent,
  kSiteNavigation,
  kLanguageSwitch,
  kNavPersonMonth,
  kNavPersonWeek,
  kNavLeaderMonth,
  kNavLeader2Month,
  kSignOut,

  // Error pages: the heading of each status, the messages, the incident.
  kStatus400,
  kStatus403,
  kStatus404,
  kStatus405,
  kStatus413,
  kStatus429,
  kStatus431,
  kStatus500,
  kStatus503,
  kStatusOther,
  kSomethingWentWrong,
  kServerBusy,
  kDatabaseUnavailable,
  kRequestUnreadable,
  kBodyTooLarge,
  kHeadersTooLarge,
  kPageNotFound,
  kMethodNotAllowed,
  kIncidentNumber,
  kIncidentHint,
  kBackToMonth,

  // What a request sent that does not read ({0} the field's name, {1} what
  // it held), and what a visitor may not do.
  kTooManyFields,
  kNotANumber,
  kNotADate,
  kFormExpired,
  kOnlyOwnDepartment,
  kLeadersOnly,
  kOnlyOwnPlans,
  kNoSuchPerson,
  kNoSuchPlan,
  kDeleteWithoutPlan,
  kUnknownAction,

  // Sign-in and sign-out.
  kSignInTitle,
  kSignInPerson,
  kSignInPassword,
  kSignInButton,
  kSignInFailed,
  kSignInBusy,
  kSignInThrottled,
  kSignInExpired,
  kSignOutTitle,
  kSignOutQuestion,

  // The schedule pages.
  kTitlePersonMonth,
  kTitlePersonWeek,
  kTitleLeaderMonth,
  kTitleLeaderWeek,
  kTitleLeader2Month,
  kTitleLeader2Week,
  kPersonPicker,
  kShow,
  kLegend,
  kPreviousYear,
  kPreviousMonth,
  kNextMonth,
  kNextYear,
  kPreviousWeek,
  kNextWeek,

  // Dates the host writes: {0} the year, {1} the month's name, {2} the
  // day; a day heading is {0} the date and {1} the weekday.
  kDate,
  kDayHeading,
  kMonth1,
  kMonth2,
  kMonth3,
  kMonth4,
  kMonth5,
  kMonth6,
  kMonth7,
  kMonth8,
  kMonth9,
  kMonth10,
  kMonth11,
  kMonth12,
  kSunday,
  kMonday,
  kTuesday,
  kWednesday,
  kThursday,
  kFriday,
  kSaturday,

  // The day editor.
  kEditorTitle,
  kPreviousDay,
  kBackToPage,
  kNextDay,
  kDayPlans,
  kNoPlansThatDay,
  kTime,
  kKind,
  kPlace,
  kDetail,
  kContent,
  kAddition,
  kFlag,
  kActions,
  kShared,
  kPrivate,
  kEdit,
  kDelete,
  kNewPlan,
  kChangePlan,
  kStart,
  kEnd,
  kChoose,
  kOtherPlaces,
  kSave,
  kCancelChange,
  kBadStart,
  kBadEnd,
  kEndBeforeStart,
  kPlanTooLong,
  kChooseKind,
  kChoosePlace,
  kPlaceNotOfKind,
  kChooseFlag,
  kTextTooLong,
  kTextHasControl,
  kDayFull,

  // Holidays, who is away, the leader summary over months, and the day
  // editor's notices, delete, undo and copy.
  kNavAway,
  kShortDate,
  kMonthOfYear,
  kOutOfShownRange,
  kCopyEndsTooLate,
  kPlanLabel,
  kOverlapWarning,
  kListSeparator,
  kOverlapTag,
  kOverlapMore,
  kTextNotUtf8,
  kCopy,
  kUndoDelete,
  kConfirmDelete,
  kCancel,
  kCopyPlan,
  kCopyPlanIntro,
  kCopyFrom,
  kCopyTo,
  kEveryWeek,
  kSkipDaysOff,
  kRecentlyDeleted,
  kSaved,
  kRestored,
  kDeletedPlan,
  kCopiedDays,
  kCopiesOverlap,
  kPlanIncomplete,
  kBadFromDate,
  kBadToDate,
  kToBeforeFrom,
  kCopyRangeTooLong,
  kChooseWeekday,
  kNoCopyDays,
  kNothingCopied,
  kCopyWithoutPlan,
  kRestoreWithoutEntry,
  kDeletedGone,
  kCannotRestore,
  kDeletedTitle,
  kDeletedKept,
  kNoDeletedPlans,
  kDeletedAt,
  kRestore,
  kAwayTitle,
  kToday,
  kTodayHeading,
  kThisWeekHeading,
  kNobodyAwayDay,
  kNobodyAwayWeek,
  kPrivateMark,
  kKindNumber,
  kDayNotShown,
  kName,
  kTitleLeaderMonths,
  kTitleLeader2Months,
  kMonthSpans,
  kShowMonths,
  kMonthCount,
  kBadMonths,
  kNoMonthsAfter,
  kDayOffTag,
  kWorkingDayTag,
  kHolidayTip,
  kDemoNote,
  // The weekdays' short names, Sunday first, separated by blanks.
  kWeekdayInitials,
  // Calendar feeds, downloads and the subscribe page.
  kNavSubscribe,
  kSubscribeTitle,
  kSubscribeIntro,
  kFeedOwn,
  kFeedOwnNote,
  kFeedColleagues,
  kFeedOfPerson,
  kFeedColleagueNote,
  kShowAddress,
  kFeedDepartment,
  kFeedDepartmentNote,
  kFeedDepartment2,
  kFeedDepartment2Note,
  kFeedOfPersonShared,
  kResetFeedHeading,
  kResetFeedNote,
  kResetFeedButton,
  kFeedWasReset,
  kApiTokenHeading,
  kApiTokenNote,
  kNewApiTokenLabel,
  kNewApiTokenHint,
  kApiTokenMadeAt,
  kNoApiToken,
  kMakeApiToken,
  kRevokeApiToken,
  kApiTokenMade,
  kApiTokenRevoked,
  kDownloadCsv,
  kDownloadXlsx,
  kNotADownloadFormat,
  kNoDownload,
  kNoDepartment,
  kRangeDateUnreadable,
  kRangeReversed,
  kRangeTooLong,

  // Administration: the frame and the index page.
  kNavAdministration,
  kNavAccount,
  kAdministratorsOnly,
  kAdminTitle,
  kAdminIntro,

  // Administration: persons.
  kAdminPersonsTitle,

  // Administration: departments, duties and places.
  kAdminDepartmentsTitle,
  kAdminDutiesTitle,
  kAdminPlacesTitle,

  // Administration: accounts, invitations and one's own account.
  kAdminAccessTitle,
  kAccountTitle,

  // Administration: the audit log.
  kAdminAuditTitle,
  kAuditFilter,
  kAuditFilterPerson,
  kAuditFilterKind,
  kAuditEveryKind,
  kAuditFilterFrom,
  kAuditFilterTo,
  kAuditShow,
  kAuditDownloadCsv,
  kAuditCount,
  kAuditNone,
  kAuditNoSuchPerson,
  kAuditUnknownKind,
  kAuditWhen,
  kAuditWho,
  kAuditWhoNumber,
  kAuditWhat,
  kAuditKindCode,
  kAuditWhom,
  kAuditWhomNumber,
  kAuditDetail,
  kAuditAddress,
  kAuditPersonName,
  kAuditFormerPerson,
  kAuditPages,
  kAuditNewer,
  kAuditOlder,
  kAuditPageOf,
  kAuditKindSignIn,
  kAuditKindSignInFailed,
  kAuditKindSignInThrottled,
  kAuditKindSignOut,
  kAuditKindPasswordChanged,
  kAuditKindTokenChanged,
  kAuditKindAdminGranted,
  kAuditKindAdminRevoked,
  kAuditKindPersonAdded,
  kAuditKindPersonChanged,
  kAuditKindPersonRetired,
  kAuditKindPersonReinstated,
  kAuditKindPersonsImported,
  kAuditKindDepartmentChanged,
  kAuditKindDutyChanged,
  kAuditKindPlaceChanged,
  kAuditKindInvitationMade,
  kAuditKindSessionsEnded,
  kAuditKindThrottleLifted,

  kCount  // the number of messages; not a message
};

// The text of the message in the language, placeholders as they stand.
std::string_view Text(Language language, MessageId id);

// The text with {0}, {1}, ... replaced by the arguments; a placeholder
// without an argument stays as it is.
std::string Format(Language language, MessageId id, std::initializer_list<std::string_view> args);

// A message to be written later in a language not known yet (an error
// thrown deep inside a page, shown by the page's frame).
struct Message {
  MessageId id;
  std::vector<std::string> args;
};

// The message's text in the language, arguments in place.
std::string Render(Language language, const Message& message);

// The name of the month (1 to 12) and of the weekday (Sunday = 1 to
// Saturday = 7) in the language.
std::string_view MonthName(Language language, int month);
std::string_view WeekdayName(Language language, int weekday);

}  // namespace ostrand::web
