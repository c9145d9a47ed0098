#include "pelmo/exception.h"

namespace pelmo {

// Defined out of line so that the class's type information lives in one object file.
Exception::~Exception() = default;

}  // namespace pelmo
