#pragma once

// The evaluation of a compiled schema over a document: a loop over an explicit stack of frames,
// one frame per schema node applied to a value, so that neither a deep document nor a deep
// schema can exhaust the machine's stack. Nothing is copied per step: a frame names its value by
// a Ref, and a fault records the Ref of its value; paths are made only for the faults reported.
//
// Two modes: without a fault list the first fault ends each frame (the fast answer); with one,
// every fault is kept, and anyOf and oneOf keep the faults of their closest branch only.

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "schema/format.h"
#include "schema/plan.h"
#include "schema/values.h"

namespace schema {

/// One place where a value does not fit.
struct Fault {
    std::uint32_t instruction;  ///< in Plan::code: the keyword that refuses
    Ref instance;               ///< the value it refuses (a member's key for propertyNames)
    std::uint64_t detail = 0;   ///< what the keyword's words need: see the Op
    std::uint64_t extra = 0;
    std::uint32_t depth = 0;  ///< how deep the value lies, the root being 0
    /// The faults of the closest branch of an anyOf or oneOf that no branch fits, which come
    /// before it in the list.
    std::uint32_t childBegin = 0, childEnd = 0;
    /// Whether the fault is one of an anyOf's or oneOf's branch, said through it.
    bool nested = false;
};

/// Raised where a schema leads back to the same value without end.
class EvaluationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

template <class Doc>
class Evaluator {
public:
    Evaluator(const Plan& plan, const Doc& doc, std::vector<Fault>* faults)
        : plan_(plan), doc_(doc), faults_(faults), owner_(plan.dynamicNames, kNone) {}

    /// Whether the value `root` fits the plan's root schema.
    bool run(Ref root) { return run(plan_.root, root); }

    bool run(std::uint32_t node, Ref root) {
        frames_.clear();
        push(node, root, 0, faults_ != nullptr, false, kNone);
        while (true) {
            Frame& f = frames_.back();
            // Without a fault list, the first fault decides the frame.
            if (f.pc == f.end || (!f.valid && !f.report)) {
                const Frame done = f;
                frames_.pop_back();
                for (std::size_t i = done.claims; i < claims_.size(); ++i)
                    owner_[claims_[i]] = kNone;
                claims_.resize(done.claims);
                if (frames_.empty()) return done.valid;
                returned(frames_.back(), done);
                if (done.bits != kNone) bits_.resize(done.bits);
                continue;
            }
            step(frames_.size() - 1);
        }
    }

private:
    struct Frame {
        std::uint32_t node = 0;
        Ref instance;
        std::uint32_t pc = 0, end = 0;
        std::uint32_t depth = 0;
        std::uint32_t bits = kNone;  ///< the evaluated entries, in bits_, where tracked
        std::uint32_t claims = 0;    ///< claims_ when the frame began
        std::uint32_t inPlace = 0;   ///< frames in a row on the same value
        // The state of the instruction at pc.
        std::uint32_t iter = 0, sub = 0, count = 0, mark = 0, branchStart = 0, best = kNone;
        std::uint32_t matched = 0;
        bool started = false;
        bool opValid = true;
        bool valid = true;
        bool report = false;
    };

    /// What returned() must know of the child it gets.
    enum Role : std::uint8_t { kBranch, kEntry, kQuiet };

    bool tracked(const Frame& f) const { return f.bits != kNone; }

    void push(std::uint32_t node, Ref instance, std::uint32_t depth, bool report, bool inPlace,
              std::size_t parent) {
        const Node& n = plan_.nodes[node];
        Frame f;
        f.node = node;
        f.instance = instance;
        f.pc = n.first;
        f.end = n.first + n.count;
        f.depth = depth;
        f.report = report;
        f.claims = static_cast<std::uint32_t>(claims_.size());
        const Frame* up = parent == kNone ? nullptr : &frames_[parent];
        f.inPlace = inPlace && up != nullptr ? up->inPlace + 1 : 0;
        if (f.inPlace > plan_.nodes.size() + 1) {
            throw EvaluationError("the schema leads back to the same value without end");
        }
        const Type type = doc_.type(instance);
        const bool container = type == Type::Object || type == Type::Array;
        const bool wants = (type == Type::Object && n.tracksMembers) ||
                           (type == Type::Array && n.tracksItems) ||
                           (inPlace && up != nullptr && up->bits != kNone);
        if (container && wants) {
            f.bits = static_cast<std::uint32_t>(bits_.size());
            bits_.resize(bits_.size() + (doc_.size(instance) + 63) / 64, 0);
        }
        if (up == nullptr || plan_.nodes[up->node].resource != n.resource) {
            const Resource& r = plan_.resources[n.resource];
            for (std::uint32_t i = 0; i < r.anchorCount; ++i) {
                const auto [name, target] = plan_.dynamicAnchors[r.firstAnchor + i];
                if (owner_[name] == kNone) {
                    owner_[name] = target;
                    claims_.push_back(name);
                }
            }
        }
        frames_.push_back(f);
    }

