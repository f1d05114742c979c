#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error.h"
#include "store/dialect.h"

namespace ostrand::store {
namespace {

std::string Sqlite(const std::string& tsql) { return TranslateTsql(tsql, Engine::kSqlite); }

// Expects an Error whose message contains every one of `parts`.
void ExpectError(const std::string& tsql, const std::vector<std::string>& parts) {
  try {
    Sqlite(tsql);
    ADD_FAILURE() << "no error for: " << tsql;
  } catch (const Error& e) {
    for (const std::string& part : parts) {
      EXPECT_NE(std::string(e.what()).find(part), std::string::npos)
          << "'" << e.what() << "' lacks '" << part << "'";
    }
  }
}

TEST(DialectAliases, SelectListItemsOnly) {
  EXPECT_EQ(Sqlite("select planID,planStartTime,planEndTime,Type1ID=personPlan.planAddrTypeID,"
                   "Type1=planAddrType.planAddrTypeName,Type2=planAddr.planAddrName,"
                   "planAddrDetail from personPlan,planAddrType where "
                   "personPlan.planAddrTypeID=planAddrType.planAddrTypeID and personID=12"),
            "select planID,planStartTime,planEndTime,personPlan.planAddrTypeID AS Type1ID,"
            "planAddrType.planAddrTypeName AS Type1,planAddr.planAddrName AS Type2,"
            "planAddrDetail from personPlan,planAddrType where "
            "personPlan.planAddrTypeID=planAddrType.planAddrTypeID and personID=12");
}

TEST(DialectAliases, SpacingCaseAndModifiers) {
  EXPECT_EQ(Sqlite("SELECT  N = a.b , x\nFROM t"), "SELECT  a.b AS N , x\nFROM t");
  EXPECT_EQ(Sqlite("select distinct N=a from t"), "select distinct a AS N from t");
  EXPECT_EQ(Sqlite("select top 5 N=a from t"), "select top 5 a AS N from t");
  EXPECT_EQ(Sqlite("select A=1"), "select 1 AS A");
  EXPECT_EQ(Sqlite("select [My Name]=a from t"), "select a AS [My Name] from t");
}

TEST(DialectAliases, ExpressionsWithCommasAndSubqueries) {
  EXPECT_EQ(Sqlite("select Total=coalesce(a,b), c from t"),
            "select coalesce(a,b) AS Total, c from t");
  EXPECT_EQ(Sqlite("select a from t where b in (select X=c from u where d=1) and e=2"),
            "select a from t where b in (select c AS X from u where d=1) and e=2");
  EXPECT_EQ(Sqlite("select M=(select max(p) from u where u.k=t.k), n from t"),
            "select (select max(p) from u where u.k=t.k) AS M, n from t");
}

TEST(DialectAliases, ComparisonsAndNonAliasItemsUntouched) {
  for (const std::string text : {
           "select a from t where b<=c and d>=e and f<>g and h!=i",
           "select case when a=b then 1 else 0 end as c from t",
           "update t set a=b where c=1",
           "select a, b from t order by a",
           "select a=",  // nothing after '=': left for the database to reject
       }) {
    EXPECT_EQ(Sqlite(text), text);
  }
}

// SQLite's day count from a to b, as the translation writes it.
std::string Days(const std::string& a, const std::string& b) {
  return "CAST(0 - julianday(" + a + ", 'start of day') + julianday(" + b +
         ", 'start of day') AS INTEGER)";
}

TEST(DialectDateDiff, SelectListAndWhereClause) {
  EXPECT_EQ(Sqlite("select DATEDIFF(dd, planStartTime, '2001-12-5') as d from personPlan"),
            "select " + Days("planStartTime", "'2001-12-05 00:00:00'") + " as d from personPlan");
  EXPECT_EQ(Sqlite("select planID from personPlan where datediff(DD,planStartTime,'2001/12/5 9:30')=0"
                   " and personID=3"),
            "select planID from personPlan where " +
                Days("planStartTime", "'2001-12-05 09:30:00'") + "=0 and personID=3");
  EXPECT_EQ(Sqlite("select Days=DateDiff(day, a, b) from t"),
            "select " + Days("a", "b") + " AS Days from t");
}

// A whole condition "the column's day is on or before / on or after a
// fixed day" becomes a range comparison of the column; every other use of
// the day count stays a day count.
TEST(DialectDateDiff, PeriodConditionsBecomeRangesOfTheColumn) {
  const auto pg = [](const std::string& tsql) { return TranslateTsql(tsql, Engine::kPostgresql); };
  const std::string period =
      "where personID=? and DATEDIFF(dd, planStartTime, ?) >= 0 AND DATEDIFF(dd, "
      "'2001-12-1', p.planEndTime)>= 0   and planFlagID=1 order by planStartTime";
  EXPECT_EQ(Sqlite(period),
            "where personID=? and planStartTime < (date(?) || '~') AND p.planEndTime >= "
            "date('2001-12-01 00:00:00')   and planFlagID=1 order by planStartTime");
  EXPECT_EQ(pg(period),
            "where personID=? and planStartTime < CAST(? AS date) + 1 AND p.planEndTime >= "
            "CAST('2001-12-01 00:00:00' AS date)   and planFlagID=1 order by planStartTime");
  EXPECT_EQ(Sqlite("where (DATEDIFF(dd, a, ?) >= 0) or not DATEDIFF(dd, ?, a) >= 0"),
            "where (a < (date(?) || '~')) or not a >= date(?)");
  // Not a whole condition, not ">= 0", not a column against a fixed day.
  for (const auto& [tsql, days] : std::vector<std::pair<std::string, std::string>>{
           {"where DATEDIFF(dd, a, ?) = 0", Days("a", "?") + " = 0"},
           {"where DATEDIFF(dd, a, ?) >= 0 + b", Days("a", "?") + " >= 0 + b"},
           {"where DATEDIFF(dd, a, ?) >= 0.5", Days("a", "?") + " >= 0.5"},
           {"where b + DATEDIFF(dd, a, ?) >= 0", "b + " + Days("a", "?") + " >= 0"},
           {"where DATEDIFF(dd, a, b) >= 0", Days("a", "b") + " >= 0"},
           {"where DATEDIFF(dd, ?, ?) >= 0", Days("?", "?") + " >= 0"},
       }) {
    EXPECT_EQ(Sqlite(tsql), "where " + days) << tsql;
  }
}

TEST(DialectDateDiff, NestedParenthesesAndCalls) {
  EXPECT_EQ(Sqlite("select datediff(dd, (a), max((b))) from t"),
            "select " + Days("(a)", "max((b))") + " from t");
  EXPECT_EQ(Sqlite("select datediff(dd, a, b) - datediff(dd, c, d) from t"),
            "select " + Days("a", "b") + " - " + Days("c", "d") + " from t");
  EXPECT_EQ(Sqlite("where abs(DATEDIFF(dd, x, coalesce(y, '2001-1-1')))<7"),
            "where abs(" + Days("x", "coalesce(y, '2001-1-1')") + ")<7");
  // Text that is no date stays as written.
  EXPECT_EQ(Sqlite("select DATEDIFF(dd, 'soon', ?)"), "select " + Days("'soon'", "?"));
}

TEST(DialectPostgresql, DayCountsAliasesNamesAndTieOrder) {
  const auto pg = [](const std::string& tsql) { return TranslateTsql(tsql, Engine::kPostgresql); };
  EXPECT_EQ(pg("select N=DATEDIFF(dd, planStartTime, '2001-12-5') from t"),
            "select (-(CAST(planStartTime AS date) - CAST('2001-12-05 00:00:00' AS date))) AS N "
            "from t");
  EXPECT_EQ(pg("select [Type1ID]=[my col] from t"), "select \"my col\" AS Type1ID from t");
  EXPECT_EQ(pg("select a from t where b = 'x' + c + 'y' and d = '1' + 1"),
            "select a from t where lower(rtrim(b)) = lower(rtrim('x' || c || 'y')) and "
            "d = '1' + 1");
  // Rows that tie in the order come in key order, as SQLite gives them.
  EXPECT_EQ(pg(" select person.personID from person,personDuty where a=1 order by person.dutyID "),
            " select person.personID from person,personDuty where a=1 order by person.dutyID, "
            "person.personID ");
  EXPECT_EQ(pg("select planID from personPlan p where x=? Order by planstartTime"),
            "select planID from personPlan p where x=? Order by planstartTime, p.planID");
  for (const std::string text : {"select a from t order by a", "select planID from personPlan",
                                 "select planID from personPlan order by planID desc",
                                 "select a from person union select b from x order by 1"}) {
    EXPECT_EQ(pg(text), text);
  }
  EXPECT_EQ(TranslateTsql("select N=DATEDIFF(dd, a, b) from t", Engine::kSqlServer),
            "select N=DATEDIFF(dd, a, b) from t");
}

// Texts compare as SQL Server's usual collation compares them: without
// regard to letter case or trailing blanks.
TEST(DialectTextComparisons, KnownTextOperandsAreFolded) {
  const auto fold = [](const std::string& operand) { return "lower(rtrim(" + operand + "))"; };
  EXPECT_EQ(Sqlite("select a from t where personDuty.dutyName = '主任 ' and systemID=1"),
            "select a from t where " + fold("personDuty.dutyName") + " = " + fold("'主任 '") +
                " and systemID=1");
  // Operands end at logical words, commas and unbalanced parentheses;
  // concatenations, calls and CASE stay inside.
  EXPECT_EQ(Sqlite("select a from t where (x.n + ' ' + y <= 'LI ' or b<>'q') and left(c, 2)='li'"),
            "select a from t where (" + fold("x.n || ' ' || y") + " <= " + fold("'LI '") +
                " or " + fold("b") + "<>" + fold("'q'") + ") and " + fold("left(c, 2)") + "=" +
                fold("'li'"));
  EXPECT_EQ(Sqlite("select case when a = 'x' then 'y' end as c from t where b not in ('p', 'Q')"),
            "select case when " + fold("a") + " = " + fold("'x'") + " then 'y' end as c from t " +
                "where " + fold("b") + " not in (" + fold("'p'") + ", " + fold("'Q'") + ")");
  EXPECT_EQ(Sqlite("update t set a = 'x', b = 'y' where c = 'z'"),
            "update t set a = 'x', b = 'y' where " + fold("c") + " = " + fold("'z'"));
  // Numbers, dates, columns against columns, and what the database must
  // reject stay as written.
  for (const std::string text : {
           "select a from t where personID=12 and 1=1 and d = '12' and a.x = b.y",
           "select a from t where planStartTime < '2001-12-5' and b in ('1', '2') and c in (1, 'x')",
           "select a from t where a = ", "select a from t where = 'x'",
           "select a from t where a = ('x'", "select a from t where a = 'x",
       }) {
    EXPECT_EQ(Sqlite(text), text);
  }
}

TEST(DialectTextComparisons, LikeIgnoresCaseOnPostgresql) {
  const std::string tsql =
      "select a from t where person.personName like 'li%' and b NOT LIKE 'x\\_' escape '!'";
  EXPECT_EQ(TranslateTsql(tsql, Engine::kPostgresql),
            "select a from t where person.personName ilike 'li%' ESCAPE '' and b NOT ILIKE 'x\\_' "
            "escape '!'");
  EXPECT_EQ(Sqlite(tsql), tsql);  // SQLite's LIKE ignores the case of ASCII letters already
}

TEST(DialectDateDiff, NotACallLeftAlone) {
  EXPECT_EQ(Sqlite("select datediff from t"), "select datediff from t");
  EXPECT_EQ(Sqlite("select t.datediff(dd, a, b) from t"), "select t.datediff(dd, a, b) from t");
}

TEST(DialectLiterals, TextInsideLiteralsAndCommentsUntouched) {
  for (const std::string text : {
           "select a from t where b like 'x=1' and c like 'DATEDIFF(mm,a,b)'",
           "select a from t where b like 'it''s, DATEDIFF(dd,a,b) FROM'",
           "select a from t -- DATEDIFF(mm, a, b)\nwhere b=1",
           "select a /* N=b, DATEDIFF(yy,a,b) */ from t",
           "select \"x=y\" from t",
       }) {
    EXPECT_EQ(Sqlite(text), text);
  }
  EXPECT_EQ(Sqlite("select N='it''s = DATEDIFF(dd,a,b)', M='from' from t"),
            "select 'it''s = DATEDIFF(dd,a,b)' AS N, 'from' AS M from t");
  // An unterminated literal swallows the rest; the database reports it.
  EXPECT_EQ(Sqlite("select 'a=DATEDIFF(mm"), "select 'a=DATEDIFF(mm");
}

TEST(DialectDateDiff, MalformedCallsNameTheText) {
  ExpectError("select DATEDIFF(mm, a, b) from t", {"'mm'", "select DATEDIFF(mm, a, b) from t"});
  ExpectError("select DATEDIFF(dd, a, b from t", {"closing parenthesis", "DATEDIFF(dd, a, b"});
  ExpectError("select DATEDIFF(dd, a) from t", {"3 arguments", "DATEDIFF(dd, a)"});
  ExpectError("select DATEDIFF(dd, a, b, c) from t", {"3 arguments"});
  ExpectError("select DATEDIFF(dd, , b) from t", {"empty argument"});
  ExpectError("select DATEDIFF(, a, b) from t", {"unit ''"});
  ExpectError("select DATEDIFF('dd', a, b) from t", {"unit ''dd''"});
  // A bad call nested in an argument is found too.
  ExpectError("select DATEDIFF(dd, a, DATEDIFF(hh, b, c)) from t", {"'hh'"});
}

}  // namespace
}  // namespace ostrand::store
