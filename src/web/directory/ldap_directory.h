// LdapDirectory: the sign-in form's passwords checked against an LDAP
// directory (serve --ldap-url).
#pragma once

#include "web/auth/directory.h"
