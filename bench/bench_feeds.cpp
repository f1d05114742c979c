// Benchmarks of the calendar feeds and spreadsheet exports on the bench
// database, each beside the page it stands for, so that the figures read as
// ratios measured in the same run: a leader month as HTML, CSV and XLSX; a
// person's feed written, its entity tag alone (what a polling client's 304
// costs besides the query), and read back.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_database.h"
#include "exports/csv_export.h"
#include "exports/grid.h"
#include "exports/xlsx_export.h"
#include "feeds/feed_source.h"
#include "feeds/ical_feed.h"
#include "feeds/ical_reader.h"
#include "store/plan_store.h"
#include "views/leader_month.h"

namespace ostrand {
namespace {

using bench::BenchDatabase;

const Value kDate = Value::Date(DateTime::FromCivil(2001, 12, 12));
const Value kAll = Value::Text("1=1");
const Value kSystem = Value::Int32(1);

struct Db {
  Db() { store.Open("sqlite:" + BenchDatabase()); }
  store::PlanStore store;
};

void BM_LeaderMonthHtml(benchmark::State& state) {
  Db db;
  for (auto _ : state) {
    benchmark::DoNotOptimize(views::DispLeaderMonthContent(db.store, kDate, kAll, kSystem));
  }
}
BENCHMARK(BM_LeaderMonthHtml)->Unit(benchmark::kMillisecond);

void BM_LeaderMonthCsv(benchmark::State& state) {
  Db db;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        exports::WriteGridCsv(exports::LeaderMonthGrid(db.store, kDate, kAll, kSystem)));
  }
}
BENCHMARK(BM_LeaderMonthCsv)->Unit(benchmark::kMillisecond);

void BM_LeaderMonthXlsx(benchmark::State& state) {
  Db db;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        exports::WriteGridXlsx(exports::LeaderMonthGrid(db.store, kDate, kAll, kSystem)));
  }
}
BENCHMARK(BM_LeaderMonthXlsx)->Unit(benchmark::kMillisecond);

// Person 2's own feed over the default range around the bench month: about
// 330 plans.
feeds::FeedRequest OwnRequest(store::QuerySource& db) {
  feeds::FeedRequest request;
  request.range = feeds::DefaultRange(DateTime::FromCivil(2001, 12, 12));
  request.persons = {*feeds::LoadPerson(db, 2, feeds::FeedView::kOwn, request.range)};
  return request;
}

const feeds::TimeZone& Zone() {
  static const feeds::TimeZone zone = feeds::TimeZone::Named("Asia/Shanghai");
  return zone;
}

void BM_FeedLoad(benchmark::State& state) {
  Db db;
  for (auto _ : state) benchmark::DoNotOptimize(OwnRequest(db.store));
}
BENCHMARK(BM_FeedLoad)->Unit(benchmark::kMillisecond);

void BM_FeedWrite(benchmark::State& state) {
  Db db;
  const feeds::FeedRequest request = OwnRequest(db.store);
  for (auto _ : state) benchmark::DoNotOptimize(feeds::WriteCalendar(request, Zone()));
}
BENCHMARK(BM_FeedWrite)->Unit(benchmark::kMillisecond);

void BM_FeedETag(benchmark::State& state) {
  Db db;
  const feeds::FeedRequest request = OwnRequest(db.store);
  for (auto _ : state) benchmark::DoNotOptimize(feeds::CalendarETag(request, Zone()));
}
BENCHMARK(BM_FeedETag)->Unit(benchmark::kMillisecond);

void BM_FeedRead(benchmark::State& state) {
  Db db;
  const std::string feed = feeds::WriteCalendar(OwnRequest(db.store), Zone());
  for (auto _ : state) benchmark::DoNotOptimize(feeds::ReadCalendar(feed, Zone()));
}
BENCHMARK(BM_FeedRead)->Unit(benchmark::kMillisecond);

// A calendar file of one event whose DESCRIPTION is one line of N MiB, as
// import-plans reads it: the time should grow with N, not N squared.
void BM_LongLineRead(benchmark::State& state) {
  const std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:long\r\n"
                           "DTSTART:20011205T090000\r\nDTEND:20011205T100000\r\n"
                           "SUMMARY:long\r\nDESCRIPTION:" +
                           std::string(static_cast<std::size_t>(state.range(0)) << 20, 'x') +
                           "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
  for (auto _ : state) benchmark::DoNotOptimize(feeds::ReadCalendar(text, Zone()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_LongLineRead)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ostrand

BENCHMARK_MAIN();
