// The catalogues themselves, one per language, as lists of (id, text)
// pairs in any order. messages.cpp looks texts up in them; the catalogue
// test checks that each holds every id once, with the same placeholders.
#pragma once

#include <span>
#include <string_view>

#include "web/i18n/messages.h"

namespace ostrand::web {

struct CatalogueEntry {
  MessageId id;
  std::string_view text;
};

std::span<const CatalogueEntry> ChineseCatalogue();
std::span<const CatalogueEntry> EnglishCatalogue();

// The catalogue of the language.
std::span<const CatalogueEntry> CatalogueOf(Language language);

}  // namespace ostrand::web
