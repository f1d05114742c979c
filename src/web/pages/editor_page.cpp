#include "web/pages/editor_page.h"

#include <cstdio>
#include <set>
#include <utility>
#include <variant>
#include <vector>

#include "core/html.h"
#include "core/utf8.h"
#include "web/data/plan_repository.h"
#include "web/http/http_error.h"
#include "web/http/request_values.h"
#include "web/http/url.h"
#include "web/pages/day_marks.h"
#include "web/pages/html_form.h"
#include "web/pages/page_layout.h"
#include "web/pages/schedule_pages.h"

namespace ostrand::web {
namespace {

constexpr std::string_view kWeekdayNames[] = {"日", "一", "二", "三", "四", "五", "六"};

// The longest detail, content or addition, in characters. Every view and
// summary repeats a plan's text on each day it covers, so one unbounded
// field could swell every page that shows it.
constexpr std::size_t kMaxTextLength = 500;

// The longest stretch of days a plan is copied over at once.
constexpr std::int64_t kMaxCopyDays = 366;

// Whose day the editor shows; the visitor's own only.
struct EditorTarget {
  std::int64_t person_id = 0;
  DateTime day;
};

// The form's fields as typed (or as stored, or the defaults of a new plan).
struct PlanFields {
  std::string plan_id;
  std::string start;
  std::string end;
  std::string kind;
  std::string place;
  std::string detail;
  std::string content;
  std::string addition;
  std::string flag;
};

// The copy form's fields: the plan, the first and last day, the weekdays
// (1 Monday .. 7 Sunday) and whether days off are left out.
struct CopyFields {
  std::string plan_id;
  std::string from;
  std::string to;
  std::set<int> weekdays;
  bool skip_days_off = true;
};

// Everything the day page shows besides the day's plans.
struct EditorView {
  PlanFields fields;                    // the plan form
  std::vector<std::string> messages;    // what is wrong with the plan form
  std::vector<std::string> notices;     // what was just done
  std::vector<std::string> warnings;    // plans that overlap
  std::optional<DeletedPlan> undo;      // the delete just done, offered for undoing
  std::optional<StoredPlan> confirm;    // the plan whose delete is to be confirmed
  std::optional<StoredPlan> copy;       // the plan the copy form copies
  CopyFields copy_fields;
  std::vector<std::string> copy_messages;
  int status = 200;
};

EditorTarget ReadTarget(PageRequest& request) {
  EditorTarget target;
  const std::optional<std::string> person = FindField(request.query, "personID");
  target.person_id = person && !person->empty() ? ReadPersonIdValue("personID", *person)
                                                : request.visitor.person.id;
  RequireSelf(request.visitor, target.person_id);
  const std::optional<std::string> dt = FindField(request.query, "dt");
  target.day = dt && !dt->empty() ? ReadDayValue("dt", *dt) : TodayOf(request.options);
  return target;
}

// An id of the query or form, or nothing when the field is missing or
// empty. Throws HttpError 400 naming the field when it is no id.
std::optional<std::int64_t> ReadIdField(const FormFields& fields, std::string_view name) {
  const std::string text = FieldOrEmpty(fields, name);
  if (text.empty()) return std::nullopt;
  return ReadPersonIdValue(name, text);
}

std::string ClockText(const DateTime& time) {
  char buffer[32];  // room for any int, which keeps the compiler's format check quiet
  std::snprintf(buffer, sizeof buffer, "%02d:%02d", time.hour(), time.minute());
  return buffer;
}

std::string DayText(const DateTime& day) {
  const CivilDate civil = day.civil();
  return std::to_string(civil.year) + "年" + std::to_string(civil.month) + "月" +
         std::to_string(civil.day) + "日";
}

std::string ShortDayText(const DateTime& day) {
  return std::to_string(day.month()) + "月" + std::to_string(day.day_of_month()) + "日";
}

std::string DayHeading(const DateTime& day) {
  return DayText(day) + " 星期" + std::string(kWeekdayNames[day.weekday() - 1]);
}

std::string EditorAddress(const EditorTarget& target, const DateTime& day,
                          std::initializer_list<http::QueryItem> more = {}) {
  const std::string person = std::to_string(target.person_id);
  const std::string dt = IsoDate(day);
  std::string address =
      http::LinkWithQuery(kEditorPath, {{"personID", person}, {"dt", dt}});
  for (const http::QueryItem& item : more) {
    address += '&';
    address += item.name;
    address += '=';
    http::AppendPercentEncoded(address, item.value);
  }
  return address;
}

PlanFields DefaultFields(const DateTime& day, const std::vector<PlaceKind>& kinds) {
  PlanFields fields;
  fields.start = FormDateTime(DateTime::FromSerial(day.day(), 9 * 3600));
  fields.end = FormDateTime(DateTime::FromSerial(day.day(), 17 * 3600 + 30 * 60));
  if (!kinds.empty()) fields.kind = std::to_string(kinds.front().id);
  fields.flag = std::to_string(kSharedPlan);
  return fields;
}

PlanFields FieldsOfPlan(const StoredPlan& plan) {
  PlanFields fields;
  fields.plan_id = std::to_string(plan.id);
  fields.start = plan.start ? FormDateTime(*plan.start) : plan.start_text;
  fields.end = plan.end ? FormDateTime(*plan.end) : plan.end_text;
  if (plan.kind_id) fields.kind = std::to_string(*plan.kind_id);
  if (plan.place_id) fields.place = std::to_string(*plan.place_id);
  fields.detail = plan.detail.value_or("");
  fields.content = plan.content.value_or("");
  fields.addition = plan.addition.value_or("");
  fields.flag = std::to_string(plan.flag.value_or(kSharedPlan));
  return fields;
}

PlanFields FieldsOfForm(const FormFields& form) {
  PlanFields fields;
  fields.plan_id = FieldOrEmpty(form, "planID");
  fields.start = FieldOrEmpty(form, "start");
  fields.end = FieldOrEmpty(form, "end");
  fields.kind = FieldOrEmpty(form, "kind");
  fields.place = FieldOrEmpty(form, "place");
  fields.detail = FieldOrEmpty(form, "detail");
  fields.content = FieldOrEmpty(form, "content");
  fields.addition = FieldOrEmpty(form, "addition");
  fields.flag = FieldOrEmpty(form, "flag");
  return fields;
}

// The copy form as the editor first shows it: the week after the plan's
// day, Monday to Friday, days off left out.
CopyFields DefaultCopyFields(const StoredPlan& plan, const DateTime& day) {
  CopyFields fields;
  fields.plan_id = std::to_string(plan.id);
  const DateTime from = (plan.start ? plan.start->DateOnly() : day.DateOnly()).AddDays(1);
  fields.from = IsoDate(from);
  fields.to = IsoDate(from.AddDays(6));
  fields.weekdays = {1, 2, 3, 4, 5};
  return fields;
}

CopyFields CopyFieldsOfForm(const FormFields& form) {
  CopyFields fields;
  fields.plan_id = FieldOrEmpty(form, "planID");
  fields.from = FieldOrEmpty(form, "from");
  fields.to = FieldOrEmpty(form, "to");
  const auto [first, last] = form.equal_range("weekday");
  for (auto it = first; it != last; ++it) {
    if (const std::optional<std::int64_t> day = ReadWholeNumber(it->second, 7); day && *day >= 1) {
      fields.weekdays.insert(static_cast<int>(*day));
    }
  }
  fields.skip_days_off = FindField(form, "skipDaysOff").has_value();
  return fields;
}

std::optional<DateTime> ReadFormTime(const std::string& text) {
  try {
    return DateTime::Parse(text);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// Whether the text begins with a year the pages cannot show (before 100 or
// after 9999), as a date picker lets one type.
bool YearOutOfRange(std::string_view text) {
  const std::size_t digits = text.find_first_not_of("0123456789");
  if (digits == 0 || digits == std::string_view::npos || text[digits] != '-') return false;
  const std::optional<std::int64_t> year = ReadWholeNumber(text.substr(0, digits), 1000000);
  return !year || *year < 100 || *year > 9999;
}

constexpr std::string_view kShownRange = "日程须在 100年1月1日 至 9999年12月31日 之间。";

// The message for a date or time of the form that does not read.
std::string UnreadableTime(std::string_view caption, const std::string& text,
                           std::string_view what) {
  if (YearOutOfRange(text)) {
    return std::string(caption) + "“" + text + "”超出了页面能显示的日期。" +
           std::string(kShownRange);
  }
  return std::string(caption) + "“" + text + "”不是有效的" + std::string(what) + "。";
}

std::optional<std::int64_t> ReadFormId(const std::string& text) {
  return ReadWholeNumber(text, kLargestExactId);
}

// Characters of UTF-8 text (bytes that do not continue a character).
std::size_t CharacterCount(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

std::optional<std::string> NullWhenEmpty(const std::string& text) {
  if (text.empty()) return std::nullopt;
  return text;
}

// The plan the fields describe, or the messages that say what is wrong.
std::variant<PlanInput, std::vector<std::string>> CheckFields(const PlanFields& fields,
                                                              const std::vector<PlaceKind>& kinds,
                                                              const std::vector<Place>& places,
                                                              std::int64_t max_plan_days) {
  std::vector<std::string> messages;
  const std::optional<DateTime> start = ReadFormTime(fields.start);
  const std::optional<DateTime> end = ReadFormTime(fields.end);
  if (!start) messages.push_back(UnreadableTime("开始时间", fields.start, "日期时间"));
  if (!end) messages.push_back(UnreadableTime("结束时间", fields.end, "日期时间"));
  if (start && end && *end < *start) messages.push_back("结束时间早于开始时间。");
  if (start && end && end->day() - start->day() + 1 > max_plan_days) {
    messages.push_back("日程跨越 " + std::to_string(end->day() - start->day() + 1) + " 天，最长 " +
                       std::to_string(max_plan_days) + " 天。");
  }

  const std::optional<std::int64_t> kind_id = ReadFormId(fields.kind);
  const PlaceKind* kind = nullptr;
  for (const PlaceKind& k : kinds) {
    if (kind_id && k.id == *kind_id) kind = &k;
  }
  if (kind == nullptr) messages.push_back("请选择地点类别。");
  const std::optional<std::int64_t> place_id = ReadFormId(fields.place);
  const Place* place = nullptr;
  for (const Place& p : places) {
    if (place_id && p.id == *place_id) place = &p;
  }
  if (place == nullptr) {
    messages.push_back("请选择地点。");
  } else if (kind != nullptr && place->kind_id && *place->kind_id != kind->id) {
    messages.push_back("地点“" + place->name + "”不属于“" + kind->name + "”。");
  }
  const std::optional<std::int64_t> flag = ReadFormId(fields.flag);
  if (!flag || (*flag != kSharedPlan && *flag != kPrivatePlan)) {
    messages.push_back("请选择共享或个人。");
  }
  const std::pair<std::string_view, const std::string*> texts[] = {
      {"详细地点", &fields.detail}, {"内容", &fields.content}, {"附加", &fields.addition}};
  for (const auto& [caption, text] : texts) {
    if (CharacterCount(*text) > kMaxTextLength) {
      messages.push_back(std::string(caption) + "超过 " + std::to_string(kMaxTextLength) +
                         " 个字。");
    }
    // Pages show these texts as they are; line breaks, NUL and the like do
    // not belong in a one-line field.
    if (HasControlCharacter(*text)) {
      messages.push_back(std::string(caption) + "含有控制字符（换行等），请删去。");
    }
  }
  if (!messages.empty()) return messages;

  PlanInput plan;
  plan.start = *start;
  plan.end = *end;
  plan.kind_id = kind->id;
  plan.place_id = place->id;
  plan.detail = NullWhenEmpty(fields.detail);
  plan.content = NullWhenEmpty(fields.content);
  plan.addition = NullWhenEmpty(fields.addition);
  plan.flag = *flag;
  return plan;
}

std::string TimeRange(const StoredPlan& plan, const DateTime& day) {
  if (plan.start && plan.end && plan.start->day() == day.day() && plan.end->day() == day.day()) {
    return ClockText(*plan.start) + "–" + ClockText(*plan.end);
  }
  const auto show = [](const std::optional<DateTime>& time, const std::string& text) {
    return time ? IsoDate(*time) + " " + ClockText(*time) : text;
  };
  return show(plan.start, plan.start_text) + " – " + show(plan.end, plan.end_text);
}

// How a message names a plan: its content (else its place, else its kind)
// in quotes, and when it runs.
std::string PlanLabel(const StoredPlan& plan) {
  std::string what = plan.content.value_or("");
  if (what.empty()) what = plan.place_name;
  if (what.empty()) what = plan.kind_name;
  std::string when;
  if (plan.start && plan.end && plan.start->day() == plan.end->day()) {
    when = ShortDayText(*plan.start) + " " + ClockText(*plan.start) + "–" + ClockText(*plan.end);
  } else if (plan.start && plan.end) {
    when = ShortDayText(*plan.start) + " " + ClockText(*plan.start) + " – " +
           ShortDayText(*plan.end) + " " + ClockText(*plan.end);
  } else {
    when = plan.start_text + " – " + plan.end_text;
  }
  return "“" + what + "”（" + when + "）";
}

// The warning that a plan overlaps others of the same person, naming them.
std::optional<std::string> OverlapWarning(const std::vector<StoredPlan>& others) {
  if (others.empty()) return std::nullopt;
  std::string warning = "这条日程与";
  for (std::size_t i = 0; i < others.size(); ++i) {
    if (i > 0) warning += "、";
    warning += PlanLabel(others[i]);
  }
  return warning + "时间重叠。";
}

// Whether two stored plans overlap in time (those starting together do).
bool Overlap(const StoredPlan& a, const StoredPlan& b) {
  if (!a.start || !a.end || !b.start || !b.end) return false;
  return *a.start == *b.start || (*a.start < *b.end && *b.start < *a.end);
}

void AppendCell(std::string& out, std::string_view text) {
  out += "<td>";
  AppendEscapedHtml(out, text);
  out += "</td>";
}

void AppendMessages(std::string& out, std::string_view css_class,
                    const std::vector<std::string>& messages) {
  if (messages.empty()) return;
  out += "<ul class=\"";
  out += css_class;
  out += "\">\n";
  for (const std::string& message : messages) {
    out += "<li>";
    AppendEscapedHtml(out, message);
    out += "</li>\n";
  }
  out += "</ul>\n";
}

void AppendPlanList(std::string& out, const EditorTarget& target,
                    const std::vector<StoredPlan>& plans) {
  out += "<h2>当日日程</h2>\n";
  if (plans.empty()) {
    out += "<p class=\"empty\">这一天还没有日程。</p>\n";
    return;
  }
  out +=
      "<table class=\"day-plans\">\n<tr><th>时间</th><th>地点类别</th><th>地点</th>"
      "<th>详细地点</th><th>内容</th><th>附加</th><th>类型</th><th></th></tr>\n";
  for (const StoredPlan& plan : plans) {
    std::vector<StoredPlan> overlapping;
    for (const StoredPlan& other : plans) {
      if (other.id != plan.id && Overlap(plan, other)) overlapping.push_back(other);
    }
    out += overlapping.empty() ? "<tr>" : "<tr class=\"overlapping\">";
    AppendCell(out, TimeRange(plan, target.day));
    AppendCell(out, plan.kind_name);
    AppendCell(out, plan.place_name);
    AppendCell(out, plan.detail.value_or(""));
    out += "<td>";
    AppendEscapedHtml(out, plan.content.value_or(""));
    if (const std::optional<std::string> warning = OverlapWarning(overlapping)) {
      out += " <span class=\"overlap\" title=\"";
      AppendEscapedHtml(out, *warning);
      out += "\">时间重叠</span>";
    }
    out += "</td>";
    AppendCell(out, plan.addition.value_or(""));
    AppendCell(out, plan.flag == kSharedPlan ? "共享" : "个人");
    const std::string id = std::to_string(plan.id);
    out += "<td class=\"actions\"><a href=\"";
    AppendEscapedHtml(out, EditorAddress(target, target.day, {{"planID", id}}));
    out += "\">修改</a> <a href=\"";
    AppendEscapedHtml(out, EditorAddress(target, target.day, {{"copy", id}}));
    out += "\">复制</a> <a class=\"delete\" href=\"";
    AppendEscapedHtml(out, EditorAddress(target, target.day, {{"delete", id}}));
    out += "\">删除</a></td></tr>\n";
  }
  out += "</table>\n";
}

void AppendTextField(std::string& out, std::string_view name, std::string_view caption,
                     std::string_view value) {
  AppendLabelledInput(out, caption, "text", name, value,
                      "maxlength=\"" + std::to_string(kMaxTextLength) + "\"");
}

void AppendPlanForm(std::string& out, const EditorTarget& target, const PlanFields& fields,
                    const std::vector<std::string>& messages, const std::vector<PlaceKind>& kinds,
                    const std::vector<Place>& places, const std::string& csrf) {
  out += fields.plan_id.empty() ? "<h2>新增日程</h2>\n" : "<h2>修改日程</h2>\n";
  AppendMessages(out, "error", messages);
  AppendFormStart(out, "post", EditorAddress(target, target.day), "editor");
  out += '\n';
  AppendHiddenField(out, "csrf", csrf);
  AppendHiddenField(out, "action", "save");
  AppendHiddenField(out, "planID", fields.plan_id);
  out += '\n';
  AppendLabelledInput(out, "开始", "datetime-local", "start", fields.start);
  AppendLabelledInput(out, "结束", "datetime-local", "end", fields.end);
  AppendSelectStart(out, "地点类别", "kind");
  if (fields.kind.empty()) AppendOption(out, "", "请选择", true);
  for (const PlaceKind& kind : kinds) {
    const std::string id = std::to_string(kind.id);
    AppendOption(out, id, kind.name, id == fields.kind);
  }
  AppendSelectEnd(out);
  AppendSelectStart(out, "地点", "place");
  AppendOption(out, "", "请选择", fields.place.empty());
  // Places grouped under their kind; places of no known kind come last.
  std::vector<bool> shown(places.size(), false);
  const auto append_group = [&](std::string_view label, auto belongs) {
    bool opened = false;
    for (std::size_t i = 0; i < places.size(); ++i) {
      if (shown[i] || !belongs(places[i])) continue;
      if (!opened) {
        AppendOptionGroupStart(out, label);
        opened = true;
      }
      shown[i] = true;
      const std::string id = std::to_string(places[i].id);
      AppendOption(out, id, places[i].name, id == fields.place);
    }
    if (opened) out += "</optgroup>\n";
  };
  for (const PlaceKind& kind : kinds) {
    append_group(kind.name, [&](const Place& p) { return p.kind_id == kind.id; });
  }
  append_group("其他", [](const Place&) { return true; });
  AppendSelectEnd(out);
  AppendTextField(out, "detail", "详细地点", fields.detail);
  AppendTextField(out, "content", "内容", fields.content);
  AppendTextField(out, "addition", "附加", fields.addition);
  const std::string shared = std::to_string(kSharedPlan);
  const std::string priv = std::to_string(kPrivatePlan);
  out += "<fieldset class=\"flag\"><legend>类型</legend>\n";
  AppendRadioButton(out, "flag", shared, "共享", fields.flag == shared);
  AppendRadioButton(out, "flag", priv, "个人", fields.flag == priv);
  out += "</fieldset>\n";
  AppendSubmitButton(out, "保存");
  out += '\n';
  if (!fields.plan_id.empty()) {
    out += "<a href=\"";
    AppendEscapedHtml(out, EditorAddress(target, target.day));
    out += "\">取消修改</a>\n";
  }
  out += "</form>\n";
}

// What was just done, the warnings, and the undo of a delete.
void AppendNotices(std::string& out, const EditorTarget& target, const EditorView& view,
                   const std::string& csrf) {
  if (view.notices.empty() && view.warnings.empty()) return;
  out += "<div class=\"notice\" role=\"status\">\n";
  for (const std::string& notice : view.notices) {
    out += "<p>";
    AppendEscapedHtml(out, notice);
    out += "</p>\n";
  }
  if (view.undo) {
    AppendFormStart(out, "post", EditorAddress(target, target.day), "undo");
    AppendHiddenField(out, "csrf", csrf);
    AppendHiddenField(out, "action", "restore");
    AppendHiddenField(out, "deletedID", std::to_string(view.undo->deleted_id));
    AppendSubmitButton(out, "撤销删除");
    out += "</form>\n";
  }
  for (const std::string& warning : view.warnings) {
    out += "<p class=\"warning\">";
    AppendEscapedHtml(out, warning);
    out += "</p>\n";
  }
  out += "</div>\n";
}

void AppendDeleteConfirmation(std::string& out, const EditorTarget& target,
                              const StoredPlan& plan, const std::string& csrf) {
  out += "<div class=\"confirm\" role=\"alertdialog\" aria-labelledby=\"confirm-delete\">\n"
         "<p id=\"confirm-delete\">确定删除日程";
  AppendEscapedHtml(out, PlanLabel(plan));
  out += "吗？删除后 " + std::to_string(kKeepDeletedDays) + " 天内可以在“最近删除”中恢复。</p>\n";
  AppendFormStart(out, "post", EditorAddress(target, target.day));
  AppendHiddenField(out, "csrf", csrf);
  AppendHiddenField(out, "action", "delete");
  AppendHiddenField(out, "planID", std::to_string(plan.id));
  AppendSubmitButton(out, "删除");
  out += " <a href=\"";
  AppendEscapedHtml(out, EditorAddress(target, target.day));
  out += "\">取消</a></form>\n</div>\n";
}

void AppendCopyForm(std::string& out, const EditorTarget& target, const StoredPlan& plan,
                    const CopyFields& fields, const std::vector<std::string>& messages,
                    const std::string& csrf) {
  out += "<h2>复制日程</h2>\n<p>把";
  AppendEscapedHtml(out, PlanLabel(plan));
  out += "复制到下列日子（时间不变）：</p>\n";
  AppendMessages(out, "error", messages);
  AppendFormStart(out, "post", EditorAddress(target, target.day), "copy");
  out += '\n';
  AppendHiddenField(out, "csrf", csrf);
  AppendHiddenField(out, "action", "copy");
  AppendHiddenField(out, "planID", fields.plan_id);
  out += '\n';
  AppendLabelledInput(out, "从", "date", "from", fields.from);
  AppendLabelledInput(out, "到", "date", "to", fields.to);
  out += "<fieldset class=\"weekdays\"><legend>每周的</legend>\n";
  for (int weekday = 1; weekday <= 7; ++weekday) {
    const std::string value = std::to_string(weekday);
    out += "<label><input type=\"checkbox\" name=\"weekday\" value=\"";
    out += value;
    out += fields.weekdays.contains(weekday) ? "\" checked> 星期" : "\"> 星期";
    out += kWeekdayNames[weekday % 7];
    out += "</label>\n";
  }
  out += "</fieldset>\n<label><input type=\"checkbox\" name=\"skipDaysOff\" value=\"1\"";
  out += fields.skip_days_off ? " checked" : "";
  out += "> 跳过节假日</label>\n";
  AppendSubmitButton(out, "复制");
  out += "\n<a href=\"";
  AppendEscapedHtml(out, EditorAddress(target, target.day));
  out += "\">取消</a>\n</form>\n";
}

PageReply EditorPage(PageRequest& request, const EditorTarget& target, const EditorView& view) {
  PlanRepository plans(request.db);
  const std::vector<PlaceKind> kinds = plans.PlaceKinds();
  const std::vector<Place> places = plans.Places();
  const std::vector<StoredPlan> day_plans = plans.PlansOfDay(target.person_id, target.day);
  const holidays::HolidayCalendar calendar = HolidaysOf(request, target.day, target.day);
  const std::string& csrf = request.visitor.csrf_token;

  std::string out;
  out.reserve(8192);
  AppendPageStart(out, "日程编辑", &request.visitor);
  out += "<div class=\"page-head\">\n<h1>";
  AppendEscapedHtml(out, request.visitor.person.name + " " + DayHeading(target.day));
  if (const holidays::Holiday* holiday = calendar.Find(target.day)) {
    out += " <span class=\"day-label ";
    out += DayKindClass(holidays::KindOfDay(target.day, holiday));
    out += "\">";
    AppendEscapedHtml(out, HolidayTip(*holiday));
    out += "</span>";
  }
  out += "</h1>\n<p class=\"day-nav\"><a href=\"";
  AppendEscapedHtml(out, EditorAddress(target, target.day.AddDays(-1)));
  out += "\">前一天</a> <a href=\"";
  AppendEscapedHtml(out, ReturnAddress(*request.visitor.session, target.person_id, target.day));
  out += "\">返回</a> <a href=\"";
  AppendEscapedHtml(out, EditorAddress(target, target.day.AddDays(1)));
  out += "\">后一天</a> <a href=\"";
  AppendEscapedHtml(out, kDeletedPlansPath);
  out += "\">最近删除</a></p>\n</div>\n";
  AppendNotices(out, target, view, csrf);
  if (view.confirm) AppendDeleteConfirmation(out, target, *view.confirm, csrf);
  AppendPlanList(out, target, day_plans);
  if (view.copy) {
    AppendCopyForm(out, target, *view.copy, view.copy_fields, view.copy_messages, csrf);
  }
  AppendPlanForm(out, target, view.fields, view.messages, kinds, places, csrf);
  AppendPageEnd(out);
  return PageReply{view.status, std::move(out), {}};
}

// The person's plan of that id, or HttpError 404.
StoredPlan RequirePlan(PlanRepository& plans, const EditorTarget& target, std::int64_t plan_id) {
  std::optional<StoredPlan> plan = plans.FindPlan(target.person_id, plan_id);
  if (!plan) throw HttpError(404, "没有这条日程。");
  return std::move(*plan);
}

// The notices that the query of a page reached after a write asks for.
void ReadNoticeQuery(PageRequest& request, const EditorTarget& target, PlanRepository& plans,
                     EditorView& view) {
  const auto with_overlaps = [&](std::int64_t plan_id, std::string notice) {
    view.notices.push_back(std::move(notice));
    if (const std::optional<StoredPlan> plan = plans.FindPlan(target.person_id, plan_id)) {
      if (auto warning = OverlapWarning(plans.Overlapping(target.person_id, *plan))) {
        view.warnings.push_back(*warning);
      }
    }
  };
  if (const std::optional<std::int64_t> saved = ReadIdField(request.query, "saved")) {
    with_overlaps(*saved, "已保存。");
  }
  if (const std::optional<std::int64_t> restored = ReadIdField(request.query, "restored")) {
    with_overlaps(*restored, "已恢复删除的日程。");
  }
  if (const std::optional<std::int64_t> deleted = ReadIdField(request.query, "deleted")) {
    if (std::optional<DeletedPlan> entry = plans.FindDeleted(target.person_id, *deleted)) {
      view.notices.push_back("已删除日程" + PlanLabel(entry->plan) + "。");
      view.undo = std::move(entry);
    }
  }
  if (const std::optional<std::int64_t> copied = ReadIdField(request.query, "copied")) {
    view.notices.push_back("已复制到 " + std::to_string(*copied) + " 天。");
    const std::optional<std::int64_t> overlapping = ReadIdField(request.query, "overlapping");
    if (overlapping && *overlapping > 0) {
      view.warnings.push_back("其中 " + std::to_string(*overlapping) +
                              " 天的副本与已有日程时间重叠。");
    }
  }
}

// The copies the form asks for, or the messages that say what is wrong.
std::variant<std::vector<PlanInput>, std::vector<std::string>> PlanCopies(
    PageRequest& request, const StoredPlan& plan, const CopyFields& fields) {
  std::vector<std::string> messages;
  if (!plan.start || !plan.end || !plan.kind_id || !plan.place_id || !plan.flag) {
    messages.push_back("这条日程的时间、地点或类型不完整，请先修改再复制。");
    return messages;
  }
  const std::optional<DateTime> from = ReadFormTime(fields.from);
  const std::optional<DateTime> to = ReadFormTime(fields.to);
  if (!from) messages.push_back(UnreadableTime("开始日期", fields.from, "日期"));
  if (!to) messages.push_back(UnreadableTime("结束日期", fields.to, "日期"));
  if (from && to && to->day() < from->day()) messages.push_back("结束日期早于开始日期。");
  if (from && to && to->day() - from->day() + 1 > kMaxCopyDays) {
    messages.push_back("一次最多复制到 " + std::to_string(kMaxCopyDays) + " 天的范围内。");
  }
  if (fields.weekdays.empty()) messages.push_back("请至少选择星期几中的一天。");
  if (!messages.empty()) return messages;

  const std::int64_t length = plan.end->day() - plan.start->day();
  // A copy of a plan over several days must end within the shown dates too.
  const std::int64_t last_day = DateTime::FromCivil(9999, 12, 31).day();
  if (to->day() + length > last_day) {
    messages.push_back("复制到的日程会结束在 9999年12月31日 之后。" + std::string(kShownRange));
    return messages;
  }
  const holidays::HolidayCalendar calendar = HolidaysOf(request, *from, *to);
  std::vector<PlanInput> copies;
  for (std::int64_t d = from->day(); d <= to->day(); ++d) {
    const DateTime day = DateTime::FromSerial(d);
    const int weekday = (day.weekday() + 5) % 7 + 1;  // Monday 1 .. Sunday 7
    if (!fields.weekdays.contains(weekday) || d == plan.start->day()) continue;
    if (fields.skip_days_off && calendar.KindOf(day) == holidays::DayKind::kDayOff) continue;
    PlanInput copy;
    copy.start = DateTime::FromSerial(d, plan.start->seconds());
    copy.end = DateTime::FromSerial(d + length, plan.end->seconds());
    copy.kind_id = *plan.kind_id;
    copy.place_id = *plan.place_id;
    copy.detail = plan.detail;
    copy.content = plan.content;
    copy.addition = plan.addition;
    copy.flag = *plan.flag;
    copies.push_back(std::move(copy));
  }
  if (copies.empty()) messages.push_back("这段日期中没有要复制到的日子。");
  if (!messages.empty()) return messages;
  return copies;
}

// How many of the copies overlap a plan the person had before.
std::int64_t OverlappingCopies(PlanRepository& plans, std::int64_t person_id,
                               const std::vector<PlanInput>& copies) {
  if (copies.empty()) return 0;
  const std::vector<StoredPlan> existing =
      plans.PlansBetween(person_id, copies.front().start, copies.back().end);
  std::int64_t count = 0;
  for (const PlanInput& copy : copies) {
    StoredPlan probe;
    probe.start = copy.start;
    probe.end = copy.end;
    for (const StoredPlan& plan : existing) {
      if (Overlap(probe, plan)) {
        ++count;
        break;
      }
    }
  }
  return count;
}

std::string FullDayMessage(const DateTime& day, std::size_t limit) {
  return DayText(day) + "已有 " + std::to_string(limit) + " 条日程，不能再添加。";
}

PageReply Save(PageRequest& request, const EditorTarget& target, PlanRepository& plans,
               std::optional<std::int64_t> plan_id) {
  EditorView view;
  view.fields = FieldsOfForm(request.form);
  auto checked =
      CheckFields(view.fields, plans.PlaceKinds(), plans.Places(), request.options.max_plan_days);
  if (auto* messages = std::get_if<std::vector<std::string>>(&checked)) {
    view.messages = std::move(*messages);
    view.status = 400;
    return EditorPage(request, target, view);
  }
  const PlanInput& plan = std::get<PlanInput>(checked);
  const std::size_t limit = request.options.max_plans_per_day;
  const PlanWrite write = plan_id ? plans.Update(target.person_id, *plan_id, plan, limit)
                                  : plans.Add(target.person_id, plan, limit);
  if (write.full_day) {
    view.messages = {FullDayMessage(*write.full_day, limit)};
    view.status = 400;
    return EditorPage(request, target, view);
  }
  if (write.plan_id == 0) throw HttpError(404, "没有这条日程。");
  // Back to the plan's first day, which lists it with the notice.
  const EditorTarget shown{target.person_id, plan.start.DateOnly()};
  return PageReply{
      303, {}, EditorAddress(shown, shown.day, {{"saved", std::to_string(write.plan_id)}})};
}

PageReply Copy(PageRequest& request, const EditorTarget& target, PlanRepository& plans,
               std::optional<std::int64_t> plan_id) {
  if (!plan_id) throw HttpError(400, "复制时缺少日程编号。");
  EditorView view;
  view.copy = RequirePlan(plans, target, *plan_id);
  view.copy_fields = CopyFieldsOfForm(request.form);
  view.fields = DefaultFields(target.day, plans.PlaceKinds());
  auto copies = PlanCopies(request, *view.copy, view.copy_fields);
  if (auto* messages = std::get_if<std::vector<std::string>>(&copies)) {
    view.copy_messages = std::move(*messages);
    view.status = 400;
    return EditorPage(request, target, view);
  }
  const std::vector<PlanInput>& planned = std::get<std::vector<PlanInput>>(copies);
  const std::int64_t overlapping = OverlappingCopies(plans, target.person_id, planned);
  const std::size_t limit = request.options.max_plans_per_day;
  const PlanWrite write = plans.AddAll(target.person_id, planned, limit);
  if (write.full_day) {
    view.copy_messages = {FullDayMessage(*write.full_day, limit) + "没有复制任何一天。"};
    view.status = 400;
    return EditorPage(request, target, view);
  }
  return PageReply{303,
                   {},
                   EditorAddress(target, target.day,
                                 {{"copied", std::to_string(planned.size())},
                                  {"overlapping", std::to_string(overlapping)}})};
}

PageReply Restore(PageRequest& request, const EditorTarget& target, PlanRepository& plans) {
  const std::optional<std::int64_t> deleted_id = ReadIdField(request.form, "deletedID");
  if (!deleted_id) throw HttpError(400, "恢复时缺少删除记录的编号。");
  const std::optional<DeletedPlan> entry = plans.FindDeleted(target.person_id, *deleted_id);
  if (!entry) throw HttpError(404, "这条删除的日程已经不在了（已恢复，或超过 " +
                                       std::to_string(kKeepDeletedDays) + " 天）。");
  const std::size_t limit = request.options.max_plans_per_day;
  const PlanWrite write = plans.Restore(target.person_id, *deleted_id, limit);
  if (write.full_day) {
    EditorView view;
    view.fields = DefaultFields(target.day, plans.PlaceKinds());
    view.messages = {FullDayMessage(*write.full_day, limit) + "无法恢复" +
                     PlanLabel(entry->plan) + "。"};
    view.status = 400;
    return EditorPage(request, target, view);
  }
  if (write.plan_id == 0) throw HttpError(404, "这条删除的日程已经不在了。");
  const EditorTarget shown{target.person_id,
                           entry->plan.start ? entry->plan.start->DateOnly() : target.day};
  return PageReply{
      303, {}, EditorAddress(shown, shown.day, {{"restored", std::to_string(write.plan_id)}})};
}

}  // namespace

std::string ReturnAddress(const host::Session& session, std::int64_t person_id,
                          const DateTime& day) {
  const Value held = session.Get("strURL");
  std::string page = held.is_text() ? held.text() : std::string();
  if (FindViewPage(page) == nullptr) page = std::string(ViewPages().front().path);
  return http::LinkWithQuery(page, {{"personID", std::to_string(person_id)}, {"dt", IsoDate(day)}});
}

PageReply ShowEditor(PageRequest& request) {
  const EditorTarget target = ReadTarget(request);
  PlanRepository plans(request.db);
  EditorView view;
  ReadNoticeQuery(request, target, plans, view);
  if (const std::optional<std::int64_t> plan_id = ReadIdField(request.query, "planID")) {
    view.fields = FieldsOfPlan(RequirePlan(plans, target, *plan_id));
  } else {
    view.fields = DefaultFields(target.day, plans.PlaceKinds());
  }
  if (const std::optional<std::int64_t> doomed = ReadIdField(request.query, "delete")) {
    view.confirm = RequirePlan(plans, target, *doomed);
  }
  if (const std::optional<std::int64_t> copied = ReadIdField(request.query, "copy")) {
    view.copy = RequirePlan(plans, target, *copied);
    view.copy_fields = DefaultCopyFields(*view.copy, target.day);
  }
  return EditorPage(request, target, view);
}

PageReply SubmitEditor(PageRequest& request) {
  const EditorTarget target = ReadTarget(request);
  const std::string action = FieldOrEmpty(request.form, "action");
  PlanRepository plans(request.db);
  const std::optional<std::int64_t> plan_id = ReadIdField(request.form, "planID");

  if (action == "delete") {
    if (!plan_id) throw HttpError(400, "删除时缺少日程编号。");
    const std::optional<std::int64_t> deleted =
        plans.Remove(target.person_id, *plan_id, LocalNow());
    if (!deleted) throw HttpError(404, "没有这条日程。");
    return PageReply{
        303, {}, EditorAddress(target, target.day, {{"deleted", std::to_string(*deleted)}})};
  }
  if (action == "save") return Save(request, target, plans, plan_id);
  if (action == "copy") return Copy(request, target, plans, plan_id);
  if (action == "restore") return Restore(request, target, plans);
  throw HttpError(400, "未知的操作“" + action + "”。");
}

}  // namespace ostrand::web
