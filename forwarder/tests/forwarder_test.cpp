// The forwarder's text stages, severity table and console command.
#include "forwarder/forward.h"

#include <gtest/gtest.h>

namespace tng::forwarder {
namespace {

struct StageCase {
  std::string plain;
  std::string variable1, variable2, text;
};

TEST(VariableText, FieldsAfterTheEighthBar) {
  const StageCase cases[] = {
      {"a|b|c|d|e|f|g|h|x|y|", "|x|y|", "x, y, ", "x, y"},
      {"a|b|c|d|e|f|g|h", "", "", ""},  // seven bars
      {"", "", "", ""},
      {"a|b|c|d|e|f|g|h|\"x\"|\"y z\"|", "|\"x\"|\"y z\"|", "x, y z, ", "x, y z"},
      {"a|b|c|d|e|f|g|h|", "|", "", ""},
      {"a|b|c|d|e|f|g|h||", "||", ", ", ""},
      {"||||||||", "|", "", ""},
      {"a|b|c|d|e|f|g|h|x", "|x", "x", "x"},
      {"a|b|c|d|e|f|g|h|x, |", "|x, |", "x, , ", "x, "},
  };
  for (const StageCase& c : cases) {
    SCOPED_TRACE(c.plain);
    const Stages s = variable_text(c.plain);
    EXPECT_EQ(s.refusal, "");
    EXPECT_EQ(s.variable1, c.variable1);
    EXPECT_EQ(s.variable2, c.variable2);
    EXPECT_EQ(s.text, c.text);
  }
}

TEST(VariableText, StagesThatWouldNotFitAreRefused) {
  const std::string head = "a|b|c|d|e|f|g|h";
  EXPECT_EQ(variable_text(head + "|" + std::string(510, 'x')).refusal, "");  // 511 characters
  EXPECT_NE(variable_text(head + "|" + std::string(511, 'x')).refusal, "");
  // 256 bars widen to 510 characters; 257 to 512.
  EXPECT_EQ(variable_text(head + std::string(256, '|')).refusal, "");
  EXPECT_NE(variable_text(head + std::string(257, '|')).refusal, "");
  EXPECT_EQ(variable_text(std::string(20000, 'x')).refusal, "");  // no bars: nothing to copy
}

TEST(Severity, ExactWordsElseInformational) {
  struct Row {
    const char* word;
    std::string letter, colour;
  };
  const Row rows[] = {
      {"Critical", "E", "red"},       {"Major", "W", "orange"},  {"Minor", "W", "yellow"},
      {"Normal", "S", "green"},       {"critical", "I", "blue"}, {"Warning", "I", "blue"},
      {"Informational", "I", "blue"}, {"", "I", "blue"},         {nullptr, "I", "blue"},
  };
  for (const Row& r : rows) {
    const Severity& s = severity_of(r.word);
    EXPECT_EQ(s.letter, r.letter) << (r.word ? r.word : "(unset)");
    EXPECT_EQ(s.colour, r.colour) << (r.word ? r.word : "(unset)");
  }
}

TEST(Form, OnlyExactlySlashFIsTheFullForm) {
  EXPECT_EQ(form_of("/f"), Form::full);
  EXPECT_EQ(form_of("/F"), Form::brief);
  EXPECT_EQ(form_of("/f "), Form::brief);
  EXPECT_EQ(form_of(nullptr), Form::brief);
}

TEST(ConsoleCommand, FullAndShortForms) {
  const ConsoleCommand full = console_command(Form::full, "nsm1", "/opt/nsm", severity_of("Major"),
                                              {"srv7", "Fan failed"}, "x, y");
  EXPECT_EQ(full.refusal, "");
  EXPECT_EQ(full.path, "/opt/nsm/bin/cawto");
  EXPECT_EQ(full.parameters,
            "-n nsm1 -cat KORVA -sev W -c orange -k -s KORVA \"srv7 Orvex - Fan failed x, y\"");
  EXPECT_EQ(full.words,
            (std::vector<std::string>{"-n", "nsm1", "-cat", "KORVA", "-sev", "W", "-c", "orange",
                                      "-k", "-s", "KORVA", "srv7 Orvex - Fan failed x, y"}));

  const ConsoleCommand brief =
      console_command(Form::brief, "", "/opt/nsm/", severity_of(nullptr), {nullptr, nullptr}, "");
  EXPECT_EQ(brief.path, "/opt/nsm//bin/cawto");
  EXPECT_EQ(brief.parameters, "-n  \" Orvex -  \"");
  EXPECT_EQ(brief.words, (std::vector<std::string>{"-n", "", " Orvex -  "}));
}

TEST(ConsoleCommand, EventDataStaysInsideTheMessageWord) {
  const ConsoleCommand c = console_command(Form::brief, "nsm1", "/opt/nsm", severity_of(nullptr),
                                           {"x\" -sev E -k \"", "-n other"}, "t");
  EXPECT_EQ(c.parameters, "-n nsm1 \"x\" -sev E -k \" Orvex - -n other t\"");
  EXPECT_EQ(c.words,
            (std::vector<std::string>{"-n", "nsm1", "x\" -sev E -k \" Orvex - -n other t"}));
}

TEST(ConsoleCommand, WhatWouldNotFitIsRefused) {
  const Severity& s = severity_of(nullptr);
  EXPECT_EQ(console_command(Form::brief, "n", std::string(501, 'd'), s, {}, "").refusal,
            "");  // 511
  EXPECT_NE(console_command(Form::brief, "n", std::string(502, 'd'), s, {}, "").refusal, "");
  // "-n n \"" + message + "\"": 7 characters around the message's 10 + label.
  const std::string label_fits(2047 - 7 - 10, 'l');
  EXPECT_EQ(console_command(Form::brief, "n", "/d", s, {"", label_fits.c_str()}, "").refusal, "");
  const std::string label_too_long = label_fits + "l";
  EXPECT_NE(console_command(Form::brief, "n", "/d", s, {"", label_too_long.c_str()}, "").refusal,
            "");
}

}  // namespace
}  // namespace tng::forwarder