    void mark(Frame& f, std::uint32_t entry) {
        if (f.bits != kNone) bits_[f.bits + entry / 64] |= std::uint64_t{1} << (entry % 64);
    }
    bool marked(const Frame& f, std::uint32_t entry) const {
        return (bits_[f.bits + entry / 64] >> (entry % 64)) & 1;
    }
    void merge(Frame& parent, const Frame& child) {
        if (parent.bits == kNone || child.bits == kNone) return;
        const std::uint32_t words = (doc_.size(parent.instance) + 63) / 64;
        for (std::uint32_t i = 0; i < words; ++i) bits_[parent.bits + i] |= bits_[child.bits + i];
    }

    void fault(Frame& f, Fault fault) {
        f.valid = false;
        if (!f.report) return;
        fault.instruction = f.pc;
        fault.depth = fault.depth == 0 ? f.depth : fault.depth;
        faults_->push_back(fault);
    }

    void next(Frame& f) {
        ++f.pc;
        f.iter = f.sub = f.count = f.matched = 0;
        f.best = kNone;
        f.started = false;
        f.opValid = true;
    }

    void fail(Frame& f, std::uint64_t detail = 0, std::uint64_t extra = 0, Ref at = {},
              bool atValue = true, std::uint32_t depth = 0) {
        Fault out{};
        out.instance = atValue ? f.instance : at;
        out.detail = detail;
        out.extra = extra;
        out.depth = depth;
        fault(f, out);
    }

    /// Ends the applicator at pc: a fault where it failed, made by `onFail`.
    void close(Frame& f) {
        if (!f.opValid) f.valid = false;
        if (!f.opValid && !f.report) {
            f.pc = f.end;
            return;
        }
        next(f);
    }

    void child(std::size_t at, std::uint32_t node, Ref instance, bool inPlace, bool quiet) {
        Frame& f = frames_[at];
        const std::uint32_t depth = inPlace ? f.depth : f.depth + 1;
        f.branchStart = faults_ != nullptr ? static_cast<std::uint32_t>(faults_->size()) : 0;
        // A $ref alone stands for its target, where entering it claims no dynamic anchor.
        for (int hops = 0; hops < 8 && plan_.nodes[node].refOnly; ++hops) {
            const Node& ref = plan_.nodes[node];
            if (plan_.resources[ref.resource].anchorCount != 0) break;
            node = plan_.code[ref.first].a;
        }
        const bool report = f.report && !quiet;
        if (!report && plan_.nodes[node].simple) {
            // Assertions alone, without a frame; they leave no annotations to merge.
            Frame done;
            done.valid = simple(node, instance, depth);
            returned(f, done);
            return;
        }
        push(node, instance, depth, report, inPlace, at);
    }

    /// Whether `instance` fits the simple node `node`, evaluated in place.
    bool simple(std::uint32_t node, Ref instance, std::uint32_t depth) {
        const Node& n = plan_.nodes[node];
        Frame f;
        f.node = node;
        f.instance = instance;
        f.pc = n.first;
        f.end = n.first + n.count;
        f.depth = depth;
        while (f.pc != f.end && f.valid) {
            assertion(f);
            next(f);
        }
        return f.valid;
    }

    bool isFalse(std::uint32_t node) const {
        const Node& n = plan_.nodes[node];
        return n.count == 1 && plan_.code[n.first].op == Op::False;
    }

