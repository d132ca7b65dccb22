// The web view's requests: who asks (sessions, Basic authentication, the
// brake on wrong passwords), which page or API document answers, and the
// repository under them, reopened when its server was lost.
//
// The server runs in one thread and hands over one request at a time.
#pragma once
#include <httplib.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "auth.h"
#include "repository.h"

namespace tng::web {

class App {
 public:
  // `https`: the cookie is marked Secure and a POST's Origin must be https.
  App(std::string repository, bool https);
  ~App();

  // Opens the repository: throws repo::Error when it cannot be, so that a
  // wrong name is told at start.
  void open();

  // Every request but POST /login and POST /logout. Always handles it:
  // other methods get 405.
  void handle(const httplib::Request& req, httplib::Response& res);
  void login(const httplib::Request& req, httplib::Response& res);
  void logout(const httplib::Request& req, httplib::Response& res);

 private:
  struct Context;
  void route(Context& c);
  void route_api(Context& c);
  template <typename Body>
  void read(Body body);
  // The classes and their numbers of objects. Counting reads every object,
  // so a count is kept for kCountsFresh and shared by the requests of that
  // time.
  const std::vector<repo::ClassCount>& counts(repo::Store& store, Clock::time_point now);
  std::optional<std::string> session_user(const httplib::Request& req);
  bool api_user(Context& c);
  bool same_origin(const httplib::Request& req) const;
  void login_failed(httplib::Response& res, const std::string& user, const std::string& next,
                    int status, const std::string& message, int retry_after);

  std::string repository_;
  bool https_;
  std::unique_ptr<repo::Store> store_;
  bool lost_ = false;  // the last attempt to read failed for want of the repository
  Sessions sessions_;
  Throttle throttle_;
  std::vector<repo::ClassCount> counts_;
  std::optional<Clock::time_point> counts_at_;
};

// How long the classes' counts are kept.
inline constexpr std::chrono::seconds kCountsFresh{2};

// The headers every answer carries: the content security policy (no script,
// styles and pictures from this server only, no framing) and its friends.
void security_headers(httplib::Response& res);

}  // namespace tng::web
