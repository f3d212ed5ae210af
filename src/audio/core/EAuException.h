#pragma once
// The audio pipeline's exception: carries a message only.

#include <stdexcept>
#include <string>

class EAuException : public std::runtime_error {
 public:
  explicit EAuException(const std::string& Message) : std::runtime_error(Message) {}
};
