#include "admin.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <ctime>
#include <fstream>

#include "platform/wvapi.h"
#include "query.h"

namespace tng::repo {

namespace {

constexpr int kIterations = 4096;
constexpr size_t kSaltSize = 16;
constexpr size_t kHashSize = 32;

std::string pbkdf2(std::string_view password, std::string_view salt, int iterations) {
  std::string hash(kHashSize, '\0');
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                        reinterpret_cast<const unsigned char*>(salt.data()),
                        static_cast<int>(salt.size()), iterations, EVP_sha256(),
                        static_cast<int>(hash.size()),
                        reinterpret_cast<unsigned char*>(hash.data())) != 1)
    throw Error(kFailed, "cannot hash the password");
  return hash;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> words(std::string_view s) {
  std::vector<std::string_view> out;
  s = trim(s);
  while (!s.empty()) {
    size_t end = s.find_first_of(" \t");
    out.push_back(s.substr(0, end));
    s = end == std::string_view::npos ? std::string_view{} : trim(s.substr(end));
  }
  return out;
}

}  // namespace

std::string utc_now() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

void set_user(Database& db, std::string_view user, std::string_view password) {
  if (user.empty() || user.size() > 124 || user.find_first_of(" \t\n\r") != std::string_view::npos)
    throw Error(kBadArgument, "'" + std::string(user) + "' is not a valid user name");
  std::string salt(kSaltSize, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(salt.data()), static_cast<int>(salt.size())) != 1)
    throw Error(kFailed, "cannot make a salt");
  std::string hash = pbkdf2(password, salt, kIterations);
  Statement s(db,
              "INSERT INTO users(name, salt, iterations, hash) VALUES(?1, ?2, ?3, ?4) "
              "ON CONFLICT(name) DO UPDATE SET salt = ?2, iterations = ?3, hash = ?4");
  s.bind(1, user).bind_blob(2, salt.data(), salt.size()).bind(3, int64_t{kIterations});
  s.bind_blob(4, hash.data(), hash.size());
  s.run();
}

bool check_user(const Database& db, std::string_view user, std::string_view password) {
  Statement s(db, "SELECT salt, iterations, hash FROM users WHERE name = ?1");
  s.bind(1, user);
  if (!s.step()) {
    // Costs the same as a real check, so that a wrong user name and a wrong
    // password cannot be told apart by time.
    pbkdf2(password, std::string(kSaltSize, '\0'), kIterations);
    return false;
  }
  std::string salt(s.blob(0));
  auto iterations = static_cast<int>(s.integer(1));
  std::string stored(s.blob(2));
  if (iterations < 1 || stored.size() != kHashSize) return false;
  std::string hash = pbkdf2(password, salt, iterations);
  return CRYPTO_memcmp(hash.data(), stored.data(), kHashSize) == 0;
}

void move_object(Database& db, std::string_view user, std::string_view from, std::string_view name,
                 std::string_view to) {
  if (!class_exists(db, from))
    throw Error(WV_NO_SUCH_CLASS, "class '" + std::string(from) + "' does not exist");
  if (!class_exists(db, to))
    throw Error(WV_NO_SUCH_CLASS, "target class '" + std::string(to) + "' does not exist");
  Statement find(db,
                 "SELECT o.id, o.uuid FROM objects o JOIN props p ON p.object_id = o.id "
                 "AND p.name = 'name' AND p.type = 0 AND p.value = ?2 "
                 "WHERE o.class_name = ?1 ORDER BY o.id LIMIT 1");
  find.bind(1, from).bind(2, name);
  if (!find.step())
    throw Error(kNotFound, "no object named '" + std::string(name) + "' in class '" +
                               std::string(from) + "'");
  int64_t id = find.integer(0);
  std::string uuid(find.blob(1));
  Statement move(db, "UPDATE objects SET class_name = ?2 WHERE id = ?1");
  move.bind(1, id).bind(2, to);
  move.run();
  Statement audit(db,
                  "INSERT INTO audit(time, user, action, object_uuid, object_name, from_class, "
                  "to_class) VALUES(?1, ?2, 'reclass', ?3, ?4, ?5, ?6)");
  audit.bind(1, utc_now()).bind(2, user).bind_blob(3, uuid.data(), uuid.size());
  audit.bind(4, name).bind(5, from).bind(6, to);
  audit.run();
}

std::vector<ClassStatement> read_class_file(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw Error(kNotFound, "cannot read class definition file '" + path + "'");
  std::vector<ClassStatement> statements;
  std::string line;
  int number = 0;
  auto bad = [&](const std::string& why) {
    return Error(kBadArgument, path + ":" + std::to_string(number) + ": " + why);
  };
  while (std::getline(in, line)) {
    ++number;
    std::string_view text = line;
    if (size_t hash = text.find('#'); hash != std::string_view::npos) text = text.substr(0, hash);
    std::vector<std::string_view> w = words(text);
    if (w.empty()) continue;
    ClassStatement s;
    s.line = number;
    if (w[0] == "class" && (w.size() == 2 || (w.size() == 4 && w[2] == "under"))) {
      s.kind = ClassStatement::kAdd;
      if (w.size() == 4) s.parent = w[3];
    } else if (w[0] == "drop" && w.size() == 2) {
      s.kind = ClassStatement::kDrop;
    } else {
      throw bad("expected 'class NAME [under PARENT]' or 'drop NAME'");
    }
    s.name = w[1];
    if (!valid_class_name(s.name)) throw bad("'" + s.name + "' is not a valid class name");
    if (!s.parent.empty() && !valid_class_name(s.parent))
      throw bad("'" + s.parent + "' is not a valid class name");
    statements.push_back(std::move(s));
  }
  if (in.bad()) throw Error(kFailed, "cannot read class definition file '" + path + "'");
  return statements;
}

ApplyReport apply_class_file(Database& db, const std::string& path,
                             const std::vector<ClassStatement>& statements) {
  ApplyReport report;
  for (const ClassStatement& s : statements) {
    try {
      if (s.kind == ClassStatement::kAdd) {
        bool present = class_exists(db, s.name);
        add_class(db, s.name, s.parent);
        ++(present ? report.present : report.added);
      } else if (!class_exists(db, s.name)) {
        ++report.absent;
      } else {
        drop_class(db, s.name);
        ++report.dropped;
      }
    } catch (const Error& e) {
      throw Error(e.code(), path + ":" + std::to_string(s.line) + ": " + e.what());
    }
  }
  return report;
}

ApplyReport import_class_file(std::string_view repository, const std::string& path) {
  std::vector<ClassStatement> statements = read_class_file(path);
  Database db = Database::open(repository);
  Transaction t(db, Transaction::kWrite);
  ApplyReport report = apply_class_file(db, path, statements);
  t.commit();
  return report;
}

}  // namespace tng::repo
