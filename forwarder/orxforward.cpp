// orxforward: puts one event of the central management server on the NSM
// event console. The event arrives in environment variables; the NSM server
// and directory come from the environment or the command line:
//
//   orxforward [/f [NSMServerName [NSMDirectory]]]
#include "forwarder/forward.h"
#include "platform/diag.h"
#include "platform/shell.h"

#include <cstdio>
#include <cstdlib>

namespace {

using namespace tng::forwarder;

constexpr int exit_forwarded = 1;
constexpr int exit_not_forwarded = 0;

// The event's variables, read once at start in this order, with the caption
// each is shown under.
enum Input {
  notice_label,
  notice_state,
  notice_plain_text,
  notice_raw_data,
  notice_severity_str,
  notice_severity,
  device_name,
  device_ip_address,
  specific_trap_id,
  zq_task_id,
  nsm_server,
  nsm_dir,
  input_count
};
struct InputVariable {
  const char* name;
  const char* caption;  // nullptr: not part of the dump
};
constexpr InputVariable inputs[input_count] = {
    {"NOTICELABEL", "Notice Label          : "},
    {"NOTICESTATE", "Notice State          : "},
    {"NOTICEPLAINTEXT", "Notice Plain Text     : "},
    {"NOTICERAWDATA", "Notice Raw Data       : "},
    {"NOTICESEVERITYSTR", "Notice Severity String: "},
    {"NOTICESEVERITY", "Notice Severity       : "},
    {"DEVICENAME", "Device Name           : "},
    {"DEVICEIPADDRESS0", "Device IP Address     : "},
    {"SPECIFICTRAPID", "Specific Trap ID      : "},
    {"ZQ_TASKID", "ZQ Task ID            : "},
    {"NSM_SERVER", nullptr},
    {"NSM_DIR", nullptr},
};

constexpr const char* usage_lines[] = {
    "The environment variables NSM_SERVER and NSM_DIR must be set,\n",
    "or the values must be specified on the command line.\n",
    "For example: orxforward.exe NSMServerName NSMDirectory\n",
    "\nAdditionally, the Systems Vistrel Manager environment variables\n",
    "must be set in order for this program to execute.\n",
};

using Values = const char* [input_count];

// A value set in the environment wins over the command line's.
void read_inputs(int argc, char** argv, Values& values) {
  for (int i = 0; i < input_count; ++i) values[i] = std::getenv(inputs[i].name);
  if (!values[nsm_server] && argc > 2) values[nsm_server] = argv[2];
  if (!values[nsm_dir] && argc > 3) values[nsm_dir] = argv[3];
}

const char* shown(const char* value) { return value ? value : "(null)"; }

void print_dump(const Values& values, const Stages& stages) {
  for (int i = 0; i < input_count; ++i)
    if (inputs[i].caption) std::printf("%s%s\n", inputs[i].caption, shown(values[i]));
  std::printf("Variable 1            : %s\n", stages.variable1.c_str());
  std::printf("Variable 2            : %s\n", stages.variable2.c_str());
  std::printf("Final Variable String : %s\n", stages.text.c_str());
}

int refuse(const std::string& why) {
  tng::diag::say("%s; the event was not forwarded\n", why.c_str());
  return exit_not_forwarded;
}

}  // namespace

int main(int argc, char** argv) {
  Values values{};
  read_inputs(argc, argv, values);
  if (!values[nsm_server] || !values[nsm_dir] || !values[notice_plain_text]) {
    for (const char* line : usage_lines) std::fputs(line, stdout);
    return exit_not_forwarded;
  }

  const Stages stages = variable_text(values[notice_plain_text]);
  if (!stages.refusal.empty()) return refuse(stages.refusal);

  const Severity& severity = severity_of(values[notice_severity_str]);
  const ConsoleCommand command =
      console_command(form_of(argc > 1 ? argv[1] : nullptr), values[nsm_server], values[nsm_dir],
                      severity, {values[device_name], values[notice_label]}, stages.text);
  if (!command.refusal.empty()) return refuse(command.refusal);

  print_dump(values, stages);
  std::printf("Command: %s\n\n", command.path.c_str());
  std::printf("Parameters: %s\n\n", command.parameters.c_str());
  tng::shell::open_program(command.path, command.words, tng::shell::SW_SHOWNORMAL);
  std::fputs("Command execution called...\n\n\n", stdout);
  return exit_forwarded;
}