    /// The member of `object` whose key is `name`, the last where it repeats.
    bool hasMember(Ref object, std::string_view name) {
        const std::uint32_t size = doc_.size(object);
        for (std::uint32_t i = 0; i < size; ++i) {
            const Ref member = doc_.entry(object, i);
            if (doc_.shadowed(member)) continue;
            if (doc_.string(Ref{member.index, true}, buffer_) == name) return true;
        }
        return false;
    }

    /// How a failed branch compares with the best kept so far: deeper faults win, then fewer
    /// faults of type at the value itself, then fewer faults.
    struct Score {
        std::uint32_t depth = 0, typeFaults = 0, count = 0;
        bool better(const Score& other) const {
            if (depth != other.depth) return depth > other.depth;
            if (typeFaults != other.typeFaults) return typeFaults < other.typeFaults;
            return count < other.count;
        }
    };
    Score scoreOf(std::uint32_t begin, std::uint32_t end, std::uint32_t valueDepth) const {
        Score score;
        for (std::uint32_t i = begin; i < end; ++i) {
            const Fault& f = (*faults_)[i];
            if (f.nested) continue;
            score.depth = std::max(score.depth, f.depth);
            ++score.count;
            if (f.depth == valueDepth && plan_.code[f.instruction].op == Op::Type)
                ++score.typeFaults;
        }
        return score;
    }

    /// Keeps the faults of the branch that just failed if it is closer than the best so far.
    void keepCloser(Frame& f, std::uint32_t branch) {
        if (faults_ == nullptr || !f.report) return;
        std::vector<Fault>& faults = *faults_;
        const auto end = static_cast<std::uint32_t>(faults.size());
        const Score candidate = scoreOf(f.branchStart, end, f.depth);
        if (f.best == kNone || candidate.better(scoreOf(f.mark, f.branchStart, f.depth))) {
            // The new branch's faults move down over the old ones, their links with them.
            const std::uint32_t shift = f.branchStart - f.mark;
            for (std::uint32_t i = f.branchStart; i < end; ++i) {
                Fault moved = faults[i];
                if (moved.childEnd != 0) {
                    moved.childBegin -= shift;
                    moved.childEnd -= shift;
                }
                faults[i - shift] = moved;
            }
            faults.resize(end - shift);
            f.best = branch;
        } else {
            faults.resize(f.branchStart);
        }
    }

    void dropFaultsFrom(std::uint32_t mark) {
        if (faults_ != nullptr) faults_->resize(mark);
    }

    /// The result of a child frame, for the instruction at its parent's pc.
    void returned(Frame& f, const Frame& c) {
        const Instruction& in = plan_.code[f.pc];
        const bool ok = c.valid;
        switch (in.op) {
            case Op::AllOf:
            case Op::Ref:
            case Op::DynamicRef:
            case Op::DependentSchemas:
                if (ok) {
                    merge(f, c);
                } else {
                    f.opValid = false;
                    if (!f.report) f.iter = kNone;  // no need for the others
                }
                return;
            case Op::AnyOf:
                if (ok) {
                    ++f.count;
                    merge(f, c);
                    if (f.report) dropFaultsFrom(f.branchStart);
                } else {
                    keepCloser(f, f.iter - 1);
                }
                return;
            case Op::OneOf:
                if (ok) {
                    ++f.count;
                    merge(f, c);
                    if (f.report) dropFaultsFrom(f.branchStart);
                } else {
                    keepCloser(f, f.iter - 1);
                }
                return;
            case Op::Not:
                f.opValid = !ok;
                return;
            case Op::If:
                if (f.iter == 1) {
                    f.matched = ok;
                    if (ok) merge(f, c);
                } else {
                    f.opValid = ok;
                    if (ok) merge(f, c);
                }
                return;
            case Op::Members:
            case Op::Items:
            case Op::UnevaluatedProperties:
            case Op::UnevaluatedItems:
                mark(f, f.iter);
                if (!ok) f.opValid = false;
                return;
            case Op::PropertyNames:
                if (!ok) {
                    f.opValid = false;
                    fail(f, 0, 0, Ref{doc_.entry(f.instance, f.iter).index, true}, false,
                         f.depth + 1);
                }
                return;
            case Op::Contains:
                if (ok) {
                    ++f.count;
                    if (plan_.nodes[f.node].contributesContains) mark(f, f.iter);
                }
                return;
            default:
                return;
        }
    }

