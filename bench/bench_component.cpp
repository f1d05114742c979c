// Benchmarks of the component on a generated SQLite database: the month and
// week views of one person, the leader summaries of a system, and the pieces
// every fragment is made of (value text, SQL translation).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench_database.h"
#include "component/schedulers.h"
#include "core/value.h"
#include "host/memory_context.h"
#include "store/dialect.h"

namespace ostrand {
namespace {

using bench::BenchDatabase;

// One started page with the bench database open, viewer = person 1.
struct Page {
  Page() : session(std::make_shared<host::MemorySession>()) {
    session->Set("personID", Value::Int32(1));
    session->Set("systemID", Value::Int32(1));
    session->Set("rnd", Value::Int32(7));
    auto context = std::make_shared<host::MemoryContext>(
        std::make_shared<host::MemoryResponse>(),
        std::make_shared<host::MemoryRequest>("/schedule/personMonth.asp"), session);
    object.OnStartPage(Value::Object(context));
    object.Init(Value::Text("sqlite:" + BenchDatabase()));
  }
  std::shared_ptr<host::MemorySession> session;
  Schedulers object{std::make_shared<host::PinnedClock>(45296.78f)};
};

const Value kDate = Value::Date(DateTime::FromCivil(2001, 12, 12));

void BM_DispMonth(benchmark::State& state) {
  Page page;
  for (auto _ : state) benchmark::DoNotOptimize(page.object.DispMonth(kDate, Value::Int32(2)));
}
BENCHMARK(BM_DispMonth);

// Person 1 has a plan of a hundred years: it must cost no more than any other.
void BM_DispMonthWithCenturyPlan(benchmark::State& state) {
  Page page;
  for (auto _ : state) benchmark::DoNotOptimize(page.object.DispMonth(kDate, Value::Int32(1)));
}
BENCHMARK(BM_DispMonthWithCenturyPlan);

void BM_DispWeek(benchmark::State& state) {
  Page page;
  for (auto _ : state) benchmark::DoNotOptimize(page.object.DispWeek(kDate, Value::Int32(2)));
}
BENCHMARK(BM_DispWeek);

void BM_DispLeaderMonth(benchmark::State& state) {
  Page page;
  const Value cond = Value::Text("1=1");
  for (auto _ : state) benchmark::DoNotOptimize(page.object.DispLeaderMonth(kDate, cond));
}
BENCHMARK(BM_DispLeaderMonth)->Unit(benchmark::kMillisecond);

void BM_DispLeaderWeek(benchmark::State& state) {
  Page page;
  const Value cond = Value::Text("1=1");
  for (auto _ : state) benchmark::DoNotOptimize(page.object.DispLeaderWeek(kDate, cond));
}
BENCHMARK(BM_DispLeaderWeek)->Unit(benchmark::kMillisecond);

void BM_FullPersonMonthPage(benchmark::State& state) {
  for (auto _ : state) {
    Page page;
    page.object.SetDispStyle(Value::Int32(1));
    benchmark::DoNotOptimize(page.object.DispSwitch(kDate, Value::Int32(1), Value::Text("m")));
    benchmark::DoNotOptimize(page.object.DispMonthSelect(kDate, Value::Int32(1)));
    benchmark::DoNotOptimize(page.object.DispMonth(kDate, Value::Int32(1)));
    benchmark::DoNotOptimize(page.object.DispScript(Value::Int32(1)));
    page.object.OnEndPage();
  }
}
BENCHMARK(BM_FullPersonMonthPage);

void BM_ValueText(benchmark::State& state) {
  const Value values[] = {Value::Double(12.5), Value::Single(45296.78f), kDate,
                          Value::Date(DateTime::FromCivil(2001, 12, 12, 14, 30))};
  for (auto _ : state) {
    for (const Value& v : values) benchmark::DoNotOptimize(v.ToText());
  }
}
BENCHMARK(BM_ValueText);

void BM_TranslatePlanQuery(benchmark::State& state) {
  const std::string sql =
      "select planID,planStartTime,planEndTime,Type1ID=personPlan.planAddrTypeID,"
      "Type1=planAddrType.planAddrTypeName,Type2=planAddr.planAddrName,planAddrDetail,planTypeID,"
      "planContent,planAddition,planFlagID from personPlan,planAddrType,planAddr where "
      "personPlan.planAddrTypeID=planAddrType.planAddrTypeID and "
      "personPlan.planAddrID=planAddr.planAddrID and personID=12 and DATEDIFF(dd, planStartTime, "
      "'2001-12-31') >= 0 AND DATEDIFF(dd, '2001-12-1', planEndTime)>= 0   "
      "  order by planStartTime";
  for (auto _ : state) {
    benchmark::DoNotOptimize(store::TranslateTsql(sql, store::Engine::kSqlite));
  }
}
BENCHMARK(BM_TranslatePlanQuery);

}  // namespace
}  // namespace ostrand

BENCHMARK_MAIN();
