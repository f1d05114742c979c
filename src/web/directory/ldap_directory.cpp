#include "web/directory/ldap_directory.h"
