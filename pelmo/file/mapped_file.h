#pragma once

#include <cstdint>
#include <filesystem>

namespace pelmo {

/// Maps the whole of the regular file at `native` read-only and returns the view's start,
/// storing its length in `size`. A zero-length file gives a fixed marker, with no mapping made,
/// that must not be read through. Returns null, and raises nothing, when the file cannot be
/// opened, sized or mapped, or is not a regular file; no handle stays open in any case. On
/// Windows the file is opened sharing reading only, so a file that another handle may be writing
/// is not mapped.
const void* mapFile(const std::filesystem::path& native, std::uint64_t& size) noexcept;

/// Releases a view that mapFile returned; the marker of an empty file is ignored.
void unmapFile(const void* view, std::uint64_t size) noexcept;

}  // namespace pelmo
