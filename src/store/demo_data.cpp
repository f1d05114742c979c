#include "store/demo_data.h"

#include <algorithm>
#include <array>
#include <set>
#include <span>
#include <string_view>

#include "core/error.h"

namespace ostrand::store {
namespace {

// splitmix64: small, fast and fully specified, so a seed gives the same
// sequence everywhere (the standard distributions do not promise that).
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}

  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  // A whole number in [0, n); n > 0. The bias of the modulo is far below
  // anything a demo could show.
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
  int Between(int low, int high) { return low + Below(high - low + 1); }
  bool Percent(int percent) { return Below(100) < percent; }
  template <typename T>
  const T& Pick(std::span<const T> items) {
    return items[static_cast<std::size_t>(Below(static_cast<int>(items.size())))];
  }

 private:
  std::uint64_t state_;
};

constexpr std::array<std::string_view, 40> kFamilyNames = {
    "王", "李", "张", "刘", "陈", "杨", "赵", "黄", "周", "吴", "徐", "孙", "胡", "朱",
    "高", "林", "何", "郭", "马", "罗", "梁", "宋", "郑", "谢", "韩", "唐", "冯", "于",
    "董", "肖", "程", "曹", "袁", "邓", "许", "傅", "沈", "曾", "彭", "吕"};

constexpr std::array<std::string_view, 60> kGivenNameChars = {
    "伟", "芳", "娜", "敏", "静", "丽", "强", "磊", "军", "洋", "勇", "艳", "杰", "娟", "涛",
    "明", "超", "秀", "霞", "平", "刚", "英", "华", "建", "国", "志", "文", "红", "玉", "兰",
    "海", "林", "宇", "浩", "然", "思", "佳", "欣", "怡", "晨", "博", "鹏", "辉", "晓", "婷",
    "雪", "慧", "颖", "峰", "斌", "宁", "凯", "琳", "丹", "振", "立", "新", "春", "庆", "昊"};

constexpr std::array<std::string_view, 8> kDutyNames = {"局长",   "副局长", "处长",   "副处长",
                                                        "调研员", "科长",   "副科长", "科员"};

// The duties of each system's persons, most senior first. System 1 is the
// bureau's own office with the 局长; systems 2 and 3 are led by a 处长.
constexpr std::array<int, 14> kSystem1Duties = {1, 2, 2, 3, 4, 6, 6, 7, 7, 8, 8, 8, 8, 8};
constexpr std::array<int, 13> kDivisionDuties = {3, 4, 4, 5, 6, 6, 7, 7, 8, 8, 8, 8, 8};

constexpr std::array<std::string_view, 4> kPlaceKindNames = {"本单位", "北京", "京外", "国外"};
constexpr int kOffice = 1, kBeijing = 2, kOutside = 3, kAbroad = 4;

struct PlaceSpec {
  std::string_view name;
  int kind;
  // planAddrDetail shown after the place name; "" leaves it empty.
  std::array<std::string_view, 3> details;
};

constexpr std::array<PlaceSpec, 14> kPlaces = {{
    {"办公楼三层会议室", kOffice, {"", "301室", "302室"}},
    {"办公楼五层会议室", kOffice, {"", "大会议室", "小会议室"}},
    {"本单位报告厅", kOffice, {"", "", "一层"}},
    {"国家发改委", kBeijing, {"", "二号楼", "会议中心"}},
    {"财政部", kBeijing, {"", "", "第三会议室"}},
    {"国务院新闻办", kBeijing, {"", "", "新闻发布厅"}},
    {"人民大会堂", kBeijing, {"", "", "北京厅"}},
    {"上海", kOutside, {"浦东新区", "徐汇区", "松江区"}},
    {"广州", kOutside, {"天河区", "黄埔区", "南沙区"}},
    {"成都", kOutside, {"高新区", "双流区", "青羊区"}},
    {"西安", kOutside, {"雁塔区", "高新区", "未央区"}},
    {"东京", kAbroad, {"", "", "千代田区"}},
    {"巴黎", kAbroad, {"", "", "第七区"}},
    {"日内瓦", kAbroad, {"", "", "万国宫"}},
}};

// planTypeID: 1 会议, 2 调研, 3 培训, 4 接待, 5 出访, 6 其他. The views select
// it but never show it; it is filled so that the rows look like real ones.
struct Activity {
  std::string_view content;
  int type;
  int min_days;
  int max_days;
};

