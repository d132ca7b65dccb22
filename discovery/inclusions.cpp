// The inclusion objects that link each Unispace object to its board.
#include "association.h"
#include "housekeeping.h"
#include "platform/diag.h"
#include "platform/preview.h"
#include "platform/rpc_uuid.h"

namespace orxdetect {
namespace {

constexpr int32_t kPropertyListCapacity = 20;

// The UUID of a text made by this run; false when it does not convert.
bool uuid_from_text(const std::string& text, UUID& uuid) {
  return UuidFromStringA(text.c_str(), &uuid) == RPC_S_OK;
}

// A property list for one object, freed on scope exit.
class PropertyList {
 public:
  WV_RC allocate() { return TNGWV_ObjectPropertyList_Allocate(&list_, kPropertyListCapacity); }
  ~PropertyList() {
    if (list_ != nullptr) ObjectPropertyListFree(&list_);
  }
  void add_text(const char* property, std::string_view text) {
    ObjectPropertyListAddItem(list_, property, WV_TYPE_TEXT, static_cast<uint32_t>(text.size()),
                              text.data(), 0);
  }
  void add_integer(const char* property, int32_t value) {
    ObjectPropertyListAddItem(list_, property, WV_TYPE_INTEGER, sizeof value, &value, 0);
  }
  void add_uuid(const char* property, const UUID& uuid) {
    ObjectPropertyListAddItem(list_, property, WV_TYPE_UUID, sizeof uuid.bytes, uuid.bytes, 0);
  }
  WV_PROPERTY_LIST get() const { return list_; }

 private:
  WV_PROPERTY_LIST list_ = nullptr;
};

}  // namespace

bool create_inclusions(Run& run, const std::vector<UnispaceLink>& links) {
  for (const UnispaceLink& link : links) {
    PropertyList properties;
    if (const WV_RC rc = properties.allocate(); rc != WV_OK) {
      run.out.say(To::Console, "TNGWV_ObjectPropertyList_Allocate fails! rc = %d\n", rc);
      return false;
    }
    UUID uuid{};
    if (UuidCreate(&uuid) == RPC_S_UUID_NO_ADDRESS) {
      run.out.say(To::Console, "Could not create UUID!\n");
      return false;
    }
    UUID parent{};
    UUID child{};
    if (!uuid_from_text(link.unispace_uuid, parent) || !uuid_from_text(link.board_uuid, child)) {
      tng::diag::say(
          "the uuid texts of %s and its board do not convert; no inclusion object "
          "was made for them\n",
          link.unispace_name.c_str());
      continue;
    }
    properties.add_uuid("uuid", uuid);
    properties.add_text("class_name", kInclusionClass);
    properties.add_uuid("parent_uuid", parent);
    properties.add_uuid("child_uuid", child);
    properties.add_text("parent_class", kInclusionParentClass);
    properties.add_text("child_class", kInclusionChildClass);
    properties.add_integer("child_sequence_no", kInclusionSequenceNo);
    properties.add_integer("parent_sequence_no", kInclusionSequenceNo);
    const std::string inclusion(kInclusionClass);
    if (link.evidence) tng::preview::decide(*link.evidence);
    if (const WV_RC rc =
            TNGWV_Object_Create(run.session.repository(), inclusion.c_str(), properties.get());
        rc != WV_OK) {
      run.out.say(To::Console, "TNGWV_Object_Create Fails! rc = %d\n", rc);
      return false;
    }
    run.out.console("%s: new inclusion object created successfully.\n", link.unispace_name.c_str());
    run.out.log("%s: new QAROS inclusion object created successfully.\n",
                link.unispace_name.c_str());
  }
  return true;
}

}  // namespace orxdetect
