// ODBC handles owned by RAII and the diagnostics a failed call leaves on
// them, for the ODBC backend (store/odbc/odbc_connection.h).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <utility>

namespace ostrand::store::odbc {

// An ODBC handle of one type, freed when its owner goes. Movable, not
// copyable; an empty handle frees nothing.
template <SQLSMALLINT Type>
class Handle {
 public:
  Handle() = default;
  explicit Handle(SQLHANDLE handle) : handle_(handle) {}
  Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  ~Handle() { Reset(); }

  SQLHANDLE get() const { return handle_; }

 private:
  void Reset() {
    if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(Type, handle_);
    handle_ = SQL_NULL_HANDLE;
  }
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

using Environment = Handle<SQL_HANDLE_ENV>;
using ConnectionHandle = Handle<SQL_HANDLE_DBC>;
using StatementHandle = Handle<SQL_HANDLE_STMT>;

// Whether an ODBC call succeeded (perhaps with information).
inline bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// The diagnostics of a handle: their SQLSTATEs and one line of messages.
struct Diagnostics {
  std::string states;  // each five-character state, one after another
  std::string message;
};

// The first eight diagnostic records of `handle`; never throws for want of
// them ("the driver gave no reason" when there are none).
Diagnostics Diagnose(SQLSMALLINT type, SQLHANDLE handle);

// Whether any of the states is a lost connection (class 08) or a timeout.
bool IsConnectionFailure(const std::string& states);

}  // namespace ostrand::store::odbc
