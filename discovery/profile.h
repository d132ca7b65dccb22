// orxdetect's command line and prompts.
#pragma once
#include "foundation/front_end.h"

namespace orxdetect {

inline constexpr const char* kUsage[] = {
    "\nTo few arguments passed to ORXDETECT.EXE\n\n",
    "Usage: ORXDETECT RepositoryName UserName Password CommunityString Server-RemoteVistrel\n\n",
    "RepositoryName:  Name of the Unicenter TNG Repository\n",
    "UserName:        User name for logging into the repository\n",
    "Password:        Password for the specified user name\n",
    "CommunityString: Community string to be used by SNMP during discovery\n",
    "S or R:          Reclassify all systems(S) or only Remote Vistrel Objects(R)\n\n",
    "Note: Enter B for the password if the password is blank.\n\n",
};

inline constexpr const char* kIntroduction[] = {
    "\nYou will now be prompted for the Common Object Repository name,\n",
    "Username, Password, and Community String for the discovery\n",
    "process to utilize.\n\n",
};

inline constexpr tng::FrontEndProfile kProfile{
    .usage_lines = kUsage,
    .minimum_arguments = 5,
    .silent_without_arguments = false,
    .interactive = true,
    .introduction = kIntroduction,
    .line_limit = 254,
    .password_capacity = 256,
    .discovery_answers = true,
    .mode_prompt = "\nEnter S or R - reclassify all (S)ystems or (R)emote Vistrel Objects only:",
    .usage_exit_code = 0,
    .reclass_fields = {.repository = 36, .user = 128, .password = 128, .object = 256},
};

}  // namespace orxdetect
