// `ostrand serve`: the web host.
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <memory>
#include <string>

#include "commands.h"
#include "core/error.h"
#include "store/settings.h"
#include "web/server.h"
#include "web/server_options.h"
#include "web/auth/server_secret.h"

namespace ostrand::cli {
namespace {

constexpr const char* kDefaultSecretFile = "var/ostrand.secret";

struct ServeArguments {
  std::string db;
  std::string host = "127.0.0.1";
  int port = 8080;
  std::string secret_file;
  std::string leader_duties{web::kDefaultLeaderDuties};
  std::string leader_cond{web::kDefaultLeaderCond};
  std::string leader2_cond{web::kDefaultLeader2Cond};
  std::size_t pool_size = store::kDefaultPoolSize;
  std::size_t hash_workers = 0;
  std::size_t max_plans_per_day = web::ServerOptions{}.max_plans_per_day;
  std::int64_t max_plan_days = web::ServerOptions{}.max_plan_days;
};

int RunServe(const ServeArguments& args) {
  web::ServerOptions options;
  options.connection_string = args.db;
  options.host = args.host;
  options.port = args.port;
  options.leader_duties = web::ParseDutyList(args.leader_duties);
  options.leader_cond = args.leader_cond;
  options.leader2_cond = args.leader2_cond;
  options.pool_size = args.pool_size;
  options.hash_workers = args.hash_workers;
  options.max_plans_per_day = args.max_plans_per_day;
  options.max_plan_days = args.max_plan_days;
  // A secret file named by the operator must exist; the default one is made
  // on first start.
  options.secret = args.secret_file.empty() ? web::LoadSecret(kDefaultSecretFile, true)
                                            : web::LoadSecret(args.secret_file, false);
  options.access_log = &std::cerr;
  web::WebServer server(std::move(options));
  const int port = server.Bind();
  std::cout << "ostrand serve: listening on http://" << args.host << ":" << port << "/"
            << std::endl;
  if (!web::ServeUntilSignalled(server)) {
    std::cerr << "ostrand: serving failed\n";
    return 1;
  }
  std::cout << "ostrand serve: stopped" << std::endl;
  return 0;
}

}  // namespace

void AddServeCommand(CLI::App& app, int* exit_code) {
  auto args = std::make_shared<ServeArguments>();
  CLI::App* cmd = app.add_subcommand(
      "serve",
      "Serve the schedule pages in a browser: sign-in, personal and leader views, day editor.");
  cmd->add_option("--db", args->db, "Connection string of the schedule database (sqlite:PATH, postgresql://..., odbc:...)")
      ->required();
  cmd->add_option("--host", args->host, "Address to listen on")->capture_default_str();
  cmd->add_option("--port", args->port, "Port to listen on (0: any free port)")
      ->capture_default_str()
      ->check(CLI::Range(0, 65535));
  cmd->add_option("--pool-size", args->pool_size,
                  "Database connections the server keeps open and shares among requests")
      ->capture_default_str()
      ->check(CLI::Range(1, 1000));
  cmd->add_option("--secret-file", args->secret_file,
                  "File whose content (at least 32 bytes) signs the session cookies; processes "
                  "sharing it accept each other's sign-ins. Default: var/ostrand.secret, "
                  "generated with mode 0600 on first start");
  cmd->add_option("--leader-duties", args->leader_duties,
                  "Comma list of the dutyIDs that may open the leader pages")
      ->capture_default_str();
  cmd->add_option("--leader-cond", args->leader_cond,
                  "SQL condition over person and personDuty choosing the persons of "
                  "leaderMonth.asp / leaderWeek.asp (operator configuration, never from a request)")
      ->capture_default_str();
  cmd->add_option("--leader2-cond", args->leader2_cond,
                  "SQL condition choosing the persons of leader2Month.asp / leader2Week.asp")
      ->capture_default_str();
  cmd->add_option("--hash-workers", args->hash_workers,
                  "Threads that check sign-in passwords, each using 64 MiB while it works "
                  "(default 0: as many as the processors and a sixteenth of the memory allow)")
      ->capture_default_str()
      ->check(CLI::Range(0, 256));
  cmd->add_option("--max-plans-per-day", args->max_plans_per_day,
                  "The day editor refuses a plan when the person already has this many plans "
                  "on one of its days")
      ->capture_default_str()
      ->check(CLI::Range(1, 100000));
  cmd->add_option("--max-plan-days", args->max_plan_days,
                  "The most days one plan written in the day editor may cover")
      ->capture_default_str()
      ->check(CLI::Range(1, 3660000));
  cmd->callback([args, exit_code] {
    try {
      *exit_code = RunServe(*args);
    } catch (const std::exception& e) {
      std::cerr << "ostrand: " << e.what() << "\n";
      *exit_code = 1;
    }
  });
}

}  // namespace ostrand::cli
