#pragma once

// The formats a schema's "format" names, each checked by the rule of the document that defines it
// (RFC 3339 dates and times, RFC 5321 mail addresses, RFC 1123 and 5890 host names, RFC 3986 and
// 3987 URIs, RFC 6570 templates, RFC 6901 pointers, ...).

#include <cstdint>
#include <optional>
#include <string_view>

namespace schema {

enum class Format : std::uint8_t {
    DateTime,
    Date,
    Time,
    Duration,
    Email,
    IdnEmail,
    Hostname,
    IdnHostname,
    Ipv4,
    Ipv6,
    Uri,
    UriReference,
    Iri,
    IriReference,
    UriTemplate,
    Uuid,
    JsonPointer,
    RelativeJsonPointer,
    Regex,
    /// A host name as RFC 1123 has it, before IDNA reserved \"--\" in a label's third and
    /// fourth places: drafts 4 and 6.
    Rfc1123Hostname,
};

/// The format a name gives, if it is one checked here.
std::optional<Format> formatOfName(std::string_view name);

/// Whether `text` (UTF-8) is of the format.
bool conforms(Format format, std::string_view text);

}  // namespace schema