    static std::size_t charactersOf(std::string_view text) {
        std::size_t count = 0;
        for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        return count;
    }

    bool typeFits(const Frame& f, std::uint32_t types) const {
        const Type type = doc_.type(f.instance);
        if (types & bitOf(type)) return true;
        if (type == Type::Integer && (types & bitOf(Type::Number))) return true;
        if (type == Type::Number && (types & bitOf(Type::Integer))) {
            const Number n = doc_.number(f.instance);
            return plan_.nodes[f.node].wholeIsInteger ? n.integral() : n.wholeLiteral;
        }
        return false;
    }

    bool isNumber(Ref ref) const {
        const Type type = doc_.type(ref);
        return type == Type::Integer || type == Type::Number;
    }

    void step(std::size_t at) {
        Frame& f = frames_[at];
        if (!assertion(f)) {
            applicator(at, plan_.code[f.pc]);
            return;
        }
        if (f.pc != f.end) next(f);
    }

    /// Evaluates the instruction at f.pc where it asserts only; false for an applicator.
    bool assertion(Frame& f) {
        const Instruction& in = plan_.code[f.pc];
        switch (in.op) {
            case Op::False:
                fail(f);
                break;
            case Op::Type:
                if (!typeFits(f, in.a)) fail(f);
                break;
            case Op::Const:
                if (!equal(doc_, f.instance, plan_.constants, Ref{in.a, false})) fail(f);
                break;
            case Op::Enum: {
                bool found = false;
                for (std::uint32_t i = 0; i < in.b && !found; ++i) {
                    found =
                        equal(doc_, f.instance, plan_.constants, Ref{plan_.lists[in.a + i], false});
                }
                if (!found) fail(f);
                break;
            }
            case Op::Minimum:
            case Op::Maximum:
            case Op::ExclusiveMinimum:
            case Op::ExclusiveMaximum: {
                if (!isNumber(f.instance)) break;
                const auto order = compare(doc_.number(f.instance), plan_.numbers[in.a]);
                const bool ok = in.op == Op::Minimum            ? order >= 0
                                : in.op == Op::Maximum          ? order <= 0
                                : in.op == Op::ExclusiveMinimum ? order > 0
                                                                : order < 0;
                if (!ok) fail(f);
                break;
            }
            case Op::MultipleOf:
                if (isNumber(f.instance) &&
                    !isMultipleOf(doc_.number(f.instance), plan_.numbers[in.a])) {
                    fail(f);
                }
                break;
            case Op::MinLength:
            case Op::MaxLength: {
                if (doc_.type(f.instance) != Type::String) break;
                const std::size_t length = charactersOf(doc_.string(f.instance, buffer_));
                if (in.op == Op::MinLength ? length < in.n : length > in.n) fail(f, length);
                break;
            }
            case Op::Pattern:
                if (doc_.type(f.instance) == Type::String &&
                    !plan_.regexes[in.a]->search(doc_.string(f.instance, buffer_))) {
                    fail(f);
                }
                break;
            case Op::Format:
                if (doc_.type(f.instance) == Type::String &&
                    !conforms(static_cast<Format>(in.a), doc_.string(f.instance, buffer_))) {
                    if (in.b != 0) {
                        fail(f);
                    } else if (f.report) {
                        // An annotation: said, but the value still fits.
                        Fault out{};
                        out.instruction = f.pc;
                        out.instance = f.instance;
                        out.depth = f.depth;
                        faults_->push_back(out);
                    }
                }
                break;
            case Op::MinItems:
            case Op::MaxItems:
                if (doc_.type(f.instance) == Type::Array) {
                    const std::uint64_t size = doc_.size(f.instance);
                    if (in.op == Op::MinItems ? size < in.n : size > in.n) fail(f, size);
                }
                break;
            case Op::MinProperties:
            case Op::MaxProperties:
                if (doc_.type(f.instance) == Type::Object) {
                    const std::uint64_t size = doc_.kept(f.instance);
                    if (in.op == Op::MinProperties ? size < in.n : size > in.n) fail(f, size);
                }
                break;
            case Op::UniqueItems:
                if (doc_.type(f.instance) == Type::Array) {
                    const auto pair = repeated(doc_, f.instance);
                    if (pair.first != pair.second) fail(f, pair.first, pair.second);
                }
                break;
            case Op::Required:
                if (doc_.type(f.instance) == Type::Object) required(f, in);
                break;
            case Op::DependentRequired:
                if (doc_.type(f.instance) == Type::Object) dependentRequired(f, in);
                break;
            default:
                return false;
        }
        return true;
    }

