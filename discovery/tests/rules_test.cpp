// The rule table without agents: which class each pass moves a device to,
// for the answers a device can give, in both modes; which questions each
// pass asks; and the class catalogue against the shipped class files.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "rules.h"

namespace orxdetect {
namespace {

constexpr Contact kAnswered = Contact::Answered;
constexpr Contact kError = Contact::AnsweredWithError;
constexpr Contact kSilent = Contact::NoResponse;
constexpr LightsOutKind kNoKind = LightsOutKind::None;
constexpr LightsOutKind kBoard = LightsOutKind::Board;
constexpr LightsOutKind kRack = LightsOutKind::RackEnclosure;
constexpr LightsOutKind kOther = LightsOutKind::Other;
constexpr ProductKind kNoProduct = ProductKind::None;
constexpr ProductKind kStorage = ProductKind::StorageAppliance;
constexpr ProductKind kTarvik = ProductKind::TarvikServer;

const PassRule& pass_of(std::string_view framework_class) {
  for (const PassRule& rule : kPassRules)
    if (rule.framework_class == framework_class) return rule;
  ADD_FAILURE() << "no pass for " << framework_class;
  return kPassRules.front();
}

// The class a device ends in ("" when it stays), as the pass decides it.
std::string outcome(const PassRule& rule, const DeviceFacts& facts) {
  if (!rule.runs_in(facts.all_systems)) return "(pass not run)";
  const RuleEntry* entry = first_holding(rule, facts);
  return entry == nullptr ? "" : std::string(class_name(entry->target));
}

struct MoveCase {
  const char* pass;
  Contact contact;
  LightsOutKind kind;
  ProductKind product;
  const char* all_systems;  // where the device ends in mode S
  const char* lights_out;   // and in mode R
};

constexpr MoveCase kMoves[] = {
    // A board moves in either mode and before anything else the pass knows.
    {"Host", kAnswered, kBoard, kNoProduct, "Orvex_RemoteVistrel", "Orvex_RemoteVistrel"},
    {"Host", kAnswered, kNoKind, kNoProduct, "Orvex_Host", ""},
    {"Host", kAnswered, kOther, kNoProduct, "Orvex_Host", ""},
    {"Windows2000_Server", kAnswered, kBoard, kStorage, "Orvex_RemoteVistrel",
     "Orvex_RemoteVistrel"},
    {"Windows2000_Server", kAnswered, kNoKind, kStorage, "Orvex_SANappliance", ""},
    // The Windows 2000 pass has no Tarvik entry.
    {"Windows2000_Server", kAnswered, kNoKind, kTarvik, "Orvex_Windows2000_Server", ""},
    {"Windows_NetServer", kAnswered, kNoKind, kStorage, "Orvex_SANappliance", ""},
    {"Windows_NetServer", kAnswered, kNoKind, kTarvik, "Orvex_TarvikServer", ""},
    {"Windows_NetServer", kAnswered, kNoKind, kNoProduct, "Orvex_Windows_NetServer", ""},
    {"Windows_NetServer", kAnswered, kBoard, kTarvik, "Orvex_RemoteVistrel", "Orvex_RemoteVistrel"},
    {"WindowsNT_Server", kAnswered, kNoKind, kNoProduct, "Orvex_WindowsNT_Server", ""},
    {"WindowsNT_Server", kAnswered, kBoard, kNoProduct, "Orvex_RemoteVistrel",
     "Orvex_RemoteVistrel"},
    // A rack enclosure answers the server identity with an error.
    {"Linux", kError, kRack, kNoProduct, "Orvex_RackEnclosure", "Orvex_RackEnclosure"},
    {"Linux", kError, kBoard, kNoProduct, "", ""},
    {"Linux", kError, kNoKind, kNoProduct, "", ""},
    {"Linux", kAnswered, kRack, kNoProduct, "Orvex_Linux", ""},
    {"Linux", kAnswered, kBoard, kNoProduct, "Orvex_RemoteVistrel", "Orvex_RemoteVistrel"},
    {"Host", kError, kRack, kNoProduct, "", ""},
    {"DECSystem", kAnswered, kBoard, kNoProduct, "Orvex_DECSystem", "(pass not run)"},
    {"DECSystem", kAnswered, kNoKind, kNoProduct, "Orvex_DECSystem", "(pass not run)"},
    {"SCOUnix", kAnswered, kNoKind, kNoProduct, "Orvex_SCOUnix", ""},
    {"UnixWare", kAnswered, kNoKind, kNoProduct, "Orvex_UnixWare", ""},
    {"Novell", kAnswered, kNoKind, kNoProduct, "Orvex_Novell", ""},
    {"OS2", kAnswered, kNoKind, kNoProduct, "Orvex_OS2", ""},
    {"OS2", kAnswered, kBoard, kNoProduct, "Orvex_RemoteVistrel", "Orvex_RemoteVistrel"},
    {"WindowsXP", kAnswered, kNoKind, kNoProduct, "Orvex_WindowsXP", "(pass not run)"},
    {"Windows2000", kAnswered, kNoKind, kNoProduct, "Orvex_Windows2000", "(pass not run)"},
    {"WindowsNT", kAnswered, kNoKind, kNoProduct, "Orvex_WindowsNT", "(pass not run)"},
    {"Windows9x", kAnswered, kNoKind, kNoProduct, "Orvex_Windows9x", "(pass not run)"},
    {"Windows95", kAnswered, kNoKind, kNoProduct, "Orvex_Windows95", "(pass not run)"},
    // Nothing moves a device that did not answer.
    {"Host", kSilent, kBoard, kNoProduct, "", ""},
    {"Windows95", kError, kNoKind, kNoProduct, "", "(pass not run)"},
    {"Windows_NetServer", Contact::NotConnected, kBoard, kTarvik, "", ""},
};

TEST(Rules, EachPassMovesADeviceByItsAnswersAndTheMode) {
  for (const MoveCase& c : kMoves) {
    const PassRule& rule = pass_of(c.pass);
    const DeviceFacts facts{c.contact, c.kind, c.product, true};
    DeviceFacts lights_out_only = facts;
    lights_out_only.all_systems = false;
    EXPECT_EQ(outcome(rule, facts), c.all_systems)
        << c.pass << " contact " << int(c.contact) << " kind " << int(c.kind) << " product "
        << int(c.product) << ", mode S";
    EXPECT_EQ(outcome(rule, lights_out_only), c.lights_out)
        << c.pass << " contact " << int(c.contact) << " kind " << int(c.kind) << " product "
        << int(c.product) << ", mode R";
  }
}

struct QuestionCase {
  const char* pass;
  bool kind;
  bool product;
  bool kind_on_error;
};

// Every pass, in the order they run, with the questions it asks a device.
constexpr QuestionCase kQuestions[] = {
    {"Host", true, false, false},
    {"Windows2000_Server", true, true, false},
    {"Windows_NetServer", true, true, false},
    {"WindowsNT_Server", true, false, false},
    {"Linux", true, false, true},
    {"DECSystem", false, false, false},
    {"SCOUnix", true, false, false},
    {"UnixWare", true, false, false},
    {"Novell", true, false, false},
    {"OS2", true, false, false},
    {"WindowsXP", false, false, false},
    {"Windows2000", false, false, false},
    {"WindowsNT", false, false, false},
    {"Windows9x", false, false, false},
    {"Windows95", false, false, false},
};

TEST(Rules, PassesRunInOrderAndAskWhatTheirEntriesNeed) {
  ASSERT_EQ(kPassRules.size(), std::size(kQuestions));
  for (std::size_t i = 0; i < kPassRules.size(); ++i) {
    const PassRule& rule = kPassRules[i];
    const QuestionCase& c = kQuestions[i];
    EXPECT_EQ(rule.framework_class, c.pass);
    EXPECT_EQ(rule.asks_lights_out_kind(), c.kind) << c.pass;
    EXPECT_EQ(rule.asks_product_kind(), c.product) << c.pass;
    EXPECT_EQ(rule.settles_answer_with_error(), c.kind_on_error) << c.pass;
  }
}

// The lines of a class file, comments and blank lines left out.
std::vector<std::string> statements(const std::string& file) {
  std::ifstream in(std::string(TNG_CLASS_FILES) + "/" + file);
  EXPECT_TRUE(in) << file;
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  return lines;
}

TEST(ClassCatalogue, TheShippedClassFilesAgreeWithTheTable) {
  std::vector<std::string> added;
  std::vector<std::string> dropped;
  for (const OrvexClassRow& row : kOrvexClasses) {
    added.push_back("class " + std::string(row.name) + " under " + std::string(row.parent));
    if (row.id != OrvexClass::Orvex) dropped.push_back("drop " + std::string(row.name));
  }
  dropped.emplace_back("drop Orvex");  // the family class last
  EXPECT_EQ(statements("ORXAddClass.TNG"), added);
  EXPECT_EQ(statements("ORXDeleteClass.TNG"), dropped);
}

}  // namespace
}  // namespace orxdetect
