#include "web/oidc/oidc_client.h"