    void required(Frame& f, const Instruction& in) {
        found_.assign(in.b, 0);
        const std::uint32_t size = doc_.size(f.instance);
        const auto begin = plan_.lists.begin() + in.a, end = begin + in.b;
        for (std::uint32_t i = 0; i < size; ++i) {
            const Ref member = doc_.entry(f.instance, i);
            if (doc_.shadowed(member)) continue;
            const std::string_view key = doc_.string(Ref{member.index, true}, buffer_);
            const auto at =
                std::lower_bound(begin, end, key, [&](std::uint32_t s, std::string_view k) {
                    return std::string_view(plan_.strings[s]) < k;
                });
            if (at != end && plan_.strings[*at] == key) found_[at - begin] = 1;
        }
        for (std::uint32_t i = 0; i < in.b; ++i) {
            if (!found_[i]) {
                fail(f, plan_.lists[in.a + i]);
                if (!f.report) return;
            }
        }
    }

    void dependentRequired(Frame& f, const Instruction& in) {
        const std::uint32_t size = doc_.size(f.instance);
        for (std::uint32_t d = 0; d < in.b; ++d) {
            const Plan::Dependency& dependency = plan_.dependencies[in.a + d];
            const std::string& name = plan_.strings[dependency.name];
            // The member that requires the others, where a fault is placed.
            Ref requiring{kNone, false};
            for (std::uint32_t i = 0; i < size; ++i) {
                const Ref member = doc_.entry(f.instance, i);
                if (!doc_.shadowed(member) &&
                    doc_.string(Ref{member.index, true}, buffer_) == name) {
                    requiring = member;
                }
            }
            if (requiring.index == kNone) continue;
            for (std::uint32_t r = 0; r < dependency.count; ++r) {
                const std::uint32_t wanted = plan_.lists[dependency.first + r];
                if (hasMember(f.instance, plan_.strings[wanted])) continue;
                fail(f, wanted, dependency.name, requiring, false, f.depth + 1);
                if (!f.report) return;
            }
        }
    }

