// The one base of the program's own errors. what() is the whole message a user sees, with its
// cause appended where the error was raised while handling another one. A function that finds
// nothing to do ("not my format", "no image") answers false; a failure is always an error.
#pragma once

#include <stdexcept>
#include <string>

namespace base {

class Error : public std::runtime_error {
public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace base
