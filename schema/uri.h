#pragma once

// URI references as schemas use them ($id, $ref, $schema): resolved against a base by RFC 3986's
// rules, split at the fragment, and JSON pointers within a fragment.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace schema {

/// `reference` resolved against the absolute URI `base` (RFC 3986, section 5.2).
std::string resolveUri(std::string_view base, std::string_view reference);

/// Whether `text` begins with a scheme: "http:", "urn:", "file:".
bool hasScheme(std::string_view text);

/// The URI without its fragment, and the fragment (without "#"), percent-decoded.
std::pair<std::string, std::string> splitFragment(std::string_view uri);

/// The steps of a JSON pointer ("" for none, "/a~1b/0" for "a/b" then "0"); none where it is not
/// one.
std::optional<std::vector<std::string>> pointerSteps(std::string_view pointer);

/// `step` appended to `pointer` as a JSON pointer writes it.
void appendStep(std::string& pointer, std::string_view step);

/// %XX escapes decoded.
std::string percentDecoded(std::string_view text);

}  // namespace schema
