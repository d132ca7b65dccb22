// The web view's markup: the one escaping function every repository text
// goes through, URL components, a small template filler that escapes its
// arguments unless told otherwise, and the page frame every page shares.
#pragma once
#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace tng::web {

// Text made safe for HTML element content, a double- or single-quoted
// attribute value, and SVG/XML: & < > " ' become character references.
// Bytes that are not UTF-8 (a lone continuation byte, a cut or overlong
// sequence, an encoded surrogate, a value past U+10FFFF) each show as U+FFFD,
// and so do the control characters that HTML and XML do not carry as text
// (C0 but tab, line feed and carriage return; DEL; C1) and U+FFFE, U+FFFF.
std::string escape(std::string_view text);
void escape_to(std::string& out, std::string_view text);

// A URL component: every byte but the unreserved ones (letters, digits,
// - . _ ~) as %XX.
std::string url_encode(std::string_view text);

// Markup written by this program, put in as it is.
struct Markup {
  std::string_view text;
};
// A URL component: percent-encoded, then escaped.
struct UrlPart {
  std::string_view text;
};

// One argument of html(): text (escaped), a number, markup or a URL part.
class Arg {
 public:
  Arg(std::string_view text) : kind_(kText), text_(text) {}
  Arg(const std::string& text) : kind_(kText), text_(text) {}
  Arg(const char* text) : kind_(kText), text_(text) {}
  Arg(Markup m) : kind_(kMarkup), text_(m.text) {}
  Arg(UrlPart u) : kind_(kUrl), text_(u.text) {}
  template <std::integral N>
  Arg(N n) : kind_(kNumber), number_(static_cast<int64_t>(n)) {}
  void append_to(std::string& out) const;

 private:
  enum Kind { kText, kMarkup, kUrl, kNumber } kind_;
  std::string_view text_;
  int64_t number_ = 0;
};

// Appends `pattern` to `out` with each "{}" replaced by the next argument.
// The pattern is this program's own markup; a pattern whose "{}" do not
// match the arguments in number is a fault of the program (logic_error).
void fill(std::string& out, std::string_view pattern, std::initializer_list<Arg> args);

template <typename... A>
void html(std::string& out, std::string_view pattern, const A&... args) {
  fill(out, pattern, {Arg(args)...});
}

// The frame of every page: the head, the stylesheet, the navigation with
// the user and the logout button, the title as the page's heading, and
// `body` (markup) under it. An empty `user` leaves the navigation out (the
// login page).
struct Frame {
  std::string_view repository;
  std::string_view user;
  std::string_view title;
};
std::string page(const Frame& frame, std::string_view body);

// The stylesheet the pages link to (/style.css).
std::string_view stylesheet();

}  // namespace tng::web
