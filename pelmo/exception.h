#pragma once

#include <stdexcept>

namespace pelmo {

/// A failure reported by the pelmo library or a reader built on it, such as malformed input.
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    ~Exception() override;
};

}  // namespace pelmo
