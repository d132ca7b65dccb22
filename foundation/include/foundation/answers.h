// What a repository tool was told: the answers of its front end, and the
// capacities of the reclass argument fields they must fit.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace tng {

// Capacities, in bytes with the terminator, of the reclass argument fields.
struct ReclassFieldCapacities {
  std::size_t repository;  // "/R=" + repository name
  std::size_t user;        // "/U=" + user name
  std::size_t password;    // "/W=" + password
  std::size_t object;      // "/O=" + object name
};

// The answers a tool works with, from the command line or the prompts.
struct ToolAnswers {
  std::string repository;
  std::string user;
  std::string password;
  bool blank_password = false;  // the password is exactly "B"
  std::string community;        // discovery tools
  std::string mode;             // discovery tools: S/R or Y/N
  bool interactive = false;
  std::vector<std::string> further;  // arguments after the profile's own
};

}  // namespace tng
