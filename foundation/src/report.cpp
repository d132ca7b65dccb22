#include "foundation/report.h"

#include <cstdarg>

namespace tng {

Sink::~Sink() { close_log(); }

bool Sink::open_log(const std::string& path) {
  close_log();
  log_ = std::fopen(path.c_str(), "w");
  // Written through line by line: a run stopped part way (Ctrl-C at a test
  // pause) keeps the record of everything it did up to then.
  if (log_ != nullptr) std::setvbuf(log_, nullptr, _IOLBF, 0);
  return log_ != nullptr;
}

void Sink::close_log() {
  if (log_ != nullptr) std::fclose(log_);
  log_ = nullptr;
}

void Sink::say(To to, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  if (to == To::ConsoleAndLog && log_ != nullptr) {
    std::va_list again;
    va_copy(again, arguments);
    std::vprintf(format, arguments);
    std::vfprintf(log_, format, again);
    va_end(again);
  } else {
    std::vprintf(format, arguments);
  }
  va_end(arguments);
}

void Sink::put(To to, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (to == To::ConsoleAndLog && log_ != nullptr) std::fwrite(text.data(), 1, text.size(), log_);
}

void Sink::say_apart(const char* console, const char* log) {
  std::fputs(console, stdout);
  if (log_ != nullptr) std::fputs(log, log_);
}

void Sink::console(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  std::vprintf(format, arguments);
  va_end(arguments);
}

void Sink::log(const char* format, ...) {
  if (log_ == nullptr) return;
  std::va_list arguments;
  va_start(arguments, format);
  std::vfprintf(log_, format, arguments);
  va_end(arguments);
}

void Sink::object_reached() {
  ++objects_;
  if (on_object) on_object(objects_);
}

bool report_query(Sink& sink, std::string_view class_name,
                  const RepositorySession::QueryResult& query, bool print_count,
                  const QueryWording& wording) {
  const int length = static_cast<int>(class_name.size());
  const char* name = class_name.data();
  switch (query.outcome) {
    case RepositorySession::Query::CriteriaFailed:
      sink.put(To::Console, wording.criteria_failed);
      return false;
    case RepositorySession::Query::NoSuchClass:
      sink.say(To::ConsoleAndLog, wording.no_such_class, length, name);
      return false;
    case RepositorySession::Query::Failed:
      sink.say(To::Console, wording.failed, query.rc);
      return false;
    case RepositorySession::Query::NoObjects:
      sink.say(To::ConsoleAndLog, wording.no_objects, length, name);
      return false;
    case RepositorySession::Query::Found:
      break;
  }
  if (print_count) sink.say(To::ConsoleAndLog, wording.found, query.count, length, name);
  return true;
}

void report_fetch_failed(Sink& sink, WV_RC rc, const QueryWording& wording) {
  sink.say(To::Console, wording.fetch_failed, rc);
}

namespace {

std::string report_property(Sink& sink, const RepositorySession::Property& property,
                            const char* property_name, const ObjectWording::Line& wording) {
  std::string text = property_text(property, property_name);
  if (property.type == WV_TYPE_TEXT) {
    sink.put(To::ConsoleAndLog, wording.before);
    sink.put(To::ConsoleAndLog, text);
    sink.put(To::ConsoleAndLog, wording.after);
  }
  return text;
}

}  // namespace

std::string report_name(Sink& sink, const RepositorySession::Property& name,
                        const ObjectWording::Line& wording) {
  sink.object_reached();
  return report_property(sink, name, "name", wording);
}

bool report_object(Sink& sink, const AheadStep& step, const ObjectWording& wording,
                   ObjectNames& names) {
  switch (step.kind) {
    case AheadStep::Kind::End:
    case AheadStep::Kind::NameFailed:
      return false;
    case AheadStep::Kind::FetchFailed:
      report_fetch_failed(sink, step.fetch_rc);
      return false;
    case AheadStep::Kind::AddressFailed:
    case AheadStep::Kind::Object:
      break;
  }
  names.name = report_name(sink, step.name.view(), wording.name);
  if (step.kind == AheadStep::Kind::AddressFailed) {
    sink.say(To::Console, "TNGWV returned unsuccessful: %d\n", step.address.rc);
    return false;
  }
  names.address = report_property(sink, step.address.view(), "address", wording.address);
  return true;
}

}  // namespace tng
