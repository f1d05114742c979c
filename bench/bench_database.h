// The database the benchmarks run on: a generated SQLite file with kPersons
// persons in one system, made once per process in the temporary directory.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "core/date.h"
#include "store/plan_store.h"
#include "store/schema.h"

namespace ostrand::bench {

constexpr int kPersons = 40;

// A database with kPersons persons in one system, each with a plan on most
// working days of 2001 and 2002, and one plan that lasts a hundred years.
inline const std::string& BenchDatabase() {
  static const std::string path = [] {
    const std::string p = (std::filesystem::temp_directory_path() /
                           ("ostrand_bench_" + std::to_string(::getpid()) + ".db"))
                              .string();
    std::filesystem::remove(p);
    store::CreateSqliteDatabase(p);
    store::PlanStore db;
    db.Open("sqlite:" + p);
    std::string sql = "BEGIN;";
    sql += "INSERT INTO personDuty VALUES (1,'处长'),(2,'科员');";
    sql += "INSERT INTO planAddrType VALUES (1,'本单位'),(2,'北京'),(3,'京外'),(4,'国外');";
    sql += "INSERT INTO planAddr VALUES (1,'会议室',1),(2,'部机关',2),(3,'上海',3),(4,'东京',4);";
    for (int id = 1; id <= kPersons; ++id) {
      sql += "INSERT INTO person VALUES (" + std::to_string(id) + ",'人员" + std::to_string(id) +
             "'," + (id <= 4 ? "1" : "2") + ",1);";
    }
    DateTime day = DateTime::FromCivil(2001, 1, 1);
    for (int i = 0; i < 730; ++i, day = day.AddDays(1)) {
      if (day.weekday() == 1 || day.weekday() == 7) continue;
      for (int id = 1; id <= kPersons; ++id) {
        const int kind = 1 + (i + id) % 4;
        const CivilDate c = day.civil();
        char start[32], end[32];
        std::snprintf(start, sizeof start, "%04d-%02d-%02d 09:00:00", c.year, c.month, c.day);
        std::snprintf(end, sizeof end, "%04d-%02d-%02d 17:30:00", c.year, c.month, c.day);
        sql +=
            "INSERT INTO personPlan (personID,planStartTime,planEndTime,planAddrTypeID,"
            "planAddrID,planAddrDetail,planTypeID,planContent,planAddition,planFlagID) VALUES (" +
            std::to_string(id) + ",'" + start + "','" + end + "'," + std::to_string(kind) + "," +
            std::to_string(kind) + ",'三层',1,'部门例会','备注'," +
            std::to_string(1 + (i % 3 == 0)) + ");";
      }
    }
    sql +=
        "INSERT INTO personPlan (personID,planStartTime,planEndTime,planAddrTypeID,planAddrID,"
        "planContent,planFlagID) VALUES (1,'1950-01-01 00:00:00','2050-12-31 00:00:00',1,1,"
        "'长期驻点',1);";
    sql += "COMMIT;";
    db.Execute(sql);
    return p;
  }();
  return path;
}

}  // namespace ostrand::bench
