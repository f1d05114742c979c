// `ostrand call` and `ostrand script`, run as the built executable.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "store/schema.h"
#include "test_support.h"

namespace ostrand {
namespace {

const std::string kDebugTrace =
    "<span id=debugID style='display:none'>##调试信息:进入调试模式<br>\r\n</span>";
const std::string kOpenTrace =
    "<span id=debugID style='display:none'>##调试信息:打开数据库 OK!<br>\r\n</span>";

using test_support::Outcome;

std::vector<nlohmann::json> JsonLines(const std::string& text) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

// Each test gets a directory for the child's standard streams and databases.
class CliCommand : public ::testing::Test {
 protected:
  // Runs ostrand with `args`, `input` on standard input; no shell involved.
  Outcome Ostrand(const std::vector<std::string>& args, const std::string& input = "") {
    return test_support::RunOstrand(dir_, args, input);
  }

  // A new database with the schema; returns its connection string.
  std::string NewDatabase() {
    const std::string path = (dir_ / "plans.db").string();
    store::CreateSqliteDatabase(path);
    return "sqlite:" + path;
  }

  test_support::TempDir dir_;
};

// A failure: nothing on stdout, one "ostrand: ..." line on stderr, exit 1.
void ExpectOneLineError(const Outcome& run, const std::string& part) {
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("ostrand: ", 0), 0u) << run.err;
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
  EXPECT_NE(run.err.find(part), std::string::npos) << run.err;
}

TEST_F(CliCommand, CallPrintsTheResultTextAsItIs) {
  Outcome run = Ostrand({"call", "GetFirstMonday", "date:2001-12-12 14:30"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "2001-11-26");
  run = Ostrand({"call", "GetPrevMonday", "date:2001-12-12 14:30"});
  EXPECT_EQ(run.out, "2001-12-10 14:30:00");
  // A bare word is text: a Monday given as text comes back unchanged.
  run = Ostrand({"call", "GetPrevMonday", "2001-12-10"});
  EXPECT_EQ(run.out, "2001-12-10");
  EXPECT_EQ(run.err, "");
}

TEST_F(CliCommand, CallJsonReportsKindValueResponseAndSession) {
  Outcome run = Ostrand({"call", "--json", "CountWeek", "date:2001-10-31"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out,
            R"({"kind":"int16","value":"6","response":"","session":{"strURL":"/"},"error":null})"
            "\n");

  run = Ostrand({"call", "--json", "GetPrevMonday", "str:2001-12-10"});
  auto json = nlohmann::json::parse(run.out);
  EXPECT_EQ(json["kind"], "text");
  EXPECT_EQ(json["value"], "2001-12-10");

  run = Ostrand({"call", "--json", "GetPrevMonday", "null"});
  json = nlohmann::json::parse(run.out);
  EXPECT_EQ(json["kind"], "null");
  EXPECT_EQ(json["value"], "");

  // Members without a result report empty; strURL writes with an ARG.
  run = Ostrand({"call", "--json", "--url", "/x/leaderWeek.asp", "strURL", "/mine.asp"});
  json = nlohmann::json::parse(run.out);
  EXPECT_EQ(json["kind"], "empty");
  EXPECT_EQ(json["value"], "");
  EXPECT_EQ(json["session"]["strURL"], "/mine.asp");
  run = Ostrand({"call", "--url", "/x/leaderWeek.asp", "strURL"});
  EXPECT_EQ(run.out, "/x/leaderWeek.asp");
}

TEST_F(CliCommand, ArgWordsAndSessionItems) {
  const Outcome run =
      Ostrand({"call",        "--json",    "--session",   "a=int:12",  "--session",
               "b=num:12.50", "--session", "c=bool:TRUE", "--session", "d=date:2001-12-05 9:05",
               "--session",   "e=null",    "--session",   "f=empty",   "--session",
               "g=str:null",  "--session", "h=x=y",       "--session", "i=-3",
               "strURL"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto session = nlohmann::json::parse(run.out)["session"];
  EXPECT_EQ(session, (nlohmann::json{{"a", "12"},
                                     {"b", "12.5"},
                                     {"c", "True"},
                                     {"d", "2001-12-5 9:05:00"},
                                     {"e", ""},
                                     {"f", ""},
                                     {"g", "null"},
                                     {"h", "x=y"},
                                     {"i", "-3"},
                                     {"strURL", "/"}}));
}

TEST_F(CliCommand, UrlSessionAndClockReachTheLinks) {
  const Outcome run = Ostrand({"call", "--url", "/Sched/personMonth.asp", "--session", "rnd=abc",
                               "--clock", "45296.78", "DispMonthSelect", "2001-12-5", "int:12"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("'/Sched/personMonth.asp?personID=12&dt=2001-11-5&t=45296.78&rnd=abc'"),
            std::string::npos)
      << run.out;
}

TEST_F(CliCommand, CallFailuresAreOneLineOnStderr) {
  ExpectOneLineError(Ostrand({"call", "--db", "sqlite:" + (dir_ / "missing.db").string(),
                              "GetFirstMonday", "2001-12-12"}),
                     "missing.db");
  ExpectOneLineError(Ostrand({"call", "--db", "", "CountWeek", "2001-12-12"}),
                     "no connection string");
  ExpectOneLineError(Ostrand({"call", "GetFirstMonday", "date:2001-13-45"}), "2001-13-45");
  ExpectOneLineError(Ostrand({"call", "GetFirstMonday", "2001-02-30"}), "2001-02-30");
  ExpectOneLineError(Ostrand({"call", "NoSuchMember"}), "unknown member 'NoSuchMember'");
  ExpectOneLineError(Ostrand({"call", "CloseDB"}), "unknown member 'CloseDB'");
  ExpectOneLineError(Ostrand({"call", "CountWeek"}), "CountWeek takes 1 argument, not 0");
  ExpectOneLineError(Ostrand({"call", "GetFirstMonday", "int:12.5"}), "12.5");
  ExpectOneLineError(Ostrand({"call", "GetFirstMonday", "int:99999999999"}), "99999999999");
  ExpectOneLineError(Ostrand({"call", "GetFirstMonday", "int:+-5"}), "+-5");
  ExpectOneLineError(Ostrand({"call", "GetFirstMonday", "num:1e999"}), "1e999");
  ExpectOneLineError(Ostrand({"call", "GetFirstMonday", "bool:yes"}), "yes");
  ExpectOneLineError(Ostrand({"call", "--session", "=1", "strURL"}), "=1");
  ExpectOneLineError(Ostrand({"call", "--clock", "86400", "strURL"}), "86400");
  ExpectOneLineError(Ostrand({"call"}), "no member");
  // An ARG that looks like an option is still an ARG, not an option.
  ExpectOneLineError(Ostrand({"call", "GetFirstMonday", "-5"}), "'-5'");
}

TEST_F(CliCommand, MistakesInTheCommandWordsAreOneLineToo) {
  ExpectOneLineError(Ostrand({"frob"}), "unknown command 'frob'");
  ExpectOneLineError(Ostrand({}), "no command given");
  ExpectOneLineError(Ostrand({"call", "--db"}), "--db");
  ExpectOneLineError(Ostrand({"demo-db"}), "TARGET");
  const test_support::Outcome help = Ostrand({"call", "--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("--session"), std::string::npos) << help.out;
}

TEST_F(CliCommand, CallJsonFailureHasNullKindAndValue) {
  Outcome run = Ostrand({"call", "--json", "GetFirstMonday", "2001-13-45"});
  EXPECT_EQ(run.exit_code, 1);
  auto json = nlohmann::json::parse(run.out);
  EXPECT_TRUE(json["kind"].is_null());
  EXPECT_TRUE(json["value"].is_null());
  EXPECT_EQ(json["error"], "cannot read '2001-13-45' as a date");
  // The page still ended: strURL reached the session.
  EXPECT_EQ(json["session"]["strURL"], "/");

  run = Ostrand({"call", "--json", "GetFirstMonday", "date:nope"});
  EXPECT_EQ(run.exit_code, 1);
  json = nlohmann::json::parse(run.out);
  EXPECT_TRUE(json["kind"].is_null());
  EXPECT_EQ(json["error"], "cannot read 'nope' as a date");
}

TEST_F(CliCommand, CallWithDatabaseAndDebugKeepsSetupTracesOutOfTheResponse) {
  const Outcome run =
      Ostrand({"call", "--json", "--debug", "--db", NewDatabase(), "CountWeek", "2001-12-04"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto json = nlohmann::json::parse(run.out);
  EXPECT_EQ(json["value"], "2");
  EXPECT_EQ(json["response"], "");
}

TEST_F(CliCommand, ScriptPageWithDebugTracesInOrder) {
  const Outcome run = Ostrand({"script", "--db", NewDatabase(), "--url", "/Sched/personWeek.asp"},
                              "[\"OnStartPage\"]\n"
                              "[\"DebugMode\"]\n"
                              "[\"Init\"]\n"
                              "\n"
                              "[\"GetPrevMonday\", {\"date\": \"2001-12-12 14:30\"}]\n"
                              "[\"onendpage\"]\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const auto lines = JsonLines(run.out);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0]["kind"], "empty");
  EXPECT_EQ(lines[1]["response"], kDebugTrace);
  EXPECT_EQ(lines[2]["response"], kOpenTrace);
  EXPECT_EQ(lines[3]["kind"], "date");
  EXPECT_EQ(lines[3]["value"], "2001-12-10 14:30:00");
  EXPECT_TRUE(lines[3]["session"].empty());
  EXPECT_EQ(lines[4]["kind"], "empty");
  EXPECT_EQ(lines[4]["response"], "");
  EXPECT_EQ(lines[4]["session"]["strURL"], "/Sched/personWeek.asp");
}

TEST_F(CliCommand, ScriptPageWithoutDebugWritesNothing) {
  const Outcome run = Ostrand({"script", "--db", NewDatabase()},
                              "[\"OnStartPage\"]\n[\"Init\"]\n[\"strURL\", \"/p.asp\"]\n"
                              "[\"OnEndPage\"]\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto lines = JsonLines(run.out);
  ASSERT_EQ(lines.size(), 4u);
  for (const auto& line : lines) {
    EXPECT_EQ(line["response"], "");
    EXPECT_TRUE(line["error"].is_null());
  }
  EXPECT_EQ(lines[3]["session"]["strURL"], "/p.asp");
}

TEST_F(CliCommand, ScriptDebugOptionFollowsOnStartPage) {
  const Outcome run = Ostrand({"script", "--debug"}, "[\"OnStartPage\"]\n");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(JsonLines(run.out).at(0)["response"], kDebugTrace);
}

TEST_F(CliCommand, ScriptArgumentsAndFailingCalls) {
  const Outcome run = Ostrand({"script", "--session", "personID=int:3"},
                              "[\"GetPrevMonday\", \"2001-12-10\"]\n"
                              "[\"GetPrevMonday\", null]\n"
                              "[\"CountWeek\", {\"str\": \"2001-10-31\"}]\n"
                              "[\"GetFirstMonday\", {\"date\": \"2001-13-1\"}]\n"
                              "[\"Init\"]\n"
                              "[\"OnStartPage\", \"ctx\"]\n"
                              "[\"NoSuchMember\", 1, true, {\"empty\": true}, {\"int\": 7}]\n"
                              "[\"GetFirstMonday\", 37235]\n");
  EXPECT_EQ(run.exit_code, 1);
  const auto lines = JsonLines(run.out);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0]["kind"], "text");
  EXPECT_EQ(lines[1]["kind"], "null");
  EXPECT_EQ(lines[2]["value"], "6");
  EXPECT_EQ(lines[3]["error"], "cannot read '2001-13-1' as a date");
  EXPECT_TRUE(lines[3]["kind"].is_null());
  EXPECT_NE(lines[4]["error"].get<std::string>().find("--db"), std::string::npos);
  EXPECT_FALSE(lines[5]["error"].is_null());
  EXPECT_EQ(lines[6]["error"], "unknown member 'NoSuchMember'");
  // A bare number is a day serial: 37235 is 10 Dec 2001, a Monday.
  EXPECT_EQ(lines[7]["value"], "2001-11-26");
  EXPECT_EQ(lines[7]["session"]["personID"], "3");
  // One stderr line per failed call, naming the script line.
  EXPECT_NE(run.err.find("line 4: "), std::string::npos) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 4);
}

TEST_F(CliCommand, ScriptStopsWithExitTwoOnAMalformedLine) {
  for (const std::string bad :
       {"{\"OnStartPage\": 1}", "[]", "[12]", "not json", "[\"CountWeek\", {\"date\": 1}]",
        "[\"CountWeek\", [1]]", "[\"CountWeek\", {\"int\": 1, \"str\": \"1\"}]",
        "[\"CountWeek\", {\"when\": \"2001-1-1\"}]"}) {
    SCOPED_TRACE(bad);
    const Outcome run = Ostrand({"script"}, "[\"CountWeek\", \"2001-12-4\"]\n" + bad +
                                                "\n[\"CountWeek\", \"2001-12-4\"]\n");
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(JsonLines(run.out).size(), 1u);
    EXPECT_EQ(run.err.rfind("ostrand: line 2: ", 0), 0u) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
  }
}

}  // namespace
}  // namespace ostrand
