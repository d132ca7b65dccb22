#include "app.h"

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "admin.h"
#include "api.h"
#include "html.h"
#include "pages.h"
#include "platform/wvapi.h"
#include "view.h"

namespace tng::web {

namespace {

constexpr const char* kCookie = "tng_session";
constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kJson = "application/json";
constexpr size_t kLatestChanges = 20;
constexpr size_t kLongestParameter = 1000;
constexpr size_t kLongestUser = 256;
constexpr int kDefaultDays = 30, kMostDays = 366;

// An answer other than 200, with its message.
struct HttpError : std::runtime_error {
  HttpError(int status, const std::string& message) : std::runtime_error(message), status(status) {}
  int status;
};

// The repository cannot be read: its server is lost, or it is gone.
struct Unavailable : std::runtime_error {
  using std::runtime_error::runtime_error;
};

bool starts_with(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

std::vector<std::string_view> segments(std::string_view path) {
  std::vector<std::string_view> out;
  while (!path.empty()) {
    path.remove_prefix(1);  // the '/'
    const size_t slash = path.find('/');
    out.push_back(path.substr(0, slash));
    path = slash == std::string_view::npos ? std::string_view{} : path.substr(slash);
  }
  return out;
}

std::optional<std::string> param(const httplib::Request& req, const char* name) {
  if (!req.has_param(name)) return std::nullopt;
  std::string value = req.get_param_value(name);
  if (value.size() > kLongestParameter)
    throw HttpError(400, std::string("the parameter '") + name + "' is longer than " +
                             std::to_string(kLongestParameter) + " bytes");
  return value;
}

// A filter's text: an empty one is no filter.
std::optional<std::string> filter_param(const httplib::Request& req, const char* name) {
  std::optional<std::string> value = param(req, name);
  if (value && value->empty()) return std::nullopt;
  return value;
}

std::optional<int64_t> number_param(const httplib::Request& req, const char* name, int64_t least,
                                    int64_t most, const char* what) {
  std::optional<std::string> text = param(req, name);
  if (!text) return std::nullopt;
  int64_t n = 0;
  // At most 18 digits, so that the number cannot overflow.
  bool ok = !text->empty() && text->size() <= 18;
  for (size_t i = 0; ok && i < text->size(); ++i) {
    const char c = (*text)[i];
    ok = c >= '0' && c <= '9';
    n = n * 10 + (c - '0');
  }
  if (!ok || n < least || n > most)
    throw HttpError(400, std::string("'") + name + "' must be " + what);
  return n;
}

int64_t cursor_param(const httplib::Request& req, const char* name) {
  return number_param(req, name, 0, INT64_MAX, "a cursor from an earlier answer (a whole number)")
      .value_or(0);
}

size_t limit_param(const httplib::Request& req) {
  return static_cast<size_t>(
      number_param(req, "limit", 1, kMaxLimit, "a whole number from 1 to 1000")
          .value_or(kPageRows));
}

std::optional<std::string> day_param(const httplib::Request& req, const char* name) {
  std::optional<std::string> day = filter_param(req, name);
  if (day && !valid_day(*day))
    throw HttpError(400, std::string("'") + name + "' must be a day written YYYY-MM-DD");
  return day;
}

repo::Uuid uuid_segment(std::string_view text) {
  std::optional<repo::Uuid> uuid = repo::parse_uuid(text);
  if (!uuid) throw HttpError(404, "'" + std::string(text) + "' is not the uuid of an object");
  return *uuid;
}

AuditQuery audit_query(const httplib::Request& req, size_t limit) {
  AuditQuery q;
  q.user = filter_param(req, "user");
  q.class_name = filter_param(req, "class");
  q.since = day_param(req, "since");
  q.until = day_param(req, "until");
  const int64_t before = cursor_param(req, "before");
  if (before > 0) q.before = before;
  q.limit = limit;
  return q;
}

// Where to go after logging in: a path of this server, else the overview.
std::string safe_next(std::string_view next) {
  if (next.empty() || next[0] != '/' || (next.size() > 1 && (next[1] == '/' || next[1] == '\\')))
    return "/";
  for (char c : next)
    if (c <= ' ' || c > '~' || c == '\\') return "/";
  return std::string(next);
}

void set_session_cookie(httplib::Response& res, const std::string& token, bool https) {
  res.set_header("Set-Cookie", std::string(kCookie) + "=" + token +
                                   "; Path=/; HttpOnly; SameSite=Strict" +
                                   (https ? "; Secure" : ""));
}

const char* status_text(int status) {
  switch (status) {
    case 400:
      return "Bad request";
    case 401:
      return "Not logged in";
    case 403:
      return "Forbidden";
    case 404:
      return "Not found";
    case 405:
      return "Not allowed";
    case 429:
      return "Too many attempts";
    default:
      return "Server error";
  }
}

void see_other(httplib::Response& res, const std::string& location) {
  res.status = 303;
  res.set_header("Location", location);
}

}  // namespace

void security_headers(httplib::Response& res) {
  if (res.has_header("Content-Security-Policy")) return;
  res.set_header("Content-Security-Policy",
                 "default-src 'none'; style-src 'self'; img-src 'self'; form-action 'self'; "
                 "frame-ancestors 'none'; base-uri 'none'");
  res.set_header("X-Content-Type-Options", "nosniff");
  res.set_header("X-Frame-Options", "DENY");
  res.set_header("Referrer-Policy", "same-origin");
  res.set_header("Cache-Control", "no-store");
}

struct App::Context {
  const httplib::Request& req;
  httplib::Response& res;
  Clock::time_point now;
  bool api;
  std::string user;
  Viewer viewer() const;
  std::string_view repository;
};

Viewer App::Context::viewer() const { return Viewer{repository, user}; }

App::App(std::string repository, bool https) : repository_(std::move(repository)), https_(https) {}
App::~App() = default;

void App::open() { store_ = repo::open_store(repository_); }

template <typename Body>
void App::read(Body body) {
  try {
    if (!store_) store_ = repo::open_store(repository_);
    repo::StoreTransaction t(*store_, repo::Store::kRead);
    body(*store_);
    t.commit();
  } catch (const repo::Error& e) {
    // A rule's answer (no such class, ...) from an open repository is the
    // request's; a storage failure or a repository that cannot be opened
    // is the server's, and the next request opens it again.
    if (store_ && e.code() != repo::kFailed) throw;
    store_.reset();
    if (!lost_)
      std::fprintf(stderr, "wvrepo: serve: the repository cannot be read: %s\n", e.what());
    lost_ = true;
    throw Unavailable(e.what());
  }
  if (lost_) {
    std::fprintf(stderr, "wvrepo: serve: the repository can be read again\n");
    lost_ = false;
  }
}

const std::vector<repo::ClassCount>& App::counts(repo::Store& store, Clock::time_point now) {
  if (!counts_at_ || now - *counts_at_ >= kCountsFresh) {
    counts_ = class_counts(store);
    counts_at_ = now;
  }
  return counts_;
}

std::optional<std::string> App::session_user(const httplib::Request& req) {
  if (!req.has_header("Cookie")) return std::nullopt;
  const std::string header = req.get_header_value("Cookie");
  std::optional<std::string_view> token = cookie_value(header, kCookie);
  if (!token) return std::nullopt;
  return sessions_.user_of(*token, Clock::now());
}

bool App::same_origin(const httplib::Request& req) const {
  if (!req.has_header("Origin")) return true;
  return req.get_header_value("Origin") ==
         (https_ ? "https://" : "http://") + req.get_header_value("Host");
}

void App::handle(const httplib::Request& req, httplib::Response& res) {
  security_headers(res);
  Context c{req, res, Clock::now(), starts_with(req.path, "/api/"), "", repository_};
  try {
    if (req.method != "GET" && req.method != "HEAD") {
      res.set_header("Allow", req.path == "/login"    ? "GET, HEAD, POST"
                              : req.path == "/logout" ? "POST"
                                                      : "GET, HEAD");
      throw HttpError(405, "this view only reads: " + req.method + " is not allowed here");
    }
    if (req.path == "/style.css") {
      res.headers.erase("Cache-Control");
      res.set_header("Cache-Control", "max-age=3600");
      res.set_content(std::string(stylesheet()), "text/css; charset=utf-8");
      return;
    }
    if (req.path == "/favicon.ico") throw HttpError(404, "no icon");
    if (req.path == "/logout") {
      res.set_header("Allow", "POST");
      throw HttpError(405, "log out with the button of a page (a POST request)");
    }
    if (c.api) {
      if (api_user(c)) route_api(c);
      return;
    }
    std::optional<std::string> user = session_user(req);
    if (req.path == "/login") {
      const std::string next = safe_next(param(req, "next").value_or("/"));
      if (user)
        see_other(res, next);
      else
        res.set_content(login_page(repository_, next, "", ""), kHtml);
      return;
    }
    if (!user) {
      see_other(res, req.target == "/" ? "/login" : "/login?next=" + url_encode(req.target));
      return;
    }
    c.user = *user;
    route(c);
  } catch (const HttpError& e) {
    res.status = e.status;
    if (c.api)
      res.set_content(api::error(e.what()), kJson);
    else
      res.set_content(error_page(c.viewer(), status_text(e.status), e.what()), kHtml);
  } catch (const Unavailable& e) {
    res.status = 503;
    res.set_header("Retry-After", "5");
    const std::string message = std::string("the repository cannot be reached just now (") +
                                e.what() +
                                "); the view comes back by itself once it can be reached again";
    if (c.api)
      res.set_content(api::error(message), kJson);
    else
      res.set_content(error_page(c.viewer(), "Repository unavailable", message), kHtml);
  } catch (const repo::Error& e) {
    const int code = e.code();
    res.status = code == WV_NO_SUCH_CLASS || code == repo::kNotFound    ? 404
                 : code == repo::kBadArgument || code == repo::kTooLong ? 400
                                                                        : 500;
    if (res.status == 500)
      std::fprintf(stderr, "wvrepo: serve: %s %s: %s\n", req.method.c_str(), req.path.c_str(),
                   e.what());
    if (c.api)
      res.set_content(api::error(e.what()), kJson);
    else
      res.set_content(error_page(c.viewer(), status_text(res.status), e.what()), kHtml);
  }
}

void App::route(Context& c) {
  const std::vector<std::string_view> parts = segments(c.req.path);
  const Viewer viewer = c.viewer();
  std::string body;
  if (c.req.path == "/") {
    read([&](repo::Store& store) {
      const std::vector<repo::ClassCount>& classes = counts(store, c.now);
      AuditQuery latest;
      latest.limit = kLatestChanges;
      body = overview_page(viewer, classes, audit_page(store, latest).rows);
    });
  } else if (parts.size() == 2 && parts[0] == "classes" && !parts[1].empty()) {
    const std::optional<std::string> filter = filter_param(c.req, "q");
    const int64_t after = cursor_param(c.req, "after");
    read([&](repo::Store& store) {
      body = class_page(viewer, parts[1], objects_of(store, parts[1], after, kPageRows, filter),
                        filter, after);
    });
  } else if (parts.size() == 2 && parts[0] == "objects") {
    const repo::Uuid uuid = uuid_segment(parts[1]);
    read([&](repo::Store& store) {
      std::optional<ObjectView> view = object_view(store, uuid);
      if (!view) throw HttpError(404, "there is no object " + repo::uuid_text(uuid));
      body = object_page(viewer, *view);
    });
  } else if (c.req.path == "/links") {
    const int64_t after = cursor_param(c.req, "after");
    read([&](repo::Store& store) {
      body = links_html(viewer, links_page(store, after, kPageRows), after);
    });
  } else if (c.req.path == "/audit") {
    const AuditQuery query = audit_query(c.req, kPageRows);
    read([&](repo::Store& store) { body = audit_html(viewer, query, audit_page(store, query)); });
  } else if (c.req.path == "/chart" || c.req.path == "/chart.svg") {
    const int days =
        static_cast<int>(number_param(c.req, "days", 1, kMostDays, "a number of days from 1 to 366")
                             .value_or(kDefaultDays));
    const std::string last = today(), first = day_minus(last, days - 1);
    Moves moves;
    read([&](repo::Store& store) { moves = moves_per_day(store, first, last); });
    if (c.req.path == "/chart.svg") {
      c.res.set_content(moves_svg(moves, true), "image/svg+xml");
      return;
    }
    body = chart_page(viewer, moves, days);
  } else {
    throw HttpError(404, "there is no page " + c.req.path);
  }
  c.res.set_content(body, kHtml);
}

void App::route_api(Context& c) {
  const std::vector<std::string_view> parts = segments(c.req.path);  // "api", ...
  std::string body;
  if (parts.size() == 2 && parts[1] == "classes") {
    read([&](repo::Store& store) { body = api::classes(counts(store, c.now)); });
  } else if (parts.size() == 4 && parts[1] == "classes" && parts[3] == "objects" &&
             !parts[2].empty()) {
    const size_t limit = limit_param(c.req);
    const int64_t after = cursor_param(c.req, "after");
    const std::optional<std::string> filter = filter_param(c.req, "contains");
    read([&](repo::Store& store) {
      body = api::objects(objects_of(store, parts[2], after, limit, filter));
    });
  } else if (parts.size() == 3 && parts[1] == "objects") {
    const repo::Uuid uuid = uuid_segment(parts[2]);
    read([&](repo::Store& store) {
      std::optional<ObjectView> view = object_view(store, uuid);
      if (!view) throw HttpError(404, "there is no object " + repo::uuid_text(uuid));
      body = api::object(*view);
    });
  } else if (parts.size() == 2 && parts[1] == "audit") {
    const AuditQuery query = audit_query(c.req, limit_param(c.req));
    read([&](repo::Store& store) { body = api::audit(audit_page(store, query)); });
  } else if (parts.size() == 2 && parts[1] == "links") {
    const size_t limit = limit_param(c.req);
    const int64_t after = cursor_param(c.req, "after");
    read([&](repo::Store& store) { body = api::links(links_page(store, after, limit)); });
  } else if (parts.size() == 2 && parts[1] == "moves") {
    const int days =
        static_cast<int>(number_param(c.req, "days", 1, kMostDays, "a number of days from 1 to 366")
                             .value_or(kDefaultDays));
    const std::string last = today(), first = day_minus(last, days - 1);
    read([&](repo::Store& store) { body = api::moves(moves_per_day(store, first, last)); });
  } else {
    throw HttpError(404, "there is no API document " + c.req.path);
  }
  c.res.set_content(body, kJson);
}

bool App::api_user(Context& c) {
  if (std::optional<std::string> user = session_user(c.req)) {
    c.user = *user;
    return true;
  }
  auto refuse = [&](const std::string& message) {
    c.res.set_header("WWW-Authenticate", "Basic realm=\"wvrepo\", charset=\"UTF-8\"");
    throw HttpError(401, message);
  };
  if (!c.req.has_header("Authorization"))
    refuse("authentication required: a session cookie or HTTP Basic authentication");
  auto credentials = basic_credentials(c.req.get_header_value("Authorization"));
  if (!credentials) refuse("the Authorization header is not HTTP Basic authentication");
  auto& [user, password] = *credentials;
  if (user.empty() || user.size() > kLongestUser) refuse("wrong user name or password");
  if (const auto wait = throttle_.wait(user, c.now); wait.count() > 0) {
    c.res.set_header("Retry-After", std::to_string(wait.count()));
    throw HttpError(429, "too many wrong passwords for this user: try again in " +
                             std::to_string(wait.count()) + " s");
  }
  bool ok = false;
  read([&, &user = user, &password = password](repo::Store& store) {
    ok = repo::check_user(store, user, password);
  });
  if (!ok) {
    throttle_.failed(user, c.now);
    refuse("wrong user name or password");
  }
  throttle_.succeeded(user);
  c.user = user;
  return true;
}

void App::login_failed(httplib::Response& res, const std::string& user, const std::string& next,
                       int status, const std::string& message, int retry_after) {
  res.status = status;
  if (retry_after > 0) res.set_header("Retry-After", std::to_string(retry_after));
  res.set_content(login_page(repository_, next, user, message), kHtml);
}

void App::login(const httplib::Request& req, httplib::Response& res) {
  security_headers(res);
  const Clock::time_point now = Clock::now();
  const std::string next = safe_next(req.has_param("next") ? req.get_param_value("next") : "/");
  const std::string user = req.has_param("user") ? req.get_param_value("user") : "";
  const std::string password = req.has_param("password") ? req.get_param_value("password") : "";
  if (!same_origin(req))
    return login_failed(res, "", next, 403, "This form was sent from another site.", 0);
  if (user.empty()) return login_failed(res, "", next, 400, "Give a user name.", 0);
  if (user.size() > kLongestUser)
    return login_failed(res, "", next, 401, "Wrong user name or password.", 0);
  if (const auto wait = throttle_.wait(user, now); wait.count() > 0)
    return login_failed(res, user, next, 429,
                        "Too many wrong passwords for this user: try again in " +
                            std::to_string(wait.count()) + " s.",
                        static_cast<int>(wait.count()));
  bool ok = false;
  try {
    read([&, &user = user, &password = password](repo::Store& store) {
      ok = repo::check_user(store, user, password);
    });
  } catch (const Unavailable& e) {
    return login_failed(
        res, user, next, 503,
        std::string("The repository cannot be reached just now (") + e.what() + ").", 5);
  }
  if (!ok) {
    throttle_.failed(user, now);
    return login_failed(res, user, next, 401, "Wrong user name or password.", 0);
  }
  throttle_.succeeded(user);
  set_session_cookie(res, sessions_.open(user, now), https_);
  see_other(res, next);
}

void App::logout(const httplib::Request& req, httplib::Response& res) {
  security_headers(res);
  if (!same_origin(req)) {
    res.status = 403;
    res.set_content(
        error_page(Viewer{repository_, ""}, "Forbidden", "This form was sent from another site."),
        kHtml);
    return;
  }
  if (req.has_header("Cookie")) {
    const std::string header = req.get_header_value("Cookie");
    if (std::optional<std::string_view> token = cookie_value(header, kCookie))
      sessions_.close(*token);
  }
  res.set_header("Set-Cookie", std::string(kCookie) +
                                   "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict" +
                                   (https_ ? "; Secure" : ""));
  see_other(res, "/login");
}

}  // namespace tng::web
