// `ostrand feed-token`: shows a person's calendar feed address, or with
// --reset gives the person a new one (the old addresses stop working). The
// address is whole: from --public-url, else from where `ostrand serve`
// listens (--host, --port, with serve's defaults), and the command says on
// standard error which one it is.
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "commands.h"
#include "core/error.h"
#include "store/connect.h"
#include "store/schema.h"
#include "web/pages/feed_address.h"
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
  std::string host = "127.0.0.1";
  int port = 8080;
  bool listen_given = false;
};

// "http://HOST:PORT" of the address serve listens on; an IPv6 address in
// brackets.
std::string ListenAddress(const FeedTokenArguments& args) {
  const bool ipv6 = args.host.find(':') != std::string::npos && args.host.front() != '[';
  const std::string host = ipv6 ? "[" + args.host + "]" : args.host;
  const std::optional<std::string> url =
      web::http::ReadSiteAddress("http://" + host + ":" + std::to_string(args.port));
  if (!url) throw Error("--host '" + args.host + "' is no host name or address");
  return *url;
}

int RunFeedToken(const FeedTokenArguments& args) {
  std::string base;
  std::string whence;
  if (!args.public_url.empty()) {
    const std::optional<std::string> url = web::http::ReadSiteAddress(args.public_url);
    if (!url) throw Error("--public-url '" + args.public_url + "' is no http:// or https:// address");
    base = *url;
    whence = "the address is the site's --public-url";
  } else {
    base = ListenAddress(args);
    whence = args.listen_given
                 ? "the address is where `ostrand serve --host " + args.host + " --port " +
                       std::to_string(args.port) + "` listens; give --public-url for the one "
                                                   "users reach"
                 : "the address is where `ostrand serve` listens by default (--host 127.0.0.1 "
                   "--port 8080); give --public-url for the one users reach";
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
  std::cout << "webcal://" << base.substr(base.find("//") + 2) << path << "\n";
  std::cerr << "ostrand: " << whence << "\n";
  return 0;
}

}  // namespace

void AddFeedTokenCommand(CLI::App& app, int* exit_code) {
  auto args = std::make_shared<FeedTokenArguments>();
  CLI::App* cmd = app.add_subcommand(
      "feed-token",
      "Print the address of a person's own calendar feed (made on first use), or with --reset "
      "give the person a new one: every old feed address of the person stops working at once.");
  AddDatabaseOption(*cmd, &args->db);
  cmd->add_option("PERSONID", args->person_id, "The person's personID")->required();
  cmd->add_flag("--reset", args->reset, "Replace the person's feed token");
  cmd->add_option("--secret-file", args->secret_file,
                  "The secret file of `ostrand serve` (the feed tokens derive from its key). "
                  "Default: var/ostrand.secret, made when missing");
  cmd->add_option("--public-url", args->public_url,
                  "The site's address, as `ostrand serve --public-url` has it");
  cmd->add_option("--host", args->host,
                  "Without --public-url: the address `ostrand serve` listens on")
      ->capture_default_str();
  cmd->add_option("--port", args->port, "Without --public-url: the port it listens on")
      ->capture_default_str()
      ->check(CLI::Range(1, 65535));
  cmd->callback([cmd, args, exit_code] {
    args->listen_given = cmd->count("--host") > 0 || cmd->count("--port") > 0;
    try {
      *exit_code = RunFeedToken(*args);
    } catch (const std::exception& e) {
      std::cerr << "ostrand: " << e.what() << "\n";
      *exit_code = 1;
    }
  });
}

}  // namespace ostrand::cli
