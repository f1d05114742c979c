// The page of a provider's or directory's user whom no person of this
// site is linked to yet (data/identities.h): the sign-in worked there, so
// the page says who signed in and to ask an administrator, who links the
// identity to a person on /admin/identities.
#pragma once

#include <string_view>

#include "web/http/response.h"
#include "web/i18n/language.h"

namespace ostrand::web {

// The 403 page for the identity named `who` (its claim or display name,
// as the provider or directory gave it; escaped here). Sets no cookie.
http::Response UnlinkedIdentityAnswer(Language language, std::string_view who);

}  // namespace ostrand::web
