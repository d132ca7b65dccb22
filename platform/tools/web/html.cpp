#include "html.h"

#include <stdexcept>

namespace tng::web {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the well-formed UTF-8 sequence at the start of `s` and its
// code point, or 0 when it is not one.
size_t utf8_sequence(std::string_view s, uint32_t& code) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (b0 < 0x80) {
    code = b0;
    return 1;
  } else if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
    code = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    code = b0 & 0x0F;
    if (b0 == 0xE0) low = 0xA0;   // overlong
    if (b0 == 0xED) high = 0x9F;  // surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    code = b0 & 0x07;
    if (b0 == 0xF0) low = 0x90;   // overlong
    if (b0 == 0xF4) high = 0x8F;  // past U+10FFFF
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (i == 1 ? (b < low || b > high) : (b < 0x80 || b > 0xBF)) return 0;
    code = (code << 6) | (b & 0x3F);
  }
  return length;
}

bool shown_as_text(uint32_t code) {
  if (code < 0x20) return code == '\t' || code == '\n' || code == '\r';
  if (code >= 0x7F && code <= 0x9F) return false;
  return code != 0xFFFE && code != 0xFFFF;
}

}  // namespace

void escape_to(std::string& out, std::string_view text) {
  out.reserve(out.size() + text.size());
  while (!text.empty()) {
    uint32_t code = 0;
    const size_t length = utf8_sequence(text, code);
    if (length == 0 || !shown_as_text(code)) {
      out += kReplacement;
      text.remove_prefix(length == 0 ? 1 : length);
      continue;
    }
    switch (code) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out.append(text.data(), length);
    }
    text.remove_prefix(length);
  }
}

std::string escape(std::string_view text) {
  std::string out;
  escape_to(out, text);
  return out;
}

std::string url_encode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '-' ||
        b == '.' || b == '_' || b == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

void Arg::append_to(std::string& out) const {
  switch (kind_) {
    case kText:
      escape_to(out, text_);
      break;
    case kMarkup:
      out += text_;
      break;
    case kUrl:
      escape_to(out, url_encode(text_));
      break;
    case kNumber:
      out += std::to_string(number_);
      break;
  }
}

void fill(std::string& out, std::string_view pattern, std::initializer_list<Arg> args) {
  auto next = args.begin();
  for (;;) {
    const size_t at = pattern.find("{}");
    if (at == std::string_view::npos) break;
    if (next == args.end()) throw std::logic_error("html: more {} than arguments");
    out += pattern.substr(0, at);
    (next++)->append_to(out);
    pattern.remove_prefix(at + 2);
  }
  if (next != args.end()) throw std::logic_error("html: more arguments than {}");
  out += pattern;
}

std::string page(const Frame& frame, std::string_view body) {
  std::string out;
  html(out,
       "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
       "<title>{} \xE2\x80\x94 {}</title>\n"
       "<link rel=\"stylesheet\" href=\"/style.css\">\n</head>\n<body>\n",
       frame.title, frame.repository);
  if (!frame.user.empty())
    html(out,
         "<header><nav>"
         "<span class=\"repo\">{}</span>"
         "<a href=\"/\">Overview</a>"
         "<a href=\"/links\">Lights-out links</a>"
         "<a href=\"/audit\">Audit trail</a>"
         "<a href=\"/chart\">Moves per day</a>"
         "<form method=\"post\" action=\"/logout\" class=\"logout\">"
         "<span class=\"user\">{}</span> <button type=\"submit\">Log out</button></form>"
         "</nav></header>\n",
         frame.repository, frame.user);
  html(out, "<main>\n<h1>{}</h1>\n{}</main>\n</body>\n</html>\n", frame.title, Markup{body});
  return out;
}

std::string_view stylesheet() {
  return R"(body { font-family: system-ui, sans-serif; margin: 0; color: #1d232a; background: #f6f7f9; }
header { background: #22313f; color: #fff; }
nav { display: flex; flex-wrap: wrap; align-items: center; gap: 1.2em; padding: .6em 1.2em; }
nav a { color: #dce6f0; text-decoration: none; }
nav a:hover { text-decoration: underline; }
nav .repo { font-weight: bold; }
nav .logout { margin-left: auto; }
main { padding: .5em 1.2em 2em; }
h1 { font-size: 1.4em; }
h2 { font-size: 1.1em; margin-top: 1.6em; }
table { border-collapse: collapse; background: #fff; margin: .4em 0; }
th, td { border: 1px solid #d5dae0; padding: .25em .6em; text-align: left; vertical-align: top; }
th { background: #eceff3; }
td.n { text-align: right; font-variant-numeric: tabular-nums; }
.uuid, .time { font-family: ui-monospace, monospace; font-size: .9em; }
.columns { display: flex; flex-wrap: wrap; gap: 2em; }
.pager { margin: .8em 0; display: flex; gap: 1.5em; }
.note { color: #5a6570; }
.error { color: #a31515; font-weight: bold; }
form.filter { margin: .6em 0; display: flex; flex-wrap: wrap; gap: .8em; align-items: end; }
form.filter label { display: flex; flex-direction: column; font-size: .9em; }
form.login { display: flex; flex-direction: column; gap: .6em; max-width: 20em; }
svg text { font-family: system-ui, sans-serif; font-size: 11px; fill: #1d232a; }
)";
}

}  // namespace tng::web
