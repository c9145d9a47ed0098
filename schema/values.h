#pragma once

// Equality of JSON values as schemas mean it (const, enum, uniqueItems): numbers by their value,
// 1 as 1.0; objects whatever the order of their members, a repeated key counting once with its
// last value. Both walks keep their own stack.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "schema/instance.h"

namespace schema {

namespace detail {

/// The kept members of an object, sorted by key.
template <class Doc>
std::vector<std::pair<std::string, Ref>> sortedMembers(const Doc& doc, Ref object) {
    std::vector<std::pair<std::string, Ref>> members;
    std::string buffer;
    const std::uint32_t size = doc.size(object);
    members.reserve(doc.kept(object));
    for (std::uint32_t i = 0; i < size; ++i) {
        const Ref member = doc.entry(object, i);
        if (doc.shadowed(member)) continue;
        members.emplace_back(std::string(doc.string(Ref{member.index, true}, buffer)), member);
    }
    std::sort(members.begin(), members.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    return members;
}

}  // namespace detail

/// Whether value `a` of `docA` equals value `b` of `docB`.
template <class DocA, class DocB>
bool equal(const DocA& docA, Ref a, const DocB& docB, Ref b) {
    std::vector<std::pair<Ref, Ref>> pending{{a, b}};
    std::string bufferA, bufferB;
    while (!pending.empty()) {
        const auto [x, y] = pending.back();
        pending.pop_back();
        const Type tx = docA.type(x), ty = docB.type(y);
        const bool numbers = (tx == Type::Integer || tx == Type::Number) &&
                             (ty == Type::Integer || ty == Type::Number);
        if (numbers) {
            if (!(docA.number(x) == docB.number(y))) return false;
            continue;
        }
        if (tx != ty) return false;
        switch (tx) {
            case Type::Null:
                break;
            case Type::Boolean:
                if (docA.boolean(x) != docB.boolean(y)) return false;
                break;
            case Type::String:
                if (docA.string(x, bufferA) != docB.string(y, bufferB)) return false;
                break;
            case Type::Array: {
                const std::uint32_t size = docA.size(x);
                if (size != docB.size(y)) return false;
                for (std::uint32_t i = 0; i < size; ++i) {
                    pending.emplace_back(docA.entry(x, i), docB.entry(y, i));
                }
                break;
            }
            case Type::Object: {
                if (docA.kept(x) != docB.kept(y)) return false;
                const auto membersA = detail::sortedMembers(docA, x);
                const auto membersB = detail::sortedMembers(docB, y);
                for (std::size_t i = 0; i < membersA.size(); ++i) {
                    if (membersA[i].first != membersB[i].first) return false;
                    pending.emplace_back(membersA[i].second, membersB[i].second);
                }
                break;
            }
            default:
                return false;
        }
    }
    return true;
}

/// A hash of a value that equal values share.
template <class Doc>
std::uint64_t hashOf(const Doc& doc, Ref root) {
    // Post-order over the value: each container's hash from its entries'.
    struct Open {
        Ref ref;
        std::uint32_t next;
        std::uint64_t hash;
    };
    const auto mix = [](std::uint64_t h) {
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdULL;
        h ^= h >> 33;
        return h;
    };
    std::string buffer;
    const auto scalar = [&](Ref ref) -> std::uint64_t {
        switch (doc.type(ref)) {
            case Type::Null:
                return 1;
            case Type::Boolean:
                return doc.boolean(ref) ? 2 : 3;
            case Type::Integer:
            case Type::Number: {
                const Number n = doc.number(ref);
                if (n.kind == Number::Kind::Integer)
                    return mix(static_cast<std::uint64_t>(n.integer));
                const double d = n.approximate();
                if (n.integral() && std::fabs(d) < 0x1p63) {
                    return mix(static_cast<std::uint64_t>(static_cast<std::int64_t>(d)));
                }
                std::uint64_t bits;
                std::memcpy(&bits, &d, sizeof bits);
                return mix(bits);
            }
            default:
                return mix(std::hash<std::string_view>()(doc.string(ref, buffer)) + 7);
        }
    };
    const Type type = doc.type(root);
    if (type != Type::Array && type != Type::Object) return scalar(root);
    std::vector<Open> open{{root, 0, type == Type::Array ? 11u : 13u}};
    std::uint64_t last = 0;
    while (true) {
        Open& top = open.back();
        const bool object = doc.type(top.ref) == Type::Object;
        if (top.next == doc.size(top.ref)) {
            last = mix(top.hash + (object ? doc.kept(top.ref) : doc.size(top.ref)));
            open.pop_back();
            if (open.empty()) return last;
            Open& parent = open.back();
            const Ref entry = doc.entry(parent.ref, parent.next - 1);
            if (doc.type(parent.ref) == Type::Object) {
                parent.hash += mix(last ^ std::hash<std::string_view>()(
                                              doc.string(Ref{entry.index, true}, buffer)));
            } else {
                parent.hash = mix(parent.hash * 31 + last);
            }
            continue;
        }
        const Ref entry = doc.entry(top.ref, top.next++);
        if (object && doc.shadowed(entry)) continue;
        const Type t = doc.type(entry);
        if (t == Type::Array || t == Type::Object) {
            open.push_back({entry, 0, t == Type::Array ? 11u : 13u});
            continue;
        }
        const std::uint64_t h = scalar(entry);
        if (object) {
            top.hash +=
                mix(h ^ std::hash<std::string_view>()(doc.string(Ref{entry.index, true}, buffer)));
        } else {
            top.hash = mix(top.hash * 31 + h);
        }
    }
}

/// The first two elements of `array` that are equal, by index; {0, 0} where all differ.
template <class Doc>
std::pair<std::uint64_t, std::uint64_t> repeated(const Doc& doc, Ref array) {
    const std::uint32_t size = doc.size(array);
    std::vector<std::pair<std::uint64_t, std::uint32_t>> hashes;
    hashes.reserve(size);
    for (std::uint32_t i = 0; i < size; ++i)
        hashes.emplace_back(hashOf(doc, doc.entry(array, i)), i);
    std::sort(hashes.begin(), hashes.end());
    // Equal values share a hash; the first repeat in each run of one hash is the one said.
    std::pair<std::uint64_t, std::uint64_t> first{0, 0};
    for (std::size_t i = 0; i < hashes.size();) {
        std::size_t end = i + 1;
        while (end < hashes.size() && hashes[end].first == hashes[i].first) ++end;
        bool found = false;
        for (std::size_t x = i; x < end && !found; ++x) {
            for (std::size_t y = x + 1; y < end; ++y) {
                if (equal(doc, doc.entry(array, hashes[x].second), doc,
                          doc.entry(array, hashes[y].second))) {
                    if (first.first == first.second || hashes[y].second < first.second) {
                        first = {hashes[x].second, hashes[y].second};
                    }
                    found = true;
                    break;
                }
            }
        }
        i = end;
    }
    return first;
}

}  // namespace schema
