// Writes demo rows (store/demo_data.h) into a new SQLite database file.
#pragma once

#include <functional>
#include <string>

#include "store/demo_data.h"

namespace ostrand::store {

// Writes a database with the schema (store/schema.h) and every row of `data`
// to `path`, in one transaction. The rows go into a temporary file next to
// `path` first, which then takes the place of `path` in one step: a failure
// leaves no half-written database behind, and a file that was there stays
// as it was. Without `replace`, an existing file at `path` is never touched
// (Error naming the path, also when the file appears while the rows are
// written); with it, an existing file is replaced. Throws Error naming the
// path when the file cannot be written.
//
// `finish`, when given, runs on the temporary file after the rows are in and
// before it takes the place of `path`: a host adds its own rows there (the
// sign-in accounts). An exception from it propagates and leaves no file.
void WriteDemoDatabase(const DemoData& data, const std::string& path, bool replace,
                       const std::function<void(const std::string& file)>& finish = {});

}  // namespace ostrand::store
