#include "identify.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string_view>

#include "platform/tng_snmp.h"

namespace orxdetect {
namespace {

// Object identifiers under the maker's enterprise number.
constexpr std::array<uint32_t, 12> kServerIdentity{1, 3, 6, 1, 4, 1, 232, 11, 2, 2, 4, 0};
constexpr std::array<uint32_t, 11> kWorkstationIdentity{1, 3, 6, 1, 4, 1, 232, 1, 1, 1, 0};
constexpr std::array<uint32_t, 12> kLightsOutKind{1, 3, 6, 1, 4, 1, 232, 9, 2, 2, 10, 0};
constexpr std::array<uint32_t, 12> kProductName{1, 3, 6, 1, 4, 1, 232, 11, 2, 2, 1, 0};
constexpr std::array<uint32_t, 14> kLightsOutAddress{1, 3, 6, 1, 4, 1, 232, 9, 2, 5, 1, 1, 5, 2};

constexpr std::string_view kStorageApplianceText = "orvex Quelnet storage management appliance";
constexpr std::string_view kTarvikServerText = "Tarvik Servers-";

// ASN.1 tags of the values we read.
constexpr uint8_t kInteger = 0x02;
constexpr uint8_t kOctetString = 0x04;
constexpr uint8_t kIpAddress = 0x40;
constexpr uint8_t kCounter = 0x41;
constexpr uint8_t kGauge = 0x42;
constexpr uint8_t kTimeTicks = 0x43;

// The session's constants, passed unchanged on every open.
constexpr int32_t kOpenA = 2;
constexpr int32_t kOpenB = 8;
constexpr int32_t kOpenC = 0;
constexpr uint16_t kAgentPort = 161;
constexpr int32_t kOpenD = 0;

int session_callback() { return 1; }

// One session with an agent; ended on scope exit unless ended explicitly.
class Session {
 public:
  explicit Session(const SnmpTarget& target)
      : handle_(TngSnmp_OpenSession(target.community.c_str(), target.address.c_str(), kOpenA,
                                    kOpenB, kOpenC, kAgentPort, session_callback, kOpenD)) {}
  ~Session() {
    if (handle_ != nullptr) (void)TngSnmp_EndSession(handle_);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bool open() const { return handle_ != nullptr; }
  TNG_SNMP_SESSION handle() const { return handle_; }
  // True when the session ended without failure.
  bool end() {
    const bool ended = TngSnmp_EndSession(handle_) != 0;
    handle_ = nullptr;
    return ended;
  }

 private:
  TNG_SNMP_SESSION handle_;
};

// One GetRequest; released on scope exit (the library accepts the release of
// a sent request before or after its session ends).
class Request {
 public:
  Request() : handle_(TngSnmp_CreateRequest(TNG_SNMP_GET_REQUEST)) {}
  ~Request() {
    if (handle_ != nullptr) TngSnmp_ReleaseRequest(handle_);
  }
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  bool created() const { return handle_ != nullptr; }
  bool add(std::span<const uint32_t> oid) {
    return TngSnmp_AddBinding(handle_, oid.data(), static_cast<uint32_t>(oid.size())) != 0;
  }
  // Sends without waiting; false when no response will come.
  bool send(const Session& session) { return TngSnmp_Send(session.handle(), handle_) != 0; }
  // Releases the request now: once sent, the session needs it no more, and
  // a device that waits for its time-out should not keep it.
  void release() {
    if (handle_ != nullptr) TngSnmp_ReleaseRequest(handle_);
    handle_ = nullptr;
  }

