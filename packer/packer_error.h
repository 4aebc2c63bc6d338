// The one kind of failure the packer reports to its user: the message says
// what went wrong and names the file, the entry or the config line.
#pragma once

#include <stdexcept>

namespace packer {

class PackerError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace packer
