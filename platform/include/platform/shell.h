// The desktop shell's "open". A URL goes to the program named by BROWSER
// when it is set, else to xdg-open, as one argument, without a shell and
// without waiting. A failure is not reported.
#pragma once
#include <string>
#include <vector>

namespace tng::shell {

enum ShowMode { SW_SHOWNORMAL = 1, SW_SHOWMINIMIZED = 2 };

void open_url(const std::string& url, ShowMode show);

// Starts the program at `path` with the argument words, without waiting.
void open_program(const std::string& path, const std::vector<std::string>& arguments,
                  ShowMode show);

}  // namespace tng::shell
