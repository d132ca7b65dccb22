#include "plan.h"

#include <openssl/evp.h>

#include <cstring>
#include <set>

#include "platform/files.h"
#include "platform/wvapi.h"

namespace tng::repo::plan {
namespace {

using Json = json::Object;

constexpr const char* kKindNames[] = {"move", "link", "unlink", "delete"};

std::string dump(const Json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The canonical form the digest is taken of: every object's keys sorted,
// no blanks.
std::string canonical(const Json& value) {
  const nlohmann::json sorted = value;
  return sorted.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string sha256(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_Digest(text.data(), text.size(), digest, &size, EVP_sha256(), nullptr) != 1)
    throw Error(kFailed, "cannot compute the plan's digest");
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "sha256:";
  for (unsigned int i = 0; i < size; ++i) {
    out += kHex[digest[i] >> 4];
    out += kHex[digest[i] & 15];
  }
  return out;
}

Json properties_json(const std::vector<Test>& values) {
  Json out = Json::object();
  for (const Test& t : values) out[t.property] = value_json(t);
  return out;
}

Json object_json(const ObjectRef& ref) {
  return {{"property", ref.property},
          {"uuid", uuid_text(ref.uuid)},
          {"name", ref.name},
          {"class", ref.class_name}};
}

// The document without its digest, the order of its keys as written.
Json body(const Plan& plan) {
  Json changes = Json::array();
  for (const Change& c : plan.changes) {
    Json line;
    line["kind"] = kind_name(c.kind);
    line["uuid"] = uuid_text(c.uuid);
    line["name"] = c.name;
    line["class"] = c.class_name;
    if (c.kind == Kind::kMove) {
      line["from"] = c.class_name;
      line["to"] = c.to;
    }
    if (!c.read.empty()) line["read"] = properties_json(c.read);
    if (c.kind == Kind::kLink) {
      line["properties"] = properties_json(c.properties);
      Json refers = Json::array();
      for (const ObjectRef& ref : c.refers) refers.push_back(object_json(ref));
      line["refers"] = std::move(refers);
    }
    if (!c.evidence.is_null()) line["evidence"] = c.evidence;
    changes.push_back(std::move(line));
  }
  Json doc;
  doc["format"] = kFormat;
  doc["repository"] = plan.repository;
  doc["tool"] = plan.tool;
  doc["time"] = plan.time;
  doc["changes"] = std::move(changes);
  return doc;
}

// ---- Reading ----

class Reader {
 public:
  explicit Reader(const std::string& path) : path_(path) {}

  [[noreturn]] void malformed(const std::string& what) const {
    throw Error(kBadArgument, path_ + " is not a plan: " + what);
  }

  const Json& field(const Json& object, const char* name, const std::string& where) const {
    auto it = object.find(name);
    if (it == object.end()) malformed(where + "has no \"" + name + "\"");
    return *it;
  }
  std::string text(const Json& object, const char* name, const std::string& where) const {
    const Json& value = field(object, name, where);
    if (!value.is_string()) malformed(where + "\"" + name + "\" is not a string");
    return value.get<std::string>();
  }
  std::string class_text(const Json& object, const char* name, const std::string& where) const {
    std::string value = text(object, name, where);
    if (!valid_class_name(value)) malformed(where + "\"" + name + "\" is not a class name");
    return value;
  }
  Uuid uuid(const Json& value, const std::string& where) const {
    std::optional<Uuid> u;
    if (value.is_string()) u = parse_uuid(value.get<std::string>());
    if (!u) malformed(where + "is not a uuid");
    return *u;
  }

  std::vector<Test> properties(const Json& object, const char* name,
                               const std::string& where) const {
    std::vector<Test> out;
    auto it = object.find(name);
    if (it == object.end()) return out;
    if (!it->is_object()) malformed(where + "\"" + name + "\" is not an object");
    for (auto item = it->begin(); item != it->end(); ++item) {
      const std::string at = where + "\"" + name + "\"." + item.key() + " ";
      Test t;
      t.property = item.key();
      if (!valid_class_name(t.property)) malformed(at + "is not a property name");
      const Json& v = item.value();
      if (v.is_string()) {
        t.type = WV_TYPE_TEXT;
        t.value = v.get<std::string>();
        if (t.value.find('\0') != std::string::npos) malformed(at + "holds a zero byte");
      } else if (v.is_number_integer()) {
        const int64_t n = v.get<int64_t>();
        if (n < INT32_MIN || n > INT32_MAX) malformed(at + "is not a 32-bit integer");
        const auto small = static_cast<int32_t>(n);
        t.type = WV_TYPE_INTEGER;
        t.value.assign(reinterpret_cast<const char*>(&small), 4);
      } else if (v.is_object() && v.size() == 1 && v.contains("uuid")) {
        const Uuid u = uuid(v["uuid"], at);
        t.type = WV_TYPE_UUID;
        t.value.assign(reinterpret_cast<const char*>(u.data()), 16);
      } else {
        malformed(at + "is neither a text, an integer nor a uuid");
      }
      out.push_back(std::move(t));
    }
    return out;
  }

  Change change(const Json& line, size_t number) const {
    const std::string where = "change " + std::to_string(number) + " ";
    if (!line.is_object()) malformed(where + "is not an object");
    Change c;
    const std::string kind = text(line, "kind", where);
    const char* const* found = std::find(std::begin(kKindNames), std::end(kKindNames), kind);
    if (found == std::end(kKindNames)) malformed(where + "has the unknown kind \"" + kind + "\"");
    c.kind = static_cast<Kind>(found - std::begin(kKindNames));
    c.uuid = uuid(field(line, "uuid", where), where + "\"uuid\" ");
    c.name = text(line, "name", where);
    c.class_name = class_text(line, "class", where);
    if (c.kind == Kind::kMove) {
      if (class_text(line, "from", where) != c.class_name)
        malformed(where + "moves from a class other than its \"class\"");
      c.to = class_text(line, "to", where);
    }
    c.read = properties(line, "read", where);
    if (c.kind == Kind::kLink) {
      c.properties = properties(line, "properties", where);
      const Json& refers = field(line, "refers", where);
      if (!refers.is_array()) malformed(where + "\"refers\" is not a list");
      for (const Json& r : refers) {
        if (!r.is_object()) malformed(where + "\"refers\" holds something other than objects");
        const std::string at = where + "\"refers\" ";
        c.refers.push_back({text(r, "property", at), uuid(field(r, "uuid", at), at),
                            text(r, "name", at), class_text(r, "class", at)});
      }
    }
    if (auto it = line.find("evidence"); it != line.end()) c.evidence = *it;
    return c;
  }

 private:
  std::string path_;
};

}  // namespace

const char* kind_name(Kind kind) { return kKindNames[static_cast<int>(kind)]; }

Json value_json(const Test& t) {
  if (t.type == WV_TYPE_INTEGER && t.value.size() == 4) {
    int32_t v = 0;
    std::memcpy(&v, t.value.data(), 4);
    return v;
  }
  if (t.type == WV_TYPE_UUID && t.value.size() == 16) {
    Uuid u{};
    std::memcpy(u.data(), t.value.data(), 16);
    return Json{{"uuid", uuid_text(u)}};
  }
  return t.value;
}

std::string value_words(const Test& t) {
  const Json v = value_json(t);
  if (v.is_string()) return "'" + as_written(t.value) + "'";
  if (v.is_object()) return v["uuid"].get<std::string>();
  return v.dump();
}

std::string as_written(const std::string& text) {
  const std::string dumped =
      Json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  return Json::parse(dumped).get<std::string>();
}

std::string document(Plan& plan) {
  const Json doc = body(plan);
  plan.digest = sha256(canonical(doc));
  // One line a field and a change, so that a plan reads and compares well.
  std::string out = "{\n";
  for (auto it = doc.begin(); it != doc.end(); ++it) {
    if (it.key() == "changes") continue;
    out += "  " + dump(it.key()) + ": " + dump(it.value()) + ",\n";
  }
  out += "  \"digest\": " + dump(plan.digest) + ",\n";
  out += "  \"changes\": [";
  const Json& changes = doc["changes"];
  for (size_t i = 0; i < changes.size(); ++i)
    out += (i == 0 ? "\n    " : ",\n    ") + dump(changes[i]);
  out += changes.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return out;
}

Plan read(const std::string& path) {
  const Reader reader(path);
  std::string text;
  if (int error = files::read_all(path, text); error != 0)
    throw Error(kNotFound, "cannot read " + path + ": " + files::error_text(error));
  Json doc;
  try {
    doc = Json::parse(text);
  } catch (const nlohmann::json::exception& e) {
    std::string what = e.what();
    // "[json.exception.parse_error.101] parse error at ..."
    if (size_t close = what.find("] "); what.starts_with("[json.") && close != std::string::npos)
      what.erase(0, close + 2);
    reader.malformed("it is not JSON (" + what + ")");
  }
  if (!doc.is_object()) reader.malformed("it is not a JSON object");
  Plan plan;
  plan.digest = reader.text(doc, "digest", "the document ");
  Json rest = doc;
  rest.erase("digest");
  if (sha256(canonical(rest)) != plan.digest)
    throw Error(kBadArgument, path +
                                  " was changed after it was written: its digest does not "
                                  "match its content");
  const Json& format = reader.field(doc, "format", "the document ");
  if (!format.is_number_integer() || format.get<int64_t>() != kFormat)
    reader.malformed("its format is not " + std::to_string(kFormat));
  plan.repository = reader.text(doc, "repository", "the document ");
  if (!valid_repository_name(plan.repository))
    reader.malformed("\"repository\" is not a repository name");
  plan.tool = reader.text(doc, "tool", "the document ");
  plan.time = reader.text(doc, "time", "the document ");
  const Json& changes = reader.field(doc, "changes", "the document ");
  if (!changes.is_array()) reader.malformed("\"changes\" is not a list");
  plan.changes.reserve(changes.size());
  for (size_t i = 0; i < changes.size(); ++i)
    plan.changes.push_back(reader.change(changes[i], i + 1));
  return plan;
}

}  // namespace tng::repo::plan