    void applicator(std::size_t at, const Instruction& in) {
        Frame& f = frames_[at];
        if (!f.started) {
            f.started = true;
            f.mark = faults_ != nullptr ? static_cast<std::uint32_t>(faults_->size()) : 0;
        }
        const Type type = doc_.type(f.instance);
        switch (in.op) {
            case Op::AllOf:
                if (f.iter < in.b) {
                    child(at, plan_.lists[in.a + f.iter++], f.instance, true, false);
                    return;
                }
                close(f);
                return;
            case Op::AnyOf:
            case Op::OneOf: {
                const bool enough = in.op == Op::AnyOf ? f.count > 0 : f.count > 1;
                if (f.iter < in.b && !(enough && !tracked(f))) {
                    child(at, plan_.lists[in.a + f.iter++], f.instance, true, false);
                    return;
                }
                const bool ok = in.op == Op::AnyOf ? f.count > 0 : f.count == 1;
                if (!ok) {
                    f.valid = false;
                    if (f.report) {
                        Fault out{};
                        out.instruction = f.pc;
                        out.instance = f.instance;
                        out.depth = f.depth;
                        out.detail = f.count;
                        out.extra = f.best;
                        if (f.count == 0) {
                            out.childBegin = f.mark;
                            out.childEnd = static_cast<std::uint32_t>(faults_->size());
                            for (std::uint32_t i = out.childBegin; i < out.childEnd; ++i) {
                                (*faults_)[i].nested = true;
                            }
                        } else {
                            dropFaultsFrom(f.mark);
                        }
                        faults_->push_back(out);
                    } else {
                        f.pc = f.end;
                        return;
                    }
                } else if (f.report) {
                    dropFaultsFrom(f.mark);  // the faults of the branches that failed
                }
                next(f);
                return;
            }
            case Op::Not:
                if (f.iter == 0) {
                    ++f.iter;
                    child(at, in.a, f.instance, true, true);
                    // Annotations below "not" never count: the child keeps its own.
                    return;
                }
                if (!f.opValid) {
                    f.opValid = true;
                    fail(f);
                    if (f.pc == f.end) return;
                }
                next(f);
                return;
            case Op::If:
                if (f.iter == 0) {
                    // Without then or else, "if" decides nothing; it counts only for the
                    // members and elements it evaluates.
                    if (in.b == kNone && in.c == kNone && !tracked(f)) {
                        next(f);
                        return;
                    }
                    ++f.iter;
                    child(at, in.a, f.instance, true, true);
                    return;
                }
                if (f.iter == 1) {
                    ++f.iter;
                    const std::uint32_t branch = f.matched ? in.b : in.c;
                    if (branch != kNone) {
                        child(at, branch, f.instance, true, false);
                        return;
                    }
                }
                close(f);
                return;
            case Op::Ref:
                if (f.iter == 0) {
                    ++f.iter;
                    child(at, in.a, f.instance, true, false);
                    return;
                }
                close(f);
                return;
            case Op::DynamicRef:
                if (f.iter == 0) {
                    ++f.iter;
                    const std::uint32_t target =
                        in.b != kNone && owner_[in.b] != kNone ? owner_[in.b] : in.a;
                    child(at, target, f.instance, true, false);
                    return;
                }
                close(f);
                return;
            case Op::DependentSchemas:
                if (type == Type::Object) {
                    while (f.iter < in.b) {
                        const Plan::Dependency& d = plan_.dependencies[in.a + f.iter++];
                        if (hasMember(f.instance, plan_.strings[d.name])) {
                            child(at, d.first, f.instance, true, false);
                            return;
                        }
                    }
                }
                close(f);
                return;
            case Op::Members:
                if (type == Type::Object && members(at, in)) return;
                close(frames_[at]);
                return;
            case Op::PropertyNames:
                if (type == Type::Object) {
                    const std::uint32_t size = doc_.size(f.instance);
                    if (f.sub != 0) {  // the key just checked
                        f.sub = 0;
                        ++f.iter;
                    }
                    while (f.iter < size && (f.opValid || f.report)) {
                        const Ref member = doc_.entry(f.instance, f.iter);
                        if (doc_.shadowed(member)) {
                            ++f.iter;
                            continue;
                        }
                        f.sub = 1;
                        child(at, in.a, Ref{member.index, true}, false, true);
                        return;
                    }
                }
                close(f);
                return;
            case Op::Items:
                if (type == Type::Array && items(at, in)) return;
                close(frames_[at]);
                return;
            case Op::Contains:
                if (type == Type::Array && contains(at, in)) return;
                if (type == Type::Array) {
                    Frame& g = frames_[at];
                    if (g.count < in.n || g.count > in.m) {
                        fail(g, g.count);
                        if (g.pc == g.end) return;
                    }
                }
                next(frames_[at]);
                return;
            case Op::UnevaluatedProperties:
                if (type == Type::Object && unevaluated(at, in, true)) return;
                close(frames_[at]);
                return;
            case Op::UnevaluatedItems:
                if (type == Type::Array && unevaluated(at, in, false)) return;
                close(frames_[at]);
                return;
            default:
                next(f);
                return;
        }
    }

