// orxschema: loads the Orvex class definitions into a repository chosen in
// the selection dialog.
#include "import_run.h"

namespace {

constexpr const char* kIntroduction[] = {
    "This utility connects to the local Unicenter repository and\n",
    "loads the Orvex Vistrel Integration classes into the database.\n\n",
};

constexpr const char* kAddArguments[] = {"-Q", "-G", "-X", "/FILE=ORXAddClass.TNG"};

constexpr schema::TrixRun kRuns[] = {
    {"Importing the Orvex classes into the Common Object Repository\n", kAddArguments},
};

constexpr const char* kClosing[] = {
    "\nOrvex classes imported into the Common Object Repository\n",
    "The Orvex classes were created under TNGRoot-ManagedObject-Host-Orvex\n\n",
};

}  // namespace

int main() {
  return schema::run({.application = "ORXSCHEMA",
                      .introduction = kIntroduction,
                      .heading = "Importing the Orvex Class definitions...\n\n",
                      .runs = kRuns,
                      .closing = kClosing});
}
