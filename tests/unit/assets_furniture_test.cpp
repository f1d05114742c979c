// The stylesheet SetDispStyle writes and the client script of DispScript.
#include <string>
#include <vector>

#include "navigation_test_page.h"

namespace ostrand::testing_page {
namespace {

// The lines of the written text, each of which must end with CR LF.
std::vector<std::string> CrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", from)) {
    lines.push_back(text.substr(from, at - from));
    from = at + 2;
  }
  EXPECT_EQ(from, text.size()) << "text after the last CR LF";
  return lines;
}

// The sixteen lines of the stylesheet, byte for byte.
const std::vector<std::string> kStyleLines = {
    "<style>",
    ".tbl { background-color: #FFFFFF; FONT-FAMILY: '宋体'; width:100%;BORDER: black double;}",
    ".tbl th{BORDER-RIGHT: black 1pt solid;BORDER-TOP: black 1pt;BORDER-LEFT: black "
    "1pt;BORDER-BOTTOM: black 1pt solid }",
    ".tbl td{BORDER-RIGHT: black 1pt solid;BORDER-TOP: black 1pt;BORDER-LEFT: black "
    "1pt;BORDER-BOTTOM: black 1pt solid }",
    ".lable{background-color:#718EB7;FONT-FAMILY: '宋体';color:#FFFFFF;}",
    ".input{background-color: #E3ECF2;FONT-FAMILY: '宋体';}",
    ".tbl a{ color:black;text-decoration: none}",
    ".title { color:black;text-align: center; FONT-SIZE: 14pt bold; background-color: #FFFFFF; "
    "FONT-FAMILY: '宋体'; }",
    ".menu { background-color: #FFFFFF; FONT-FAMILY: '宋体'; width:100%;}",
    ".menu td{width:80px; color:#DDDDDD;background-color: #cdcdcd;text-align: center; "
    "BORDER-RIGHT: black 1pt solid;BORDER-TOP: black 1pt;BORDER-LEFT: black 1pt;BORDER-BOTTOM: "
    "black 1pt solid }",
    ".menu.a2{width:100%;background-color: #EFEFEF;color:#FFFFFF;text-decoration: none}",
    ".menu a{ width:100%;color:black;text-decoration: none}",
    ".page { background-color: #FFFFFF; FONT-FAMILY: '宋体'; }",
    ".page td{width:60px;color:#DDDDDD;background-color:#F0F0F0;FONT-SIZE: small;text-align: "
    "center; BORDER-RIGHT: black 1pt solid;BORDER-TOP: black 1pt;BORDER-LEFT: black "
    "1pt;BORDER-BOTTOM: black 1pt solid }",
    ".page a{ width:100%;color:black;FONT-SIZE: small;text-decoration: none}",
    "</style>"};

void ExpectStylesheet(const std::string& written) {
  EXPECT_EQ(CrLfLines(written), kStyleLines);
}

const std::string kScriptOpening = "<script language='javascript'>\r\n function manage(dt){\r\n";
const std::string kScriptClosing = "}\r\n</script>\r\n";

class AssetsFurniture : public FurniturePage {};

TEST_F(AssetsFurniture, StylesheetIsWrittenForOneAndForEmpty) {
  Schedulers& page = Start();
  const std::vector<Value> selecting = {Value::Int32(1),  Value::Int16(1),      Value::Double(1),
                                        Value::Text("1"), Value::Text(" 1.0 "), Value(),
                                        Value::Text("")};
  for (const Value& nType : selecting) page.SetDispStyle(nType);
  ASSERT_EQ(response_->writes().size(), selecting.size());
  for (const std::string& written : response_->writes()) ExpectStylesheet(written);
}

TEST_F(AssetsFurniture, AnythingElseWritesOneEmptyText) {
  Schedulers& page = Start();
  const std::vector<Value> others = {Value::Int32(2),  Value::Int32(0),    Value::Double(1.5),
                                     Value::Null(),    Value::Text("abc"), Value::Text(" "),
                                     Value::Text("2"), Value::Bool(true)};
  for (const Value& nType : others) {
    SCOPED_TRACE(nType.ToText());
    EXPECT_NO_THROW(page.SetDispStyle(nType));
  }
  EXPECT_EQ(response_->writes(), std::vector<std::string>(others.size(), ""));
}

