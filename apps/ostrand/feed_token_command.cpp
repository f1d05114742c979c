// `ostrand feed-token`: shows a person's calendar feed address, or with
// --reset gives the person a new one (the old addresses stop working).
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "commands.h"
#include "core/error.h"
#include "store/connect.h"
#include "store/schema.h"
#include "web/api/feed_address.h"
#include "web/auth/personal_tokens.h"
#include "web/auth/server_secret.h"
#include "web/data/persons.h"
#include "web/http/site_address.h"

namespace ostrand::cli {
namespace {

struct FeedTokenArguments {
  std::string db;
  std::int64_t person_id = 0;
  bool reset = false;
  std::string secret_file;
  std::string public_url;
};

int RunFeedToken(const FeedTokenArguments& args) {
  std::string base;
  if (!args.public_url.empty()) {
    const std::optional<std::string> url = web::http::ReadSiteAddress(args.public_url);
    if (!url) throw Error("--public-url '" + args.public_url + "' is no http:// or https:// address");
    base = *url;
  }
  const web::SecretKey key = args.secret_file.empty()
                                 ? web::LoadSecret(kDefaultSecretFile, true)
                                 : web::LoadSecret(args.secret_file, false);
  const std::unique_ptr<store::Connection> db = store::Connect(args.db);
  store::CheckSchema(*db);
  const std::optional<web::Person> person = web::FindPerson(*db, args.person_id);
  if (!person) throw Error("no person with id " + std::to_string(args.person_id));
  const web::PersonalTokens tokens(key);
  const std::string token = args.reset ? tokens.ResetFeedToken(*db, person->id)
                                       : tokens.FeedToken(*db, person->id);
  const std::string path = web::FeedPath(token, web::FeedKind::kOwn);
  if (args.reset) {
    std::cout << "new feed address of person " << person->id
              << "; the old addresses no longer work\n";
  }
  std::cout << base << path << "\n";
  if (!base.empty()) std::cout << "webcal://" << base.substr(base.find("//") + 2) << path << "\n";
  return 0;
}

}  // namespace

void AddFeedTokenCommand(CLI::App& app, int* exit_code) {
  auto args = std::make_shared<FeedTokenArguments>();
  CLI::App* cmd = app.add_subcommand(
      "feed-token",
      "Print the address of a person's own calendar feed (made on first use), or with --reset "
      "give the person a new one: every old feed address of the person stops working at once.");
  cmd->add_option("--db", args->db,
                  "Connection string of the schedule database (sqlite:PATH, postgresql://..., "
                  "odbc:...)")
      ->required();
  cmd->add_option("PERSONID", args->person_id, "The person's personID")->required();
  cmd->add_flag("--reset", args->reset, "Replace the person's feed token");
  cmd->add_option("--secret-file", args->secret_file,
                  "The secret file of `ostrand serve` (the feed tokens derive from its key). "
                  "Default: var/ostrand.secret, made when missing");
  cmd->add_option("--public-url", args->public_url,
                  "The site's address, to print whole https:// and webcal:// addresses "
                  "instead of the path");
  cmd->callback([args, exit_code] {
    try {
      *exit_code = RunFeedToken(*args);
    } catch (const std::exception& e) {
      std::cerr << "ostrand: " << e.what() << "\n";
      *exit_code = 1;
    }
  });
}

}  // namespace ostrand::cli