constexpr std::array<Activity, 10> kOfficeActivities = {{
    {"局务会", 1, 1, 1},
    {"处务会", 1, 1, 1},
    {"工作例会", 1, 1, 1},
    {"业务培训", 3, 1, 1},
    {"接待来访客人", 4, 1, 1},
    {"党组中心组学习", 3, 1, 1},
    {"专题研讨会", 1, 1, 1},
    {"听取工作汇报", 1, 1, 1},
    {"起草年度报告", 6, 1, 1},
    {"接待检查组", 4, 1, 1},
}};
constexpr std::array<Activity, 7> kBeijingActivities = {{
    {"参加部际联席会议", 1, 1, 1},
    {"汇报年度工作", 1, 1, 1},
    {"参加专题座谈会", 1, 1, 1},
    {"参加业务培训", 3, 1, 2},
    {"协调项目审批", 6, 1, 1},
    {"参加政策研讨会", 1, 1, 2},
    {"陪同调研", 2, 1, 1},
}};
constexpr std::array<Activity, 6> kOutsideActivities = {{
    {"调研地方工作", 2, 2, 5},
    {"检查指导工作", 2, 2, 4},
    {"参加全国工作会议", 1, 2, 3},
    {"考察重点项目", 2, 3, 5},
    {"参加培训班", 3, 3, 5},
    {"督查调研", 2, 2, 4},
}};
constexpr std::array<Activity, 4> kAbroadActivities = {{
    {"出访考察", 5, 5, 9},
    {"参加国际会议", 5, 4, 7},
    {"学术交流", 5, 5, 8},
    {"双边会谈", 5, 4, 6},
}};

std::span<const Activity> ActivitiesOf(int kind) {
  switch (kind) {
    case kOffice:
      return kOfficeActivities;
    case kBeijing:
      return kBeijingActivities;
    case kOutside:
      return kOutsideActivities;
    default:
      return kAbroadActivities;
  }
}

// Most additions are empty; the others are the remarks an office writes.
constexpr std::array<std::string_view, 9> kAdditions = {"",
                                                        "",
                                                        "",
                                                        "",
                                                        "（已报批）",
                                                        "（需派车）",
                                                        "（携带汇报材料）",
                                                        "（请办公室协调）",
                                                        "（材料另送）"};

struct TimeOfDay {
  int hour;
  int minute;
};
struct DaySlot {
  TimeOfDay start;
  TimeOfDay end;
  std::uint8_t halves;  // bit 1: morning, bit 2: afternoon
};
constexpr std::uint8_t kMorning = 1, kAfternoon = 2, kWholeDay = kMorning | kAfternoon;
constexpr std::array<DaySlot, 5> kDaySlots = {{
    {{9, 0}, {11, 30}, kMorning},
    {{8, 30}, {12, 0}, kMorning},
    {{14, 0}, {17, 30}, kAfternoon},
    {{14, 30}, {17, 0}, kAfternoon},
    {{9, 0}, {17, 30}, kWholeDay},
}};
constexpr std::array<TimeOfDay, 3> kTripStarts = {{{8, 0}, {9, 0}, {13, 30}}};
constexpr std::array<TimeOfDay, 3> kTripEnds = {{{17, 30}, {18, 0}, {20, 0}}};

// Builds the plans of one person, keeping them from overlapping: each day
// has a morning and an afternoon, and a trip takes its days whole.
class PersonPlanner {
 public:
  PersonPlanner(const DemoPerson& person, std::int64_t first_day, std::size_t day_count,
                Random& random)
      : person_(person), first_day_(first_day), busy_(day_count, 0), random_(random) {}

  // Adds a plan of `activity` at a place of `kind` from `start` to `end`
  // when its days are free; returns whether it did.
  bool TryAdd(int kind, const Activity& activity, const DateTime& start, const DateTime& end,
              std::uint8_t halves, std::int64_t flag) {
    const std::int64_t last = end.day();
    for (std::int64_t day = start.day(); day <= last; ++day) {
      if (Busy(day) & halves) return false;
    }
    for (std::int64_t day = start.day(); day <= last; ++day) Busy(day) |= halves;
    const PlaceSpec& place = PickPlace(kind);
    plans_.push_back(DemoPlan{
        .id = 0,
        .person_id = person_.id,
        .start = start,
        .end = end,
        .kind_id = kind,
        .place_id = PlaceId(place),
        .detail = std::string(place.details[static_cast<std::size_t>(random_.Below(3))]),
        .type_id = activity.type,
        .content = std::string(activity.content),
        .addition = std::string(random_.Pick(std::span<const std::string_view>(kAdditions))),
        .flag_id = flag,
    });
    return true;
  }

  // Starts a month of TryAddRandom.
  void StartMonth() { month_contents_.clear(); }

