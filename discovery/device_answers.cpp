#include "device_answers.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/preview.h"

namespace orxdetect {
namespace {

constexpr std::string_view kStorageApplianceText = "orvex Quelnet storage management appliance";
constexpr std::string_view kTarvikServerText = "Tarvik Servers-";

// ASN.1 tags of the values we read.
constexpr uint8_t kInteger = 0x02;
constexpr uint8_t kOctetString = 0x04;
constexpr uint8_t kIpAddress = 0x40;
constexpr uint8_t kCounter = 0x41;
constexpr uint8_t kGauge = 0x42;
constexpr uint8_t kTimeTicks = 0x43;

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
    case 3:
      return LightsOutKind::Board;
    case 4:
      return LightsOutKind::RackEnclosure;
    case 1:
      return LightsOutKind::Other;
    default:
      return LightsOutKind::None;
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

std::string answer_as_received(const Exchange& exchange) {
  switch (exchange.contact) {
    case Contact::NotConnected:
      return "not asked: no session could be opened";
    case Contact::NotCompleted:
      return "not asked: the request could not be built";
    case Contact::NoResponse:
      return tng::preview::kNoAnswer;
    case Contact::AnsweredWithError:
      return tng::preview::error_answer(exchange.response->error_status);
    case Contact::Answered:
      break;
  }
  const TNG_SNMP_BINDING* binding = answered_value(exchange.response);
  if (binding == nullptr) return "no value";
  return tng::preview::answer_text(binding->value_type, binding->value, binding->value_length);
}

}  // namespace orxdetect
