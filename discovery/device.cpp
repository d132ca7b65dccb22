#include "run.h"

namespace orxdetect {

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
