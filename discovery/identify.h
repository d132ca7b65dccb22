// The four SNMP questions orxdetect asks a device. Each opens its own session
// to the device, asks one object, ends the session and keeps what came of
// it; the passes print the messages, so that the questions can run ahead of
// the printing without changing what is printed or in which order.
//
// An Inquiry is one device's chain of questions, in the order and under the
// conditions a pass asks them. It sends each question without waiting and
// goes on when told that the answer has come, so that many devices can be
// asked at once on the one thread. (One question's session and request:
// exchange.h; what the answers mean: device_answers.h.)
#pragma once
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/preview.h"
#include "platform/tng_snmp.h"

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

// Which questions a pass asks each device.
struct Questions {
  // The association: only QueryLightsOutAddress. Otherwise the
  // identification (IdentifyDevice) and what follows it below.
  bool lights_out_address = false;
  Form form = Form::Server;
  // Answered with an error: QueryLightsOutKind while the identification
  // session stays open (rack enclosures answer the server identity so).
  bool kind_on_error = false;
  bool lights_out_kind = false;  // answered: QueryLightsOutKind
  bool product_kind = false;     // answered: QueryProductKind, after the kind
  // A preview: every question is kept with its answer as received
  // (Inquiry::answers), for the plan's evidence.
  bool keep_answers = false;
};

struct Exchange;

class Inquiry {
 public:
  // Starts the first question.
  Inquiry(SnmpTarget target, Questions questions);
  ~Inquiry();
  Inquiry(const Inquiry&) = delete;
  Inquiry& operator=(const Inquiry&) = delete;

  bool settled() const { return step_ == Step::Done; }
  // The session whose answer the chain waits for; null when settled.
  TNG_SNMP_SESSION waiting_on() const;
  // That session's exchange is done (answered or given up): take its answer
  // and go on, starting the next question if the chain asks one.
  void answer_arrived();

  const Identification& identification() const { return identification_; }
  const KindAnswer& kind() const { return kind_; }
  const ProductAnswer& product() const { return product_; }
  const LightsOutAddress& lights_out_address() const { return address_; }
  // The questions asked so far with their answers, when the questions said
  // to keep them.
  const std::vector<tng::preview::Question>& answers() const { return answers_; }

 private:
  enum class Step { Identify, KindOnError, Kind, Product, Address, Done };
  void start(Step step);
  void proceed();
  void identified();
  void after_identification();
  void keep(Step step);
  std::span<const uint32_t> oid_of(Step step) const;

  SnmpTarget target_;
  Questions questions_;
  Step step_ = Step::Done;
  std::unique_ptr<Exchange> current_;  // the question under way
  std::unique_ptr<Exchange> held_;     // the identification, open while the kind is asked
  Identification identification_;
  KindAnswer kind_;
  ProductAnswer product_;
  LightsOutAddress address_;
  std::vector<tng::preview::Question> answers_;
};

}  // namespace orxdetect
