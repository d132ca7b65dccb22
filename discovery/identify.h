// The four SNMP questions orxdetect asks a device. Each opens its own session
// to the device, asks one object, ends the session and returns what came of
// it; the passes print the messages, so that a question can run ahead of the
// printing without changing what is printed or in which order.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace orxdetect {

// Where a question goes: the object's address and the run's community.
struct SnmpTarget {
  std::string community;
  std::string address;
};

enum class Form { Server, Workstation };

// How far a question got with the agent.
enum class Contact {
  NotConnected,       // no session could be opened
  NotCompleted,       // the request could not be built
  NoResponse,         // nothing came back
  AnsweredWithError,  // the agent answered with a non-zero error status
  Answered,           // the agent answered with error status 0
};

// Kind of lights-out device (QueryLightsOutKind).
enum class LightsOutKind { None = 0, Board = 1, RackEnclosure = 2, Other = 3 };
// Kind of product (QueryProductKind).
enum class ProductKind { None = 0, StorageAppliance = 1, TarvikServer = 2 };

struct KindAnswer {
  LightsOutKind kind = LightsOutKind::None;
  bool not_connected = false;  // "Could not establish SNMP connection", console only
};

struct ProductAnswer {
  ProductKind kind = ProductKind::None;
  bool not_connected = false;
};

struct Identification {
  Contact contact = Contact::NotConnected;
  bool end_failed = false;  // the session could not be ended after an answer
  // Asked while the identification session was still open, when the agent
  // answered with an error and the caller wanted to know (rack enclosures
  // answer the server object with an error).
  std::optional<KindAnswer> kind_on_error;
};

struct LightsOutAddress {
  Contact contact = Contact::NotConnected;
  bool end_failed = false;
  // The dotted address; empty when the answer carried no four-octet value.
  std::optional<std::string> address;
  bool malformed = false;  // a value came, but not four octets
};

Identification IdentifyDevice(const SnmpTarget& target, Form form, bool ask_kind_on_error);
KindAnswer QueryLightsOutKind(const SnmpTarget& target);
ProductAnswer QueryProductKind(const SnmpTarget& target);
LightsOutAddress QueryLightsOutAddress(const SnmpTarget& target);

// The product kind of an answer text: the comparison is a case-sensitive
// prefix test, each against its product text less the last character.
ProductKind product_kind_of(std::string_view text);

}  // namespace orxdetect
