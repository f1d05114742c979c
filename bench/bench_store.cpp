// The store benchmark: the leader month of 1,000 persons (ten plans a month
// each) rendered by `ostrand call DispLeaderMonth`, against the floor
// (store_floor: a plain program on the engine's C API with the same queries
// and the plain date conditions, prepared once and bound, every row read,
// no rendering). Both run as whole processes, alternately,
// in one run on the same data, and the ratio of their median times is
// printed. Target: within 1.3x of the floor on each engine.
//
//   bench_store [--postgres URI] [--rounds N]
//   bench_store --write-sqlite PATH
//
// SQLite always runs (a database written in a temporary folder); PostgreSQL
// runs when --postgres names a database, whose schedule tables are filled
// (their rows replaced). Exit status 1 when a target is missed. With
// --write-sqlite it only writes that database to PATH (made when missing;
// the schedule tables' rows replaced), for other benchmarks to run on.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/date.h"
#include "core/error.h"
#include "store/connect.h"
#include "store/schedule_tables.h"
#include "store/schema.h"

extern char** environ;

namespace {

using ostrand::DateTime;
using ostrand::store::SqlParam;

constexpr int kPersons = 1000;
constexpr int kPlansPerMonth = 10;
constexpr int kYear = 2001;
constexpr double kTarget = 1.3;
const char* const kDay = "2001-12-15";

// Fills the schedule tables: one system, five duties, four kinds of place,
// and for every person ten plans in each month of kYear (a few of them
// private, some over two days).
void Fill(ostrand::store::Connection& db) {
  if (!ostrand::store::MissingTables(db).empty()) ostrand::store::CreateSchema(db);
  ostrand::store::Transaction transaction(db);
  for (auto t = ostrand::store::kScheduleTables.rbegin(); t != ostrand::store::kScheduleTables.rend();
       ++t) {
    db.Execute("DELETE FROM " + std::string(t->name));
  }
  const char* duties[] = {"局长", "副局长", "处长", "副处长", "科员"};
  for (int d = 1; d <= 5; ++d) {
    const std::array p{SqlParam::Integer(d), SqlParam::Text(duties[d - 1])};
    db.Execute("INSERT INTO personDuty (dutyID, dutyName) VALUES (?, ?)", p);
  }
  const char* kinds[] = {"本单位", "北京", "京外", "国外"};
  const char* places[] = {"三层会议室", "发改委", "上海", "东京"};
  for (int k = 1; k <= 4; ++k) {
    const std::array t{SqlParam::Integer(k), SqlParam::Text(kinds[k - 1])};
    db.Execute("INSERT INTO planAddrType (planAddrTypeID, planAddrTypeName) VALUES (?, ?)", t);
    const std::array a{SqlParam::Integer(k), SqlParam::Text(places[k - 1]), SqlParam::Integer(k)};
    db.Execute("INSERT INTO planAddr (planAddrID, planAddrName, planAddrTypeID) VALUES (?, ?, ?)",
               a);
  }
  const char* contents[] = {"部门例会", "项目调研", "听取工作汇报", "参加业务培训", "接待来访"};
  for (int person = 1; person <= kPersons; ++person) {
    const std::array p{SqlParam::Integer(person), SqlParam::Text("人员" + std::to_string(person)),
                       SqlParam::Integer(1 + person % 5), SqlParam::Integer(1)};
    db.Execute("INSERT INTO person (personID, personName, dutyID, systemID) VALUES (?, ?, ?, ?)",
               p);
    for (int month = 1; month <= 12; ++month) {
      for (int j = 0; j < kPlansPerMonth; ++j) {
        const int day = 1 + (j * 3 + person) % 27;
        const DateTime start = DateTime::FromCivil(kYear, month, day, 9 + j % 6);
        const DateTime end = start.AddDays(j % 4 == 0 ? 1 : 0);
        const int kind = 1 + (person + j) % 4;
        const std::array plan{SqlParam::Integer(person),
                              SqlParam::Timestamp(start),
                              SqlParam::Timestamp(DateTime::FromSerial(end.day(), end.seconds() + 3600)),
                              SqlParam::Integer(kind),
                              SqlParam::Integer(kind),
                              SqlParam::Text("三层"),
                              SqlParam::Integer(1),
                              SqlParam::Text(contents[(person + j) % 5]),
                              SqlParam::Text("备注"),
                              SqlParam::Integer(j % 7 == 6 ? 2 : 1)};
        db.Execute(
            "INSERT INTO personPlan (personID, planStartTime, planEndTime, planAddrTypeID, "
            "planAddrID, planAddrDetail, planTypeID, planContent, planAddition, planFlagID) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
            plan);
      }
    }
  }
  transaction.Commit();
}

struct Run {
  double wall_ms = -1;  // negative when the program failed
  double cpu_ms = 0;    // user and system time of the process
};

// Runs a program with its output in `out`; returns its wall and CPU time.
Run TimeRun(const std::vector<std::string>& args, const std::string& out) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> words = args;
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const auto started = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return {};
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  const auto ended = std::chrono::steady_clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
  const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  return Run{std::chrono::duration<double, std::milli>(ended - started).count(),
             ms(usage.ru_utime) + ms(usage.ru_stime)};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Measures one engine; true when the target is met.
bool Measure(const std::string& engine, const std::string& connection, int rounds,
             const std::string& dir) {
  const std::vector<std::string> component = {
      OSTRAND_BINARY, "call", "--db", connection, "--session", "systemID=int:1", "--session",
      "personID=int:1", "DispLeaderMonth", std::string("date:") + kDay, "1=1"};
  const std::vector<std::string> floor = {STORE_FLOOR_BINARY, connection, kDay};
  const std::string page = dir + "/page.html";
  const std::string rows = dir + "/floor.txt";
  // One run of each first: caches warm, and both must work.
  if (TimeRun(component, page).wall_ms < 0 || TimeRun(floor, rows).wall_ms < 0) {
    std::fprintf(stderr, "bench_store: a run on %s failed\n", engine.c_str());
    return false;
  }
  std::vector<double> component_ms, floor_ms, component_cpu, floor_cpu;
  const auto record = [](const Run& run, std::vector<double>& wall, std::vector<double>& cpu) {
    wall.push_back(run.wall_ms);
    cpu.push_back(run.cpu_ms);
  };
  for (int i = 0; i < rounds; ++i) {
    // Alternate which runs first, so that neither always finds the other's
    // warm caches.
    if (i % 2 == 0) {
      record(TimeRun(component, page), component_ms, component_cpu);
      record(TimeRun(floor, rows), floor_ms, floor_cpu);
    } else {
      record(TimeRun(floor, rows), floor_ms, floor_cpu);
      record(TimeRun(component, page), component_ms, component_cpu);
    }
  }
  if (*std::min_element(component_ms.begin(), component_ms.end()) < 0 ||
      *std::min_element(floor_ms.begin(), floor_ms.end()) < 0) {
    std::fprintf(stderr, "bench_store: a run on %s failed\n", engine.c_str());
    return false;
  }
  const double ratio = Median(component_ms) / Median(floor_ms);
  const auto bytes = std::filesystem::file_size(page);
  // The CPU times say the same with less of the machine's noise in them.
  std::printf("%-11s leader month, %d persons, %ju bytes, median of %d rounds: ostrand %.1f ms, "
              "floor %.1f ms, ratio %.2f (target %.1f: %s); CPU ostrand %.1f ms, floor %.1f ms, "
              "ratio %.2f\n",
              engine.c_str(), kPersons, static_cast<std::uintmax_t>(bytes), rounds,
              Median(component_ms), Median(floor_ms), ratio, kTarget,
              ratio <= kTarget ? "met" : "NOT met", Median(component_cpu), Median(floor_cpu),
              Median(component_cpu) / Median(floor_cpu));
  return ratio <= kTarget;
}

}  // namespace

