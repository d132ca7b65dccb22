#include "lookahead.h"

namespace orxdetect {

StoredProperty StoredProperty::from(const tng::RepositorySession::Property& property) {
  StoredProperty stored;
  stored.rc = property.rc;
  stored.type = property.type;
  if (property.rc != WV_OK || property.value == nullptr) return stored;
  if (property.type == WV_TYPE_TEXT)
    stored.text = static_cast<const char*>(property.value);
  else if (property.type == WV_TYPE_INTEGER)
    stored.integer = *static_cast<const int32_t*>(property.value);
  return stored;
}

tng::RepositorySession::Property StoredProperty::view() const {
  tng::RepositorySession::Property property{};
  property.rc = rc;
  property.type = type;
  property.value = type == WV_TYPE_TEXT ? static_cast<const void*>(text.c_str())
                                        : static_cast<const void*>(&integer);
  property.length = type == WV_TYPE_TEXT ? static_cast<uint32_t>(text.size() + 1)
                                         : static_cast<uint32_t>(sizeof integer);
  return property;
}

void LookAhead::fill() {
  while (!stopped_ && fetched_ < count_ && ahead_.size() < static_cast<std::size_t>(run_.window)) {
    ++fetched_;
    AheadObject object;
    const auto fetch = run_.session.next_object();
    if (fetch.outcome != tng::RepositorySession::Fetch::Object) {
      object.kind = fetch.outcome == tng::RepositorySession::Fetch::End
                        ? AheadObject::Kind::End
                        : AheadObject::Kind::FetchFailed;
      object.fetch_rc = fetch.rc;
    } else if (object.name = StoredProperty::from(run_.session.read_property("name"));
               object.name.rc != WV_OK) {
      object.kind = AheadObject::Kind::NameFailed;
    } else if (object.address = StoredProperty::from(run_.session.read_property("address"));
               object.address.rc != WV_OK) {
      object.kind = AheadObject::Kind::AddressFailed;
    } else {
      object.kind = AheadObject::Kind::Object;
      const std::string address = object.address.type == WV_TYPE_TEXT ? object.address.text : "";
      object.inquiry = std::make_unique<Inquiry>(SnmpTarget{run_.community, address}, questions_);
      watch(*object.inquiry);
    }
    stopped_ = object.kind != AheadObject::Kind::Object;
    ahead_.push_back(std::move(object));
  }
}

void LookAhead::watch(Inquiry& inquiry) {
  if (TNG_SNMP_SESSION session = inquiry.waiting_on()) waiting_[session] = &inquiry;
}

AheadObject LookAhead::take() {
  if (ahead_.empty()) return {};  // the count is reached: the walk ends
  AheadObject& head = ahead_.front();
  while (head.inquiry != nullptr && !head.inquiry->finished()) {
    TNG_SNMP_SESSION session = TngSnmp_WaitAny();
    if (session == nullptr) break;  // nothing under way: cannot happen while the head waits
    auto found = waiting_.find(session);
    if (found == waiting_.end()) continue;
    Inquiry* inquiry = found->second;
    waiting_.erase(found);
    inquiry->answer_arrived();
    watch(*inquiry);
  }
  AheadObject object = std::move(head);
  ahead_.pop_front();
  return object;
}

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
