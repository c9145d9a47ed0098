#pragma once

#include <string>
#include <string_view>

#include "kessa/finding_kinds.h"
#include "kessa/writer.h"
#include "pelmo/json/json_reader.h"
#include "pelmo/json/text_sink.h"

namespace kessa {

/// A value of a JSON text that no kessa text gives.
struct JsonRefusal {
    /// One of the kinds from NoBoolean on.
    FindingKind reason;
    /// Where the value is, as a JSON pointer (RFC 6901), such as "/db/port".
    std::string pointer;
    /// Where it stands in the JSON text: the value, or for a key the key.
    pelmo::JsonPlace place;
    /// Why, in a sentence (whyNoText).
    std::string message;
};

/// What jsonToKessa says of a JSON text.
class JsonToKessaHandler {
public:
    virtual ~JsonToKessaHandler();
    /// A value that no kessa text gives, in document order.
    virtual void refused(const JsonRefusal& refusal) = 0;
    /// A string or key that holds bytes strict JSON readers refuse, which the kessa text keeps as
    /// they are, so that its JSON holds them again: `kind` is ControlByte (a raw control byte)
    /// or NotUtf8. Each string that holds them is reported.
    virtual void kept(FindingKind kind, pelmo::JsonPlace place);
};

struct JsonToKessaOptions {
    Layout layout;
    /// Numbers are doubles, as JavaScript holds them: an integer beyond 64 bits is written as a
    /// float that gives the same double, instead of being refused.
    bool numbersAreDoubles = false;
};

/// Reads the JSON text `json` (pelmo::readJson) and writes to `sink`, where one is given, the
/// kessa text that gives exactly it in the layout of KessaWriter; reports to `handler` each value
/// that no kessa text gives, in document order. Once one is reported nothing more is written, so
/// a caller that got any throws away what it has; with no sink, it only checks. Memory follows
/// the nesting depth. Returns whether every value had a text. Raises pelmo::JsonSyntaxError for
/// a text that is not JSON (once the values before the fault were seen), and whatever the sink
/// or the handler raises.
bool jsonToKessa(std::string_view json, pelmo::TextSink* sink, JsonToKessaHandler& handler,
                 const JsonToKessaOptions& options = {});

}  // namespace kessa