int main(int argc, char** argv) {
  std::string postgres;
  int rounds = 11;
  if (argc == 3 && std::string(argv[1]) == "--write-sqlite") {
    try {
      Fill(*ostrand::store::Connect(std::string("sqlite:") + argv[2],
                                    ostrand::store::OpenMode::kCreate));
      return 0;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "bench_store: %s\n", e.what());
      return 1;
    }
  }
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--postgres" && i + 1 < argc) {
      postgres = argv[++i];
    } else if (arg == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr,
                   "usage: bench_store [--postgres URI] [--rounds N] | --write-sqlite PATH\n");
      return 2;
    }
  }
  char pattern[] = "/tmp/ostrand_bench_store.XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return 1;
  const std::string dir = pattern;
  bool met = true;
  try {
    const std::string sqlite = "sqlite:" + dir + "/plans.db";
    Fill(*ostrand::store::Connect(sqlite, ostrand::store::OpenMode::kCreate));
    met = Measure("SQLite", sqlite, rounds, dir) && met;
    if (!postgres.empty()) {
      Fill(*ostrand::store::Connect(postgres));
      met = Measure("PostgreSQL", postgres, rounds, dir) && met;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_store: %s\n", e.what());
    met = false;
  }
  std::filesystem::remove_all(dir);
  return met ? 0 : 1;
}
