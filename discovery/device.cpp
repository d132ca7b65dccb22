#include "run.h"

namespace orxdetect {

std::optional<DeviceTarget> read_device_target(Run& run) {
  const auto name = run.session.read_property("name");
  if (name.rc != WV_OK) return std::nullopt;
  DeviceTarget target;
  target.name = tng::property_text(name, "name");
  if (name.type == WV_TYPE_TEXT)
    run.out.say(To::ConsoleAndLog, "Device name to use for SNMP query: %s\n", target.name.c_str());

  const auto address = run.session.read_property("address");
  if (address.rc != WV_OK) {
    run.out.say(To::Console, "TNGWV returned unsuccessful: %d\n", address.rc);
    return std::nullopt;
  }
  target.address = tng::property_text(address, "address");
  if (address.type == WV_TYPE_TEXT)
    run.out.say(To::ConsoleAndLog, "Device address to use for SNMP query:%s:\n",
                target.address.c_str());
  return target;
}

void report_contact(Run& run, Contact contact, bool end_failed, const std::string& name) {
  switch (contact) {
    case Contact::NotConnected:
      run.out.say(To::ConsoleAndLog, "Could not establish SNMP connection\n\n");
      return;
    case Contact::NotCompleted:
      return;
    case Contact::NoResponse:
      run.out.say(To::ConsoleAndLog, "System %s not reclassified\n\n", name.c_str());
      return;
    case Contact::AnsweredWithError:
      run.out.say(To::ConsoleAndLog, "Device not reclassified.\n\n");
      break;
    case Contact::Answered:
      break;
  }
  if (end_failed) run.out.say(To::Console, "Error ending SNMP session\n");
}

void report_not_connected(Run& run, bool not_connected) {
  if (not_connected) run.out.say(To::Console, "Could not establish SNMP connection\n\n");
}

}  // namespace orxdetect
