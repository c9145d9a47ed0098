#include "lsp/diagnostics.h"

#include <algorithm>

namespace lsp {

DiagnosticList::DiagnosticList(std::size_t cap) : cap_(cap) {}

bool DiagnosticList::before(const Entry& a, const Entry& b) {
    return a.diagnostic.offset != b.diagnostic.offset ? a.diagnostic.offset < b.diagnostic.offset
                                                      : a.order < b.order;
}

std::size_t DiagnosticList::room() const {
    return cap_ > pinned_.size() ? cap_ - pinned_.size() : 0;
}

bool DiagnosticList::keeps(std::uint64_t offset) const {
    if (kept_.size() < room()) return true;
    // A later one at the same offset as the last kept comes after it.
    return !kept_.empty() && offset < kept_.front().diagnostic.offset;
}

void DiagnosticList::add(Diagnostic diagnostic) {
    if (!keeps(diagnostic.offset)) {
        ++left_;
        return;
    }
    kept_.push_back({std::move(diagnostic), came_++});
    std::push_heap(kept_.begin(), kept_.end(), before);
    trim();
}

void DiagnosticList::pin(Diagnostic diagnostic) {
    pinned_.push_back({std::move(diagnostic), came_++});
    trim();
}

void DiagnosticList::trim() {
    while (kept_.size() > room()) {
        std::pop_heap(kept_.begin(), kept_.end(), before);
        kept_.pop_back();
        ++left_;
    }
}

std::vector<Diagnostic> DiagnosticList::take() {
    std::vector<Entry> entries = std::move(kept_);
    entries.insert(entries.end(), std::make_move_iterator(pinned_.begin()),
                   std::make_move_iterator(pinned_.end()));
    std::sort(entries.begin(), entries.end(), before);
    std::vector<Diagnostic> out;
    out.reserve(entries.size() + 1);
    for (Entry& entry : entries) out.push_back(std::move(entry.diagnostic));
    if (left_ > 0) {
        std::string message = std::to_string(left_);
        message.append(left_ == 1 ? " more finding is" : " more findings are")
            .append(" not shown, only the first ")
            .append(std::to_string(out.size()))
            .append("; ")
            .append(lister_)
            .append(" lists them all");
        out.push_back({0, 0, kessa::Severity::Note, {}, std::move(message)});
    }
    kept_.clear();
    pinned_.clear();
    came_ = 0;
    left_ = 0;
    return out;
}

}  // namespace lsp