  // Tries to add one plan that starts in the given month, of a kind, length,
  // day and time drawn at random; returns whether it fitted. A content is
  // not repeated within one month.
  bool TryAddRandom(int year, int month) {
    int kind = PickKind();
    // Clerks do not travel abroad.
    if (kind == kAbroad && person_.duty_id == 8) kind = kOutside;
    const Activity& activity = random_.Pick(ActivitiesOf(kind));
    if (month_contents_.contains(activity.content)) return false;
    const int days = random_.Between(activity.min_days, activity.max_days);
    const int day_of_month = random_.Between(1, DaysInMonth(year, month));
    // Work starts on a working day; a trip may run over a weekend.
    const int weekday = DateTime::FromCivil(year, month, day_of_month).weekday();
    if (weekday == 1 || weekday == 7) return false;
    const std::int64_t flag = random_.Percent(25) ? kPrivatePlanFlag : kSharedPlanFlag;
    bool added = false;
    if (days == 1) {
      const DaySlot& slot = random_.Pick(std::span<const DaySlot>(kDaySlots));
      added =
          TryAdd(kind, activity,
                 DateTime::FromCivil(year, month, day_of_month, slot.start.hour, slot.start.minute),
                 DateTime::FromCivil(year, month, day_of_month, slot.end.hour, slot.end.minute),
                 slot.halves, flag);
    } else {
      const TimeOfDay from = random_.Pick(std::span<const TimeOfDay>(kTripStarts));
      const TimeOfDay to = random_.Pick(std::span<const TimeOfDay>(kTripEnds));
      const DateTime start = DateTime::FromCivil(year, month, day_of_month, from.hour, from.minute);
      const DateTime last_day = start.AddDays(days - 1);
      added = TryAdd(kind, activity, start,
                     DateTime::FromCivil(last_day.year(), last_day.month(), last_day.day_of_month(),
                                         to.hour, to.minute),
                     kWholeDay, flag);
    }
    if (added) month_contents_.insert(activity.content);
    return added;
  }

  std::vector<DemoPlan>& plans() { return plans_; }

 private:
  std::uint8_t& Busy(std::int64_t day) {
    // Plans start within the two years and last at most ten days, which the
    // table's margin covers.
    return busy_.at(static_cast<std::size_t>(day - first_day_));
  }

  int PickKind() {
    const int roll = random_.Below(100);
    if (roll < 44) return kOffice;
    if (roll < 72) return kBeijing;
    if (roll < 95) return kOutside;
    return kAbroad;
  }

  const PlaceSpec& PickPlace(int kind) {
    std::array<const PlaceSpec*, kPlaces.size()> of_kind{};
    std::size_t count = 0;
    for (const PlaceSpec& place : kPlaces) {
      if (place.kind == kind) of_kind[count++] = &place;
    }
    return *of_kind[static_cast<std::size_t>(random_.Below(static_cast<int>(count)))];
  }

  static std::int64_t PlaceId(const PlaceSpec& place) { return &place - kPlaces.data() + 1; }

  const DemoPerson& person_;
  std::int64_t first_day_;
  std::vector<std::uint8_t> busy_;
  Random& random_;
  std::vector<DemoPlan> plans_;
  std::set<std::string_view> month_contents_;
};

std::string MakeName(Random& random, std::set<std::string>& taken) {
  for (;;) {
    std::string name(random.Pick(std::span<const std::string_view>(kFamilyNames)));
    const int given = random.Percent(25) ? 1 : 2;
    for (int i = 0; i < given; ++i) {
      name += random.Pick(std::span<const std::string_view>(kGivenNameChars));
    }
    // Names are unique, so that a person can be found by name.
    if (taken.insert(name).second) return name;
  }
}

std::vector<DemoPerson> MakePersons(Random& random) {
  std::vector<DemoPerson> persons;
  std::set<std::string> taken;
  auto add_system = [&](std::int64_t system_id, std::span<const int> duties) {
    for (const int duty : duties) {
      const auto id = static_cast<std::int64_t>(persons.size()) + 1;
      persons.push_back(DemoPerson{id, MakeName(random, taken), duty, system_id});
    }
  };
  add_system(1, kSystem1Duties);
  add_system(2, kDivisionDuties);
  add_system(3, kDivisionDuties);
  return persons;
}

const Activity& FindActivity(int kind, std::string_view content) {
  for (const Activity& activity : ActivitiesOf(kind)) {
    if (activity.content == content) return activity;
  }
  throw Error("no demo activity '" + std::string(content) + "'");
}