 private:
  TNG_SNMP_REQUEST handle_;
};

// The value of the first binding of an answer without error, or null.
const TNG_SNMP_BINDING* answered_value(const TNG_SNMP_RESPONSE* response) {
  if (response == nullptr || response->error_status != 0) return nullptr;
  const TNG_SNMP_BINDING* binding = response->first;
  if (binding == nullptr || binding->value == nullptr) return nullptr;
  return binding;
}

bool is_integer(uint8_t type) {
  return type == kInteger || type == kCounter || type == kGauge || type == kTimeTicks;
}

LightsOutKind lights_out_kind_of(int32_t answer) {
  switch (answer) {
    case 3: return LightsOutKind::Board;
    case 4: return LightsOutKind::RackEnclosure;
    case 1: return LightsOutKind::Other;
    default: return LightsOutKind::None;
  }
}

}  // namespace

ProductKind product_kind_of(std::string_view text) {
  const auto starts = [text](std::string_view product) {
    return text.starts_with(product.substr(0, product.size() - 1));
  };
  if (starts(kStorageApplianceText)) return ProductKind::StorageAppliance;
  if (starts(kTarvikServerText)) return ProductKind::TarvikServer;
  return ProductKind::None;
}

// The session and request steps every question shares: open, build the
// request for one object, send without waiting. `contact` tells how far it
// got; once the answer has come, the response stays valid while `session`
// is open.
struct Exchange {
  Session session;
  Request request;
  Contact contact = Contact::NotConnected;
  const TNG_SNMP_RESPONSE* response = nullptr;
  bool waiting = false;  // sent; the answer has not come yet

  Exchange(const SnmpTarget& target, std::span<const uint32_t> oid) : session(target) {
    if (!session.open()) return;
    contact = Contact::NotCompleted;
    if (!request.created() || !request.add(oid)) return;
    if (request.send(session)) {
      waiting = true;
      request.release();
    } else {
      contact = Contact::NoResponse;
    }
  }

