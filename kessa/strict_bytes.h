#pragma once

#include <optional>
#include <string_view>

#include "kessa/findings.h"

namespace kessa {

/// The first place where the JSON of the well-formed kessa text `text` holds bytes that strict
/// JSON readers refuse: a finding of kind ControlByte (a control byte other than tab, line feed
/// and carriage return, which the JSON keeps raw) or NotUtf8, the first in document order; none
/// where there is none. Quick for a text of ASCII or UTF-8 without control bytes, which most
/// are: the findings are looked for only where such bytes stand somewhere in the text.
std::optional<Finding> firstStrictBytes(std::string_view text);

}  // namespace kessa
