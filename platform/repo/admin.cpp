#include "admin.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <filesystem>
#include <fstream>

#include "platform/clock.h"
#include "platform/version.h"
#include "platform/wvapi.h"

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
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
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

void set_user(Store& store, std::string_view user, std::string_view password) {
  if (user.empty() || user.size() > 124 || user.find_first_of(" \t\n\r") != std::string_view::npos)
    throw Error(kBadArgument, "'" + std::string(user) + "' is not a valid user name");
  std::string salt(kSaltSize, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(salt.data()), static_cast<int>(salt.size())) != 1)
    throw Error(kFailed, "cannot make a salt");
  store.put_user(user, UserHash{salt, kIterations, pbkdf2(password, salt, kIterations)});
}

bool check_user(Store& store, std::string_view user, std::string_view password) {
  std::optional<UserHash> found = store.find_user(user);
  if (!found) {
    // Costs the same as a real check, so that a wrong user name and a wrong
    // password cannot be told apart by time.
    pbkdf2(password, std::string(kSaltSize, '\0'), kIterations);
    return false;
  }
  if (found->iterations < 1 || found->hash.size() != kHashSize) return false;
  std::string hash = pbkdf2(password, found->salt, found->iterations);
  return CRYPTO_memcmp(hash.data(), found->hash.data(), kHashSize) == 0;
}

void move_object(Store& store, std::string_view user, std::string_view from, std::string_view name,
                 std::string_view to) {
  store.move_object(user, from, name, to, tng::clock::utc_now());
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

ApplyReport apply_class_file(Store& store, const std::string& path,
                             const std::vector<ClassStatement>& statements) {
  ApplyReport report;
  for (const ClassStatement& s : statements) {
    try {
      if (s.kind == ClassStatement::kAdd) {
        bool present = store.class_exists(s.name);
        store.add_class(s.name, s.parent);
        ++(present ? report.present : report.added);
      } else if (!store.class_exists(s.name)) {
        ++report.absent;
      } else {
        store.drop_class(s.name);
        ++report.dropped;
      }
    } catch (const Error& e) {
      throw Error(e.code(), path + ":" + std::to_string(s.line) + ": " + e.what());
    }
  }
  return report;
}

std::filesystem::path own_folder() {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path{} : self.parent_path();
}

std::string locate_class_file(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (path.empty() || path.find('/') != std::string::npos || fs::exists(path, ec)) return path;
  fs::path programs = own_folder();
  if (programs.empty()) return path;
  for (const fs::path& dir : {programs, programs / build::kDataFromPrograms}) {
    fs::path candidate = (dir / path).lexically_normal();
    if (fs::is_regular_file(candidate, ec)) return candidate.string();
  }
  return path;
}

ApplyReport import_class_file(std::string_view repository, const std::string& name) {
  const std::string path = locate_class_file(name);
  std::vector<ClassStatement> statements = read_class_file(path);
  std::unique_ptr<Store> store = open_store(repository);
  StoreTransaction t(*store, Store::kWrite);
  ApplyReport report = apply_class_file(*store, path, statements);
  t.commit();
  return report;
}

}  // namespace tng::repo
