#include "platform/arguments.h"

#include <cstring>

namespace tng::arguments {

std::string take_secret(char* word, std::size_t skip) {
  if (word == nullptr) return {};
  const std::size_t length = std::strlen(word);
  if (skip >= length) return {};
  std::string secret(word + skip, length - skip);
  // volatile: the overwrite must happen although nothing reads it afterwards.
  volatile char* text = word + skip;
  for (std::size_t i = 0; i < secret.size(); ++i) text[i] = '*';
  return secret;
}

}  // namespace tng::arguments
