// Incident numbers: a failure's page shows one, and the access log line
// with the same number holds the cause, so an operator can find what went
// wrong for the person who reports it while the page tells an attacker
// nothing.
#pragma once

#include <string>

namespace ostrand::web::http {

// A fresh incident number: eight upper-case hex digits, random (so that the
// numbers of several processes sharing a log do not collide in practice).
std::string NewIncidentNumber();

}  // namespace ostrand::web::http