  void settle() {
    waiting = false;
    response = TngSnmp_Response(session.handle());
    if (response == nullptr)
      contact = Contact::NoResponse;
    else
      contact = response->error_status == 0 ? Contact::Answered : Contact::AnsweredWithError;
  }
};

namespace {

KindAnswer kind_answer(const Exchange& exchange) {
  KindAnswer answer;
  answer.not_connected = exchange.contact == Contact::NotConnected;
  if (const TNG_SNMP_BINDING* binding = answered_value(exchange.response);
      binding != nullptr && is_integer(binding->value_type)) {
    int32_t value = 0;
    std::memcpy(&value, binding->value, sizeof value);
    answer.kind = lights_out_kind_of(value);
  }
  return answer;
}

ProductAnswer product_answer(const Exchange& exchange) {
  ProductAnswer answer;
  answer.not_connected = exchange.contact == Contact::NotConnected;
  if (const TNG_SNMP_BINDING* binding = answered_value(exchange.response);
      binding != nullptr && binding->value_type == kOctetString) {
    const char* text = static_cast<const char*>(binding->value);
    answer.kind = product_kind_of(std::string_view(text, strnlen(text, binding->value_length)));
  }
  return answer;
}

LightsOutAddress address_answer(Exchange& exchange) {
  LightsOutAddress result;
  result.contact = exchange.contact;
  if (exchange.contact == Contact::Answered) {
    if (const TNG_SNMP_BINDING* binding = answered_value(exchange.response); binding != nullptr) {
      if (binding->value_length == 4 &&
          (binding->value_type == kIpAddress || binding->value_type == kOctetString)) {
        const auto* octets = static_cast<const uint8_t*>(binding->value);
        char dotted[16];  // four octets of up to three digits, three dots
        std::snprintf(dotted, sizeof dotted, "%u.%u.%u.%u", octets[0], octets[1], octets[2],
                      octets[3]);
        result.address = dotted;
      } else {
        result.malformed = true;
      }
    }
  }
  if (exchange.contact != Contact::NotConnected) result.end_failed = !exchange.session.end();
  return result;
}

}  // namespace

Inquiry::Inquiry(SnmpTarget target, Questions questions)
    : target_(std::move(target)), questions_(questions) {
  start(questions_.lights_out_address ? Step::Address : Step::Identify);
}

Inquiry::~Inquiry() = default;

TNG_SNMP_SESSION Inquiry::waiting_on() const {
  return current_ != nullptr && current_->waiting ? current_->session.handle() : nullptr;
}

void Inquiry::answer_arrived() {
  if (current_ == nullptr || !current_->waiting) return;
  current_->settle();
  proceed();
}

std::span<const uint32_t> Inquiry::oid_of(Step step) const {
  switch (step) {
    case Step::Identify:
      return questions_.form == Form::Server ? std::span<const uint32_t>(kServerIdentity)
                                             : std::span<const uint32_t>(kWorkstationIdentity);
    case Step::KindOnError:
    case Step::Kind:
      return kLightsOutKind;
    case Step::Product:
      return kProductName;
    case Step::Address:
      return kLightsOutAddress;
    case Step::Done:
      break;
  }
  return {};
}

void Inquiry::start(Step step) {
  step_ = step;
  if (step == Step::Done) return;
  current_ = std::make_unique<Exchange>(target_, oid_of(step));
  proceed();
}

// The question of the step just settled, with its answer as it came.
void Inquiry::keep(Step step) {
  if (!questions_.keep_answers) return;
  static constexpr const char* kAsked[] = {
      "identification", "lights-out kind, the identification answered with an error",
      "lights-out kind", "product name", "lights-out address"};
  std::string asked = kAsked[static_cast<int>(step)];
  if (step == Step::Identify)
    asked += questions_.form == Form::Server ? " (server)" : " (workstation)";
  const std::span<const uint32_t> oid = oid_of(step);
  const Exchange& exchange = *current_;
  std::string answer;
  switch (exchange.contact) {
    case Contact::NotConnected:
      answer = "not asked: no session could be opened";
      break;
    case Contact::NotCompleted:
      answer = "not asked: the request could not be built";
      break;
    case Contact::NoResponse:
      answer = tng::preview::kNoAnswer;
      break;
    case Contact::AnsweredWithError:
      answer = tng::preview::error_answer(exchange.response->error_status);
      break;
    case Contact::Answered:
      if (const TNG_SNMP_BINDING* b = answered_value(exchange.response))
        answer = tng::preview::answer_text(b->value_type, b->value, b->value_length);
      else
        answer = "no value";
      break;
  }
  answers_.push_back(
      {std::move(asked), tng::preview::oid_text(oid.data(), oid.size()), std::move(answer)});
}

// Takes the answers of the questions that are done and starts the next one,
// until a question waits for its agent or the chain is finished.
void Inquiry::proceed() {
  while (step_ != Step::Done && !current_->waiting) {
    keep(step_);
    switch (step_) {
      case Step::Identify:
        identified();
        break;
      case Step::KindOnError:
        kind_ = kind_answer(*current_);
        current_.reset();
        identification_.kind_on_error = kind_;
        identification_.end_failed = !held_->session.end();
        held_.reset();
        step_ = Step::Done;
        break;
      case Step::Kind:
        kind_ = kind_answer(*current_);
        current_.reset();
        if (questions_.product_kind)
          start(Step::Product);
        else
          step_ = Step::Done;
        break;
      case Step::Product:
        product_ = product_answer(*current_);
        current_.reset();
        step_ = Step::Done;
        break;
      case Step::Address:
        address_ = address_answer(*current_);
        current_.reset();
        step_ = Step::Done;
        break;
      case Step::Done:
        break;
    }
  }
}

void Inquiry::identified() {
  Exchange& exchange = *current_;
  identification_.contact = exchange.contact;
  switch (exchange.contact) {
    case Contact::NotConnected:
      break;
    case Contact::NotCompleted:
    case Contact::NoResponse:
      (void)exchange.session.end();  // a failure here is not reported
      break;
    case Contact::AnsweredWithError:
      if (questions_.kind_on_error) {
        // The identification session stays open while the kind is asked.
        held_ = std::move(current_);
        start(Step::KindOnError);
        return;
      }
      identification_.end_failed = !exchange.session.end();
      break;
    case Contact::Answered:
      identification_.end_failed = !exchange.session.end();
      current_.reset();
      after_identification();
      return;
  }
  current_.reset();
  step_ = Step::Done;
}

void Inquiry::after_identification() {
  if (questions_.lights_out_kind)
    start(Step::Kind);
  else if (questions_.product_kind)
    start(Step::Product);
  else
    step_ = Step::Done;
}

}  // namespace orxdetect
