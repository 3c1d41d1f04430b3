// Bad input to the host: one clear line naming the file, where in it, and what was expected.
#pragma once

#include <stdexcept>
#include <string>

#include "HostExport.h"

namespace qvhost {

class QVHOST_API HostError : public std::runtime_error {
 public:
  explicit HostError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace qvhost
