#include "identify.h"

#include <array>
#include <cstdint>
#include <span>

#include "device_answers.h"
#include "exchange.h"

namespace orxdetect {
namespace {

// Object identifiers under the maker's enterprise number.
constexpr std::array<uint32_t, 12> kServerIdentity{1, 3, 6, 1, 4, 1, 232, 11, 2, 2, 4, 0};
constexpr std::array<uint32_t, 11> kWorkstationIdentity{1, 3, 6, 1, 4, 1, 232, 1, 1, 1, 0};
constexpr std::array<uint32_t, 12> kLightsOutKind{1, 3, 6, 1, 4, 1, 232, 9, 2, 2, 10, 0};
constexpr std::array<uint32_t, 12> kProductName{1, 3, 6, 1, 4, 1, 232, 11, 2, 2, 1, 0};
constexpr std::array<uint32_t, 14> kLightsOutAddress{1, 3, 6, 1, 4, 1, 232, 9, 2, 5, 1, 1, 5, 2};

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
  answers_.push_back({std::move(asked), tng::preview::oid_text(oid.data(), oid.size()),
                      answer_as_received(*current_)});
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
