#include "web/admin/admin_routes.h"

#include <utility>

#include "core/html.h"
#include "web/admin/audit_page.h"
#include "web/admin/persons_page.h"
#include "web/admin/organisation_pages.h"
#include "web/admin/access_page.h"
#include "web/admin/identities_page.h"
#include "web/admin/webhooks_page.h"
#include "web/auth/sign_in.h"
#include "web/i18n/http_error.h"
#include "web/pages/page_audit.h"
#include "web/pages/page_layout.h"

namespace ostrand::web {
namespace {

// The index: a link to each section.
PageReply ShowAdministration(PageRequest& request) {
  struct Section {
    std::string_view path;
    MessageId caption;
  };
  constexpr Section kSections[] = {
      {kAdminPersonsPath, MessageId::kAdminPersonsTitle},
      {kAdminDepartmentsPath, MessageId::kAdminDepartmentsTitle},
      {kAdminDutiesPath, MessageId::kAdminDutiesTitle},
      {kAdminPlacesPath, MessageId::kAdminPlacesTitle},
      {kAdminIdentitiesPath, MessageId::kAdminIdentitiesTitle},
      {kAdminWebhooksPath, MessageId::kAdminWebhooksTitle},
      {kAdminAuditPath, MessageId::kAdminAuditTitle},
  };
  const Language language = request.language;
  std::string out;
  AppendPageStart(out, language, Text(language, MessageId::kAdminTitle), &request.visitor,
                  request.here);
  out += "<h1>";
  AppendEscapedHtml(out, Text(language, MessageId::kAdminTitle));
  out += "</h1>\n<p>";
  AppendEscapedHtml(out, Text(language, MessageId::kAdminIntro));
  out += "</p>\n<ul class=\"admin-sections\">\n";
  for (const Section& section : kSections) {
    out += "<li><a href=\"";
    AppendEscapedHtml(out, section.path);
    out += "\">";
    AppendEscapedHtml(out, Text(language, section.caption));
    out += "</a></li>\n";
  }
  out += "</ul>\n";
  AppendPageEnd(out);
  return PageReply(200, std::move(out));
}

std::vector<AdminRoute> MakeRoutes() {
  std::vector<AdminRoute> routes = {
      {kAdminFolder, kAdminGet, ShowAdministration},
  };
  // Persons.
  routes.push_back({kAdminPersonsPath, kAdminGet | kAdminPost, PersonsPage});
  routes.push_back({kAdminPersonImportPath, kAdminGet | kAdminPost, PersonImportPage});

  // Departments, duties and places.
  routes.push_back({kAdminDepartmentsPath, kAdminGet | kAdminPost, DepartmentsPage});
  routes.push_back({kAdminDutiesPath, kAdminGet | kAdminPost, DutiesPage});
  routes.push_back({kAdminPlacesPath, kAdminGet | kAdminPost, PlacesPage});

  // Accounts and access.
  routes.push_back({kAdminAccessPath, kAdminGet | kAdminPost, [](PageRequest& request) {
                      const bool post = request.http != nullptr && request.http->method == "POST";
                      return post ? SubmitAccess(request) : ShowAccess(request);
                    }});

  // The identities of the provider and the directory.
  routes.push_back({kAdminIdentitiesPath, kAdminGet | kAdminPost, [](PageRequest& request) {
                      const bool post = request.http != nullptr && request.http->method == "POST";
                      return post ? SubmitIdentities(request) : ShowIdentities(request);
                    }});

  // The receivers of webhooks and their deliveries.
  routes.push_back({kAdminWebhooksPath, kAdminGet | kAdminPost, [](PageRequest& request) {
                      const bool post = request.http != nullptr && request.http->method == "POST";
                      return post ? SubmitWebhooks(request) : ShowWebhooks(request);
                    }});

  // The audit log.
  routes.push_back({kAdminAuditPath, kAdminGet, ShowAuditLog});

  return routes;
}

}  // namespace

const std::vector<AdminRoute>& AdminRoutes() {
  static const std::vector<AdminRoute> routes = MakeRoutes();
  return routes;
}

PageReply ServeAdministration(PageRequest& request) {
  RequireAdministrator(request.visitor);
  const std::string_view method = request.http != nullptr ? std::string_view(request.http->method)
                                                          : std::string_view("GET");
  unsigned wanted = 0;
  if (method == "GET" || method == "HEAD") wanted = kAdminGet;
  if (method == "POST") wanted = kAdminPost;
  // Several routes may serve one path, each for its methods.
  unsigned allowed = 0;
  for (const AdminRoute& route : AdminRoutes()) {
    if (route.path != request.path) continue;
    if ((route.methods & wanted) != 0) return route.page(request);
    allowed |= route.methods;
  }
  if (allowed != 0) {
    PageReply reply(405, ErrorPage(request.language, 405,
                                   Text(request.language, MessageId::kMethodNotAllowed),
                                   &request.visitor));
    reply.headers.push_back({"Allow", (allowed & kAdminPost) != 0
                                          ? ((allowed & kAdminGet) != 0 ? "GET, HEAD, POST" : "POST")
                                          : "GET, HEAD"});
    return reply;
  }
  throw HttpError(404, {MessageId::kPageNotFound, {}});
}

AuditRecord AuditOf(const PageRequest& request, std::string_view kind,
                    std::optional<std::int64_t> subject, std::string detail) {
  return VisitorAudit(request, kind, subject, std::move(detail));
}

}  // namespace ostrand::web
