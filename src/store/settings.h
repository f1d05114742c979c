// The database layer's timeouts and bounds, in one place. Every backend and
// the connection pool read them from here.
#pragma once

#include <chrono>
#include <cstddef>

namespace ostrand::store {

// How long an SQLite connection waits for another writer's lock before it
// reports the database as busy.
inline constexpr std::chrono::milliseconds kBusyTimeout{5000};

// How long opening a connection to a database server may take (PostgreSQL's
// connect_timeout, ODBC's login timeout) before it is reported unavailable.
inline constexpr std::chrono::seconds kConnectTimeout{5};

// How long data sent to a database server over TCP may stay unacknowledged
// before the connection is given up: a server that vanished from the
// network, rather than one that is slow to answer.
inline constexpr std::chrono::milliseconds kServerSilenceTimeout{10000};

// How long a request waits for a pooled connection when every one is in
// use, before the database is reported busy.
inline constexpr std::chrono::seconds kPoolWaitTimeout{5};

// A pooled server connection idle for longer than this is checked with a
// round trip before it is handed out again.
inline constexpr std::chrono::seconds kPoolPingAfterIdle{2};

// Prepared statements kept per connection; the least recently used one is
// dropped beyond this. The component sends a handful of shapes and the host
// a few dozen texts.
inline constexpr std::size_t kStatementCacheSize = 64;

// Rows of read-only queries an SQLite connection keeps while its database
// stays unchanged (store/result_cache.h): at most this many results and
// about this many bytes per connection. A leader month of a thousand
// persons fits.
inline constexpr std::size_t kResultCacheEntries = 4096;
inline constexpr std::size_t kResultCacheBytes = std::size_t{8} << 20;
// Values made from kept rows (Connection::KeptValue) a connection keeps at
// most; a further one drops them all.
inline constexpr std::size_t kKeptValues = 64;

// Component texts each connection keeps lifted and translated: a leader
// month of a thousand persons sends a thousand texts, one per person.
inline constexpr std::size_t kComponentTextCacheSize = 2048;

// Connections of a web host's pool unless the command line says otherwise.
inline constexpr std::size_t kDefaultPoolSize = 8;

}  // namespace ostrand::store
