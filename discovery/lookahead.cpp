#include "lookahead.h"

namespace orxdetect {

bool print_device_target(Run& run, const AheadObject& object, DeviceTarget& target) {
  switch (object.kind) {
    case AheadObject::Kind::End:
    case AheadObject::Kind::NameFailed:
      return false;
    case AheadObject::Kind::FetchFailed:
      run.out.say(To::Console, "Object GetNext Failed - rc = %d\n", object.fetch_rc);
      return false;
    case AheadObject::Kind::AddressFailed:
    case AheadObject::Kind::Object:
      break;
  }
  const auto name = object.name.view();
  target.name = tng::property_text(name, "name");
  if (name.type == WV_TYPE_TEXT)
    run.out.say(To::ConsoleAndLog, "Device name to use for SNMP query: %s\n", target.name.c_str());
  if (object.kind == AheadObject::Kind::AddressFailed) {
    run.out.say(To::Console, "TNGWV returned unsuccessful: %d\n", object.address.rc);
    return false;
  }
  const auto address = object.address.view();
  target.address = tng::property_text(address, "address");
  if (address.type == WV_TYPE_TEXT)
    run.out.say(To::ConsoleAndLog, "Device address to use for SNMP query:%s:\n",
                target.address.c_str());
  return true;
}

}  // namespace orxdetect
