#include "store/odbc/odbc_handles.h"

#include <string_view>

namespace ostrand::store::odbc {

Diagnostics Diagnose(SQLSMALLINT type, SQLHANDLE handle) {
  Diagnostics diagnostics;
  for (SQLSMALLINT record = 1; record <= 8; ++record) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR text[1024] = {};
    SQLSMALLINT length = 0;
    if (!Succeeded(SQLGetDiagRec(type, handle, record, state, &native, text, sizeof text, &length))) {
      break;
    }
    diagnostics.states += reinterpret_cast<const char*>(state);
    std::string line(reinterpret_cast<const char*>(text));
    for (char& c : line) {
      if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    if (!diagnostics.message.empty()) diagnostics.message += "; ";
    diagnostics.message += line;
  }
  if (diagnostics.message.empty()) diagnostics.message = "the driver gave no reason";
  return diagnostics;
}

// Whether any of the states is a lost connection (class 08) or a timeout.
bool IsConnectionFailure(const std::string& states) {
  for (std::size_t i = 0; i + 5 <= states.size(); i += 5) {
    const std::string_view state(states.data() + i, 5);
    if (state.starts_with("08") || state == "HYT00" || state == "HYT01" || state == "57P01") {
      return true;
    }
  }
  return false;
}

}  // namespace ostrand::store::odbc
