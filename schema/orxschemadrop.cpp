// orxschemadrop: removes the Pellion and then the Orvex class definitions
// from a repository chosen in the selection dialog.
#include "import_run.h"

namespace {

constexpr const char* kIntroduction[] = {
    "This utility connects to the local Unicenter repository and\n",
    "removes the Orvex Vistrel Integration classes from the database.\n\n",
};

constexpr const char* kPellionArguments[] = {"/TYPE=IMPORT", "/FILE=PLNDeleteClass.TNG"};
constexpr const char* kOrvexArguments[] = {"/TYPE=IMPORT", "/FILE=ORXDeleteClass.TNG"};

constexpr schema::TrixRun kRuns[] = {
    {"Removing the Pellion Class definitions\n", kPellionArguments},
    {"Removing the Orvex Class definitions\n", kOrvexArguments},
};

constexpr const char* kClosing[] = {
    "Classes removed from the Common Object Repository\n",
};

}  // namespace

int main() {
  return schema::run({.application = "ORXSCHEMADROP",
                      .introduction = kIntroduction,
                      .heading = "Removing the Integration Class definitions...\n\n",
                      .runs = kRuns,
                      .closing = kClosing});
}