// Plans every demo shows whatever the seed: the first person of each system
// travels over the year end (the third one privately), and person 2 over the
// end of June.
void AddFixedPlans(std::vector<PersonPlanner>& planners, int year) {
  struct Fixed {
    std::size_t planner;
    int kind;
    std::string_view content;
    CivilDate from;
    CivilDate to;
    std::int64_t flag;
  };
  const std::array<Fixed, 4> fixed = {{
      {0, kAbroad, "出访考察", {year, 12, 28}, {year + 1, 1, 3}, kSharedPlanFlag},
      {1, kOutside, "考察重点项目", {year, 6, 29}, {year, 7, 2}, kSharedPlanFlag},
      {kSystem1Duties.size(),
       kOutside,
       "检查指导工作",
       {year, 12, 30},
       {year + 1, 1, 2},
       kSharedPlanFlag},
      {kSystem1Duties.size() + kDivisionDuties.size(),
       kOutside,
       "调研地方工作",
       {year, 12, 29},
       {year + 1, 1, 1},
       kPrivatePlanFlag},
  }};
  for (const Fixed& f : fixed) {
    planners[f.planner].TryAdd(f.kind, FindActivity(f.kind, f.content),
                               DateTime::FromCivil(f.from.year, f.from.month, f.from.day, 9, 0),
                               DateTime::FromCivil(f.to.year, f.to.month, f.to.day, 18, 0),
                               kWholeDay, f.flag);
  }
}

// Makes sure a month of the demo account holds plans of both flags, so that
// each of its month views shows what a private plan looks like.
void MixFlags(std::span<DemoPlan> month_plans) {
  if (month_plans.size() < 2) return;
  const auto shared = std::count_if(month_plans.begin(), month_plans.end(),
                                    [](const DemoPlan& p) { return p.flag_id == kSharedPlanFlag; });
  if (shared == 0) month_plans.front().flag_id = kSharedPlanFlag;
  if (shared == static_cast<std::ptrdiff_t>(month_plans.size())) {
    month_plans.back().flag_id = kPrivatePlanFlag;
  }
}

}  // namespace

DemoData GenerateDemoData(std::uint64_t seed, const DateTime& today) {
  Random random(seed);
  DemoData data;
  for (std::size_t i = 0; i < kDutyNames.size(); ++i) {
    data.duties.push_back(DemoDuty{static_cast<std::int64_t>(i) + 1, std::string(kDutyNames[i])});
  }
  for (std::size_t i = 0; i < kPlaceKindNames.size(); ++i) {
    data.place_kinds.push_back(
        DemoPlaceKind{static_cast<std::int64_t>(i) + 1, std::string(kPlaceKindNames[i])});
  }
  for (std::size_t i = 0; i < kPlaces.size(); ++i) {
    data.places.push_back(
        DemoPlace{static_cast<std::int64_t>(i) + 1, std::string(kPlaces[i].name), kPlaces[i].kind});
  }
  data.departments = {{1, "局办公室"}, {2, "第一处"}, {3, "第二处"}};
  data.persons = MakePersons(random);
  data.demo_account = 1;

  const int year = today.year();
  if (year + 2 > 9999) throw Error("no demo plans after the year " + std::to_string(year));
  const std::int64_t first_day = DateTime::FromCivil(year, 1, 1).day();
  // Two years of days and room for a trip that starts on the last one.
  const auto day_count =
      static_cast<std::size_t>(DateTime::FromCivil(year + 2, 1, 1).day() - first_day + 16);
  std::vector<PersonPlanner> planners;
  planners.reserve(data.persons.size());
  for (const DemoPerson& person : data.persons) {
    planners.emplace_back(person, first_day, day_count, random);
  }
  AddFixedPlans(planners, year);

  for (std::size_t p = 0; p < planners.size(); ++p) {
    PersonPlanner& planner = planners[p];
    const bool demo_account = data.persons[p].id == data.demo_account;
    for (int y = year; y <= year + 1; ++y) {
      for (int month = 1; month <= 12; ++month) {
        const int wanted = random.Between(3, 5);
        const std::size_t before = planner.plans().size();
        planner.StartMonth();
        for (int added = 0, attempt = 0; added < wanted && attempt < 30; ++attempt) {
          if (planner.TryAddRandom(y, month)) ++added;
        }
        if (demo_account) MixFlags(std::span<DemoPlan>(planner.plans()).subspan(before));
      }
    }
    std::vector<DemoPlan>& plans = planner.plans();
    std::stable_sort(plans.begin(), plans.end(),
                     [](const DemoPlan& a, const DemoPlan& b) { return a.start < b.start; });
    for (DemoPlan& plan : plans) {
      plan.id = static_cast<std::int64_t>(data.plans.size()) + 1;
      data.plans.push_back(std::move(plan));
    }
  }
  return data;
}

std::vector<std::int64_t> DemoPersonIds(const DemoData& data) {
  std::vector<std::int64_t> ids;
  ids.reserve(data.persons.size());
  for (const DemoPerson& person : data.persons) ids.push_back(person.id);
  return ids;
}

const DemoPerson& DemoAccount(const DemoData& data) {
  for (const DemoPerson& person : data.persons) {
    if (person.id == data.demo_account) return person;
  }
  throw Error("the demo data has no person " + std::to_string(data.demo_account));
}

}  // namespace ostrand::store
