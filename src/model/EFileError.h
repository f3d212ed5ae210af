#pragma once
// A script file could not be read or written. The message names the file
// and gives the system's error text, e.g.
//   "cannot write /home/op/esti.vrs: No space left on device".

#include <stdexcept>
#include <string>

class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
