// A class query's result list, read one object at a time: the object with
// its name and address, kept until a walk reaches it; the query into handles
// the caller holds; the text of a property read. The repository only: the
// walk that asks each object's device is lookahead_walk.h.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/session.h"

namespace tng {

// A property read kept until the walk reaches its object.
struct StoredProperty {
  WV_RC rc = WV_OK;
  int32_t type = WV_TYPE_TEXT;
  std::string text;
  int32_t integer = 0;

  static StoredProperty from(const RepositorySession::Property& property);
  // The read as the session returned it, its value pointing in here.
  RepositorySession::Property view() const;
};

// One step of a walk, read ahead: an object with its name and address, or
// the place where the walk stops.
struct AheadStep {
  enum class Kind {
    Object,         // an object to handle
    End,            // the list ended (quietly)
    FetchFailed,    // the fetch failed with fetch_rc
    NameFailed,     // the name could not be read (quietly)
    AddressFailed,  // the address could not be read
  };
  Kind kind = Kind::End;
  WV_RC fetch_rc = 0;
  StoredProperty name;
  StoredProperty address;

  // The address to ask: its text, or empty when it is not a text.
  std::string address_text() const {
    return address.type == WV_TYPE_TEXT ? address.text : std::string();
  }
};

// Fetches the list's next object and reads its "name", then its "address",
// in the order a walk does.
AheadStep read_ahead(WV_OBJECT_LIST list);

// A class query on criteria and list handles the caller holds (a walk that
// reads ahead keeps one pair per pass): allocates the criteria, adds
// class_name = class and queries the class for the properties.
RepositorySession::QueryResult query_class_into(WV_REPOSITORY repository,
                                                std::string_view class_name, const char* properties,
                                                WV_CRITERIA& criteria, WV_OBJECT_LIST& list,
                                                int32_t criteria_capacity = 20, int32_t batch = 10);

// The text of a property read for use as a name or address. A text value is
// returned as it is; an integer prints "  NAME = N" and a value of another
// type "  NAME has data type not handled", and both give the empty text.
std::string property_text(const RepositorySession::Property& property, const char* name);

}  // namespace tng
