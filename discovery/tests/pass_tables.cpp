// Writes the discovery tables in the order the programs walk them, a row a
// line, for the black-box test fixtures and the benchmarks (the build runs
// it into passes.txt), so that the order is written down only in the tables
// themselves:
//
//   orxdetect-pass CLASS both|all-systems         a reclassification pass
//   orxdetect-association CLASS both|all-systems  a class the association visits
//   plndetect-pass CLASS server|workstation [novell]
#include <cstdio>
#include <string_view>

#include "../../legacy_discovery/rules.h"
#include "rules.h"

namespace {

const char* modes_word(orxdetect::Modes modes) {
  return modes == orxdetect::Modes::Both ? "both" : "all-systems";
}

void row(std::string_view kind, std::string_view name, std::string_view rest) {
  std::printf("%.*s %.*s %.*s\n", static_cast<int>(kind.size()), kind.data(),
              static_cast<int>(name.size()), name.data(), static_cast<int>(rest.size()),
              rest.data());
}

}  // namespace

int main() {
  for (const orxdetect::PassRule& pass : orxdetect::kPassRules)
    row("orxdetect-pass", pass.framework_class, modes_word(pass.modes));
  for (const orxdetect::AssociationClass& visited : orxdetect::kAssociationClasses)
    row("orxdetect-association", visited.name, modes_word(visited.modes));
  for (const pln::LegacyRule& pass : pln::kLegacyRules) {
    const bool workstation = std::string_view(pass.probe_oid) == pln::kWorkstationProbe;
    row("plndetect-pass", pass.framework_class,
        workstation ? (pass.novell_only ? "workstation novell" : "workstation")
                    : (pass.novell_only ? "server novell" : "server"));
  }
  return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
}