    /// properties, patternProperties and additionalProperties over the members; whether a child
    /// was pushed.
    bool members(std::size_t at, const Instruction& in) {
        Frame* f = &frames_[at];
        const std::uint32_t size = doc_.size(f->instance);
        const auto& properties = plan_.propertyMaps[in.a];
        const std::uint32_t patterns = in.c == kNone ? 0 : in.c;
        while (f->iter < size && (f->opValid || f->report)) {
            const Ref member = doc_.entry(f->instance, f->iter);
            if (doc_.shadowed(member)) {
                ++f->iter;
                continue;
            }
            const std::string_view key = doc_.string(Ref{member.index, true}, buffer_);
            if (f->sub == 0) {
                f->sub = 1;
                f->matched = 0;
                const auto found = std::lower_bound(properties.begin(), properties.end(), key,
                                                    [](const auto& entry, std::string_view k) {
                                                        return std::string_view(entry.first) < k;
                                                    });
                if (found != properties.end() && found->first == key) {
                    f->matched = 1;
                    child(at, found->second, member, false, false);
                    return true;
                }
            }
            while (f->sub <= patterns) {
                const std::uint32_t p = f->sub++ - 1;
                const std::uint32_t regex = plan_.lists[in.b + 2 * p];
                if (plan_.regexes[regex]->search(doc_.string(Ref{member.index, true}, buffer_))) {
                    f->matched = 1;
                    child(at, plan_.lists[in.b + 2 * p + 1], member, false, false);
                    return true;
                }
            }
            const auto additional = static_cast<std::uint32_t>(in.n);
            if (f->sub == patterns + 1 && !f->matched && additional != kNone) {
                f->sub = patterns + 2;
                if (isFalse(additional)) {
                    mark(*f, f->iter);
                    f->opValid = false;
                    fail(*f, 0, 0, member, false, f->depth + 1);
                    if (f->pc == f->end) return true;
                } else {
                    child(at, additional, member, false, false);
                    return true;
                }
            }
            f = &frames_[at];
            ++f->iter;
            f->sub = 0;
        }
        return false;
    }

    bool items(std::size_t at, const Instruction& in) {
        Frame& f = frames_[at];
        const std::uint32_t size = doc_.size(f.instance);
        if (f.sub != 0) {  // the element just checked
            f.sub = 0;
            ++f.iter;
        }
        while (f.iter < size) {
            if (!f.opValid && !f.report) return false;
            const std::uint32_t node = f.iter < in.b ? plan_.lists[in.a + f.iter] : in.c;
            if (node == kNone) return false;
            const Ref element = doc_.entry(f.instance, f.iter);
            if (isFalse(node)) {
                f.opValid = false;
                fail(f, f.iter, 0, element, false, f.depth + 1);
                return false;  // said once, at the first element too many
            }
            f.sub = 1;
            child(at, node, element, false, false);
            return true;
        }
        return false;
    }

    bool contains(std::size_t at, const Instruction& in) {
        Frame& f = frames_[at];
        const std::uint32_t size = doc_.size(f.instance);
        if (f.sub != 0) {
            f.sub = 0;
            ++f.iter;
        }
        while (f.iter < size) {
            // Without annotations to gather, the count decides as soon as it can.
            if (!tracked(f) && (f.count > in.m || (f.count >= in.n && in.m == UINT64_MAX))) {
                return false;
            }
            f.sub = 1;
            child(at, in.a, doc_.entry(f.instance, f.iter), false, true);
            return true;
        }
        return false;
    }

    bool unevaluated(std::size_t at, const Instruction& in, bool object) {
        Frame& f = frames_[at];
        const std::uint32_t size = doc_.size(f.instance);
        if (f.sub != 0) {
            f.sub = 0;
            ++f.iter;
        }
        while (f.iter < size) {
            if (!f.opValid && !f.report) return false;
            const Ref entry = doc_.entry(f.instance, f.iter);
            if ((object && doc_.shadowed(entry)) || (f.bits != kNone && marked(f, f.iter))) {
                ++f.iter;
                continue;
            }
            if (isFalse(in.a)) {
                mark(f, f.iter);
                f.opValid = false;
                fail(f, f.iter, 0, entry, false, f.depth + 1);
                if (f.pc == f.end) return true;
                if (!object) return false;  // said once, at the first element
                ++f.iter;
                continue;
            }
            f.sub = 1;
            child(at, in.a, entry, false, false);
            return true;
        }
        return false;
    }

    const Plan& plan_;
    const Doc& doc_;
    std::vector<Fault>* faults_;
    std::vector<Frame> frames_;
    std::vector<std::uint64_t> bits_;
    std::vector<std::uint32_t> owner_;   // by dynamic name: the node of the outermost anchor
    std::vector<std::uint32_t> claims_;  // the names claimed, innermost last
    std::vector<std::uint8_t> found_;
    std::string buffer_;
};

}  // namespace schema
