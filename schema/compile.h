#pragma once

// The compiler: a schema's documents read once into a Plan. It finds every schema resource and
// anchor first, then compiles the schemas that the root reaches, each once, following references
// into other documents as a Resolver gives them. It keeps its own work list, so a schema of any
// depth compiles.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "schema/plan.h"

namespace schema {

/// A schema that cannot be compiled, with the place in its documents to blame.
class CompileError : public std::runtime_error {
public:
    CompileError(std::uint32_t document, std::string pointer, std::string reason)
        : std::runtime_error(reason),
          document(document),
          pointer(std::move(pointer)),
          reason(std::move(reason)) {}
    std::uint32_t document;
    std::string pointer;
    std::string reason;
};

/// Gives the documents that references name.
class Resolver {
public:
    virtual ~Resolver() = default;
    /// The document at the absolute URI `uri` (no fragment), as the reference `reference` at
    /// `pointer` in document `from` of `plan` names it; none where it is not to be had here
    /// (then the reference accepts anything, and a notice says so). May raise.
    virtual std::optional<SchemaDocument> fetch(const std::string& uri, const Plan& plan,
                                                std::uint32_t from, const std::string& pointer,
                                                std::string_view reference) = 0;
};

struct CompileOptions {
    /// The draft of a document that names none with $schema.
    Draft draft = Draft::Draft7;
    /// Whether format asserts in drafts 2019-09 and 2020-12 without their vocabulary saying so.
    bool formatAssertion = false;
    /// Whether format is read at all (not where a meta-schema checks a schema).
    bool formats = true;
};

/// The draft that a $schema URI names, if it is one of those known.
std::optional<Draft> draftOfUri(std::string_view uri);

/// Compiles `plan.documents[0]`, the root, with what `resolver` gives, into `plan`. Raises
/// CompileError, or what the resolver raises.
void compile(Plan& plan, Resolver& resolver, const CompileOptions& options);

}  // namespace schema
