#pragma once

// Internal to the kessa library: work that recurses as deep as its input, run where it has room.

#include <cstddef>
#include <functional>

namespace kessa::detail {

/// Runs `work` on a thread of its own with a stack of `size` bytes (reserved, not committed),
/// and returns when it ends; what it raises is raised here. Raises std::bad_alloc when no such
/// thread can be made.
void runOnLargeStack(std::size_t size, const std::function<void()>& work);

}  // namespace kessa::detail