TEST_F(AssetsFurniture, StylesheetGoesOutAtTheMomentOfTheCall) {
  Schedulers& page = Start();
  response_->Write("<html>");
  page.SetDispStyle(Value::Int32(1));
  response_->Write("<body>");
  const std::string& text = response_->text();
  ASSERT_TRUE(text.starts_with("<html><style>\r\n") && text.ends_with("</style>\r\n<body>"))
      << text;
  ExpectStylesheet(text.substr(6, text.size() - 12));
}

TEST_F(AssetsFurniture, ScriptOpensTheEditorForTheSignedInPerson) {
  session_->Set("personID", Value::Text("12"));
  session_->Set("rnd", Value::Int32(7));
  const Value script = Start().DispScript(Value::Int32(12));
  EXPECT_EQ(script, Value::Text(kScriptOpening +
                                "     location.href='manage.asp?personID=12&dt='+dt+'&rnd=7"
                                "&t=45296.78';" +
                                kScriptClosing));
}

TEST_F(AssetsFurniture, ScriptForAnotherPersonHasNoEditorLineAndReadsNoStamp) {
  clock_ = std::make_shared<SteppingClock>(0.0f);
  session_->Set("personID", Value::Int32(13));
  session_->Set("rnd", Value::Int32(7));
  Schedulers& page = Start();
  EXPECT_EQ(page.DispScript(Value::Int32(12)), Value::Text(kScriptOpening + kScriptClosing));
  EXPECT_EQ(page.DispScript(Value::Null()), Value::Text(kScriptOpening + kScriptClosing));
  EXPECT_EQ(session_->reads("rnd"), 0);
  // The clock was not read: the first editor line carries its first reading.
  EXPECT_NE(page.DispScript(Value::Text("13")).text().find("&t=0';}"), std::string::npos);
}

TEST_F(AssetsFurniture, ViewerTestComparesWholeNumbers) {
  Schedulers& page = Start();
  const auto emits = [&](const Value& pID) {
    return page.DispScript(pID).text().find("location.href") != std::string::npos;
  };

  session_->Set("personID", Value::Int32(12));
  EXPECT_TRUE(emits(Value::Double(12.7)));
  EXPECT_NE(page.DispScript(Value::Double(12.7)).text().find("personID=12.7&dt="),
            std::string::npos);
  EXPECT_TRUE(emits(Value::Text(" 12 ")));
  EXPECT_FALSE(emits(Value::Double(11.9)));

  // A signed-in person never set counts as 0.
  session_->Set("personID", Value());
  EXPECT_TRUE(emits(Value()));
  EXPECT_TRUE(emits(Value::Double(0.5)));
  EXPECT_FALSE(emits(Value::Int32(1)));
  EXPECT_FALSE(emits(Value::Double(-0.5)));
  EXPECT_FALSE(emits(Value::Null()));

  session_->Set("personID", Value::Null());
  EXPECT_FALSE(emits(Value()));
}

TEST_F(AssetsFurniture, ScriptFailsOnIdsThatAreNotNumbers) {
  Schedulers& page = Start();
  session_->Set("personID", Value::Int32(12));
  EXPECT_NE(ErrorOf([&] { page.DispScript(Value::Text("12'+alert(1)+'")); }).find("12'+alert"),
            std::string::npos);
  session_->Set("personID", Value::Text("abc"));
  EXPECT_NE(ErrorOf([&] { page.DispScript(Value::Int32(12)); }).find("abc"), std::string::npos);
  // A null on the other side hides nothing: the bad side still fails.
  EXPECT_NE(ErrorOf([&] { page.DispScript(Value::Null()); }).find("'abc'"), std::string::npos);
  session_->Set("personID", Value::Null());
  EXPECT_NE(ErrorOf([&] { page.DispScript(Value::Text("--")); }).find("'--'"), std::string::npos);
}

}  // namespace
}  // namespace ostrand::testing_page
