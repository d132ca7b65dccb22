#include "reclassify.h"

#include <cstdio>
#include <vector>

#include "foundation/front_end.h"
#include "foundation/progress.h"
#include "inquiry_walk.h"
#include "platform/preview.h"

namespace orxdetect {
namespace {

constexpr int32_t kClassCheckCriteria = 10;
constexpr int32_t kBatch = 10;

int length_of(std::string_view text) { return static_cast<int>(text.size()); }

void report_missing_classes(Run& run) {
  run.out.say(To::Console,
              "One or more Orvex classes are not loaded in the Unicenter repository\n");
  run.out.say(To::Console,
              "Verify that the Orvex classes are loaded before running orxdetect.exe\n");
}

void pause_for_test(Run& run) {
  if (!run.test_pauses) return;
  run.out.say(To::Console, "Press return to continue or CTRL-C to exit.\n");
  std::fflush(stdout);
  tng::pause_for_return();
}

// What a preview's plan records of the decision: the device's questions and
// answers, and the entry that decided.
void note_decision(const PassRule& rule, const RuleEntry& entry, const DeviceTarget& device,
                   const Inquiry& inquiry) {
  if (!tng::preview::active()) return;
  tng::preview::Evidence evidence;
  evidence.address = device.address;
  evidence.questions = inquiry.answers();
  evidence.rule_class = rule.framework_class;
  evidence.rule_entry = describe(rule, entry);
  evidence.read = {{"address", device.address}};
  tng::preview::decide(std::move(evidence));
}

void reclassify(Run& run, const PassRule& rule, const RuleEntry& entry, const DeviceTarget& device,
                const Inquiry& inquiry) {
  run.out.say(To::ConsoleAndLog, entry.announcement, device.name.c_str());
  note_decision(rule, entry, device, inquiry);
  run.reclass.run(rule.framework_class, device.name, class_name(entry.target));
}

// The device answered the identification with an error: only a rack
// enclosure is moved, on the kind asked while that session was open.
void settle_answer_with_error(Run& run, const PassRule& rule, const DeviceTarget& device,
                              const Inquiry& inquiry) {
  const Identification& id = inquiry.identification();
  const KindAnswer kind = id.kind_on_error.value_or(KindAnswer{});
  report_not_connected(run, kind.not_connected);
  const DeviceFacts facts{id.contact, kind.kind, ProductKind::None, run.all_systems};
  if (const RuleEntry* entry = first_holding(rule, facts))
    reclassify(run, rule, *entry, device, inquiry);
  else
    run.out.say(To::ConsoleAndLog, "Device not reclassified.\n\n");
  if (id.end_failed) run.out.say(To::Console, "Error ending SNMP session\n");
}

// Prints what the device's answers tell and reclassifies it when an entry
// of the pass holds.
void settle_device(Run& run, const PassRule& rule, const DeviceTarget& device,
                   const Inquiry& inquiry) {
  const Identification& id = inquiry.identification();
  if (id.contact == Contact::AnsweredWithError && rule.settles_answer_with_error()) {
    settle_answer_with_error(run, rule, device, inquiry);
    return;
  }
  report_contact(run, id.contact, id.end_failed, device.name);
  if (id.contact == Contact::NoResponse) tng::progress::silent_device();
  if (id.contact != Contact::Answered) return;

  DeviceFacts facts{id.contact, LightsOutKind::None, ProductKind::None, run.all_systems};
  if (rule.asks_lights_out_kind()) {
    report_not_connected(run, inquiry.kind().not_connected);
    facts.lights_out = inquiry.kind().kind;
  }
  if (rule.asks_product_kind()) {
    report_not_connected(run, inquiry.product().not_connected);
    facts.product = inquiry.product().kind;
  }
  if (const RuleEntry* entry = first_holding(rule, facts))
    reclassify(run, rule, *entry, device, inquiry);
}

Questions questions_of(const PassRule& rule) {
  Questions questions;
  questions.form = rule.form;
  questions.kind_on_error = rule.settles_answer_with_error();
  questions.lights_out_kind = rule.asks_lights_out_kind();
  questions.product_kind = rule.asks_product_kind();
  questions.keep_answers = tng::preview::active();
  return questions;
}

}  // namespace

bool begin_class_pass(Run& run, std::string_view class_name, const char* properties,
                      bool print_count) {
  return tng::report_query(run.out, class_name,
                           run.session.query_class(class_name, properties, 20, kBatch),
                           print_count);
}

bool check_orvex_classes(Run& run) {
  run.out.say(To::ConsoleAndLog, "Verifying that the Orvex classes exist\n");
  auto& session = run.session;
  session.end_pass();
  if (session.allocate_criteria(kClassCheckCriteria) != WV_OK) {
    run.out.say(To::Console, "Allocating Repository Object Criteria Failed\n");
    report_missing_classes(run);
    return false;
  }
  for (const OrvexClassRow& orvex : kOrvexClasses) {
    if (!orvex.checked) continue;
    const std::string_view required = orvex.name;
    session.add_text_criterion("class_name", required);
    // Only a missing class counts; any other outcome of the query is passed over.
    if (session.query(required, "name,address", kBatch) == WV_NO_SUCH_CLASS) {
      run.out.say(To::ConsoleAndLog, "Class %.*s does not exist\n", length_of(required),
                  required.data());
      report_missing_classes(run);
      return false;
    }
  }
  return true;
}

namespace {

void run_reclassification_pass(Run& run, const PassRule& rule, Walk& walk, std::size_t pass) {
  const auto query = walk.begin(pass);
  if (!tng::report_query(run.out, rule.framework_class, query)) return;
  tng::progress::pass(rule.framework_class, query.count);
  for (uint32_t index = 0; index < query.count; ++index) {
    pause_for_test(run);
    tng::progress::object();
    walk.fill();
    const AheadObject object = walk.take(pass);
    DeviceTarget device;
    if (!print_device_target(run, object, device)) return;
    settle_device(run, rule, device, *object.probe);
  }
}

}  // namespace

void run_reclassification_passes(Run& run) {
  std::vector<const PassRule*> rules;
  std::vector<WalkPass> passes;
  for (const PassRule& rule : kPassRules) {
    if (!rule.runs_in(run.all_systems)) continue;
    rules.push_back(&rule);
    passes.push_back({rule.framework_class, questions_of(rule)});
  }
  // The class check's list and criteria go first, as the first query would
  // release them.
  run.session.end_pass();
  Walk walk = make_walk(run, std::move(passes));
  for (std::size_t pass = 0; pass < rules.size(); ++pass) {
    run_reclassification_pass(run, *rules[pass], walk, pass);
    walk.finish(pass);
  }
}

}  // namespace orxdetect
