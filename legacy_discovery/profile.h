// plndetect's command line. It offers no prompts.
#pragma once
#include "foundation/front_end.h"

namespace plndetect {

inline constexpr const char* kUsage[] = {
    "\nTo few arguments passed to PLNDETECT.EXE\n\n",
    "Usage: PLNDETECT RepositoryName UserName Password CommunityString Y/N\n\n",
    "RepositoryName:  Name of the Unicenter TNG Repository\n",
    "UserName:        User name for logging into the repository\n",
    "Password:        Password for the specified user name\n",
    "CommunityString: Community string to be used by SNMP during discovery\n",
    "Y or N:          Reclassify Novell Objects (Yes or No)\n\n",
    "Note: Enter B for the password if the password is blank.\n\n",
};

inline constexpr tng::FrontEndProfile kProfile{
    .usage_lines = kUsage,
    .minimum_arguments = 5,
    .silent_without_arguments = false,
    .interactive = false,
    .introduction = {},
    .line_limit = 0,
    .password_capacity = 0,
    .discovery_answers = true,
    .mode_prompt = nullptr,
    .usage_exit_code = 0,
    // "/R=" + name in 32 bytes; "/U=", "/W=", "/O=" + value in 256 bytes each.
    .reclass_fields = {.repository = 32, .user = 256, .password = 256, .object = 256},
};

}  // namespace plndetect
