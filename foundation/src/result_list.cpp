#include "foundation/result_list.h"

namespace tng {

StoredProperty StoredProperty::from(const RepositorySession::Property& property) {
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

RepositorySession::Property StoredProperty::view() const {
  RepositorySession::Property property{};
  property.rc = rc;
  property.type = type;
  property.value = type == WV_TYPE_TEXT ? static_cast<const void*>(text.c_str())
                                        : static_cast<const void*>(&integer);
  property.length = type == WV_TYPE_TEXT ? static_cast<uint32_t>(text.size() + 1)
                                         : static_cast<uint32_t>(sizeof integer);
  return property;
}

AheadStep read_ahead(WV_OBJECT_LIST list) {
  AheadStep step;
  WV_OBJECT object = nullptr;
  const WV_RC rc = TNGWV_Object_GetNext(list, &object, 0);
  const auto read = [&object](const char* property) {
    RepositorySession::Property p{};
    uint8_t flag = 0;
    p.rc = ObjectPropertyGet(object, property, &p.type, &p.length, &p.value, &flag);
    return StoredProperty::from(p);
  };
  if (rc != WV_OK && rc != WV_BATCH_END) {
    step.kind = rc == WV_LIST_END ? AheadStep::Kind::End : AheadStep::Kind::FetchFailed;
    step.fetch_rc = rc;
  } else if (step.name = read("name"); step.name.rc != WV_OK) {
    step.kind = AheadStep::Kind::NameFailed;
  } else if (step.address = read("address"); step.address.rc != WV_OK) {
    step.kind = AheadStep::Kind::AddressFailed;
  } else {
    step.kind = AheadStep::Kind::Object;
  }
  return step;
}

}  // namespace tng
