// LdapDirectory: the sign-in form's passwords checked against an LDAP
// directory (serve --ldap-url), with OpenLDAP's client library.
//
// A check finds the user's entry by the operator's filter, the typed name
// escaped in it (ldap_filter.h), under the search base, as the search
// account (--ldap-bind-dn) or anonymously; exactly one entry must match.
// It then binds as that entry's DN with the typed password: the directory
// itself judges the password, nothing of it is read or kept here.
//
// Every check opens a connection of its own and closes it when done. A
// sign-in is rare next to the cost of one TLS handshake, so a pool would
// save little and bring what pools bring: connections that the directory
// or a firewall dropped while idle, and a connection left bound as the
// last user, which the next search would run as. Several threads check at
// once without sharing anything but the settings, which never change.
//
// Nothing goes over the wire in plain text: ldaps:// speaks TLS from the
// start, ldap:// always asks for StartTLS first and stops when it fails.
// The server's certificate must verify (against --ca-file when given,
// else the system's authorities) and name the host of the URL; TLS 1.2 at
// least.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "web/auth/directory.h"
#include "web/site/server_options.h"

namespace ostrand::web {

class LdapDirectory final : public PasswordDirectory {
 public:
  // A directory with the options and the authorities of `ca_file` (empty:
  // the system's). Opens no connection, but sets up one client handle and
  // its TLS settings once, so that a bad setting shows at start. Throws
  // Error (kBadInput) naming the value when the URL is not one ldap:// or
  // ldaps:// address with a host, the base or the person attribute is
  // empty, the filter has no %s, a bind DN comes without a password (an
  // empty password binds as nobody), the timeout is not positive, or the
  // client library refuses the URL or the CA file.
  LdapDirectory(const LdapOptions& options, const std::string& ca_file);
  LdapDirectory(const LdapDirectory&) = delete;
  LdapDirectory& operator=(const LdapDirectory&) = delete;

  // Checks the password of the one entry that `name` finds:
  //   kRefused    for an empty password, before any connection (a simple
  //               bind without one is an anonymous bind that "succeeds"),
  //               for a wrong password, and when the name finds several
  //               entries or an entry that may not bind;
  //   kNoSuchUser when the name finds no entry, or is empty or longer than
  //               kIdentityFieldLimit bytes (asked for nothing);
  //   kDown       when the directory cannot be reached, TLS fails, the
  //               search account is refused, or an operation takes longer
  //               than the timeout;
  //   kBound      with the identity: issuer() and the entry's DN, the
  //               first value of the person attribute, and displayName,
  //               else cn (cut to kIdentityFieldLimit bytes on a character
  //               boundary; empty when the entry has none).
  // Blocks for at most a few timeouts. Safe from several threads at once;
  // SIGPIPE is held off on the calling thread while it runs. Throws
  // nothing but for want of memory.
  DirectoryAnswer Check(std::string_view name, std::string_view password) override;

  // The issuer of this directory's identities: the URL (without a trailing
  // slash), a slash and the search base, "ldaps://host:636/ou=people,dc=example,dc=org".
  const std::string& issuer() const { return issuer_; }

 private:
  const std::string url_;
  const bool ldaps_;
  const std::string base_;
  const std::string filter_;
  const std::string bind_dn_;
  const std::string bind_password_;
  const std::string person_attribute_;
  const std::chrono::milliseconds timeout_;
  const std::string ca_file_;
  const std::string issuer_;
};

}  // namespace ostrand::web
