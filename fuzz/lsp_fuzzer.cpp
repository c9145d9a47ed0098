// The language server's inputs from a client, on any bytes. The message reader frames them in
// reads of any size, and each body goes through the JSON parser and the message rules without a
// crash, deep nesting included. The same bytes, read as a text and edits of it, leave a document
// whose line index is the one its text would get anew, and whose diagnostics, outline, hovers
// and fixes and the places of a cursor all come without a crash; each fix offered leaves a
// well-formed text. Formatting's edits, applied, give the text's layout (where it has no carriage
// return, which a text ending every line so keeps), and a range's a text that lays out the same.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "kessa/format.h"
#include "kessa/reader.h"
#include "lsp/analysis.h"
#include "lsp/cursor.h"
#include "lsp/diagnostics.h"
#include "lsp/document.h"
#include "lsp/formatting.h"
#include "lsp/protocol.h"
#include "lsp/transport.h"

namespace {

/// Hands out the input in reads of a size it picks from its own first byte.
class Source final : public lsp::ByteSource {
public:
    explicit Source(std::string_view bytes)
        : bytes_(bytes), chunk_(bytes.empty() ? 1 : 1 + static_cast<unsigned char>(bytes[0])) {}
    std::size_t read(char* buffer, std::size_t size) override {
        const std::size_t count = std::min({size, chunk_, bytes_.size()});
        bytes_.copy(buffer, count);
        bytes_.remove_prefix(count);
        return count;
    }

private:
    std::string_view bytes_;
    std::size_t chunk_;
};

void readMessages(std::string_view bytes) {
    Source source(bytes);
    lsp::MessageReader reader(source);
    for (;;) {
        lsp::MessageReader::Frame frame = reader.next();
        if (frame.status == lsp::MessageReader::Status::End) return;
        if (frame.status == lsp::MessageReader::Status::BadHeader) continue;
        lsp::RequestId id;
        try {
            lsp::readMessage(lsp::parseBody(frame.body), id);
        } catch (const lsp::RpcError&) {
        }
    }
}

/// `text` with `edits`, in order and apart, applied.
std::string appliedAll(std::string text, const std::vector<lsp::Edit>& edits) {
    std::uint64_t last = 0;
    for (const lsp::Edit& edit : edits) {
        require(last <= edit.begin && edit.begin <= edit.end && edit.end <= text.size(),
                "formatting's edits are in order and apart");
        last = edit.end;
    }
    for (auto edit = edits.rbegin(); edit != edits.rend(); ++edit) {
        text.replace(edit->begin, edit->end - edit->begin, edit->text);
    }
    return text;
}

void format(std::string_view text) {
    std::string layout;
    try {
        const std::string whole = appliedAll(std::string(text), lsp::formattingEdits(text, {}));
        layout = kessa::formatKessa(text);
        require(text.find('\r') != std::string_view::npos || whole == layout,
                "formatting gives the layout");
        require(kessa::formatKessa(whole) == layout, "formatting keeps the layout");
    } catch (const kessa::SyntaxError&) {
        return;
    } catch (const lsp::FormattedTooLarge&) {
        return;
    }
    for (std::uint64_t offset = 0; offset <= text.size(); offset += 1 + text.size() / 8) {
        const std::uint64_t end = std::min<std::uint64_t>(text.size(), offset + text.size() / 4);
        for (const std::uint64_t to : {offset, end}) {
            const std::string result =
                appliedAll(std::string(text), lsp::rangeFormattingEdits(text, offset, to, {}));
            require(kessa::formatKessa(result) == layout, "a range's formatting keeps the layout");
        }
    }
}

/// The bytes as a text, up to the first NUL, and edits: each a line, a character and a length
/// (one byte each), then the replacement up to the next NUL.
void editDocument(std::string_view bytes) {
    std::size_t nul = bytes.find('\0');
    lsp::Document document(std::string(bytes.substr(0, nul)), 1);
    bytes.remove_prefix(nul == std::string_view::npos ? bytes.size() : nul + 1);
    while (bytes.size() >= 3) {
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
        const lsp::Encoding encoding = byte(2) & 1 ? lsp::Encoding::Utf8 : lsp::Encoding::Utf16;
        const lsp::Position start{byte(0) % 16u, byte(1)};
        const lsp::Position end{start.line + byte(2) % 3u, byte(2) / 3u};
        bytes.remove_prefix(3);
        nul = bytes.find('\0');
        const std::string_view replacement = bytes.substr(0, nul);
        bytes.remove_prefix(nul == std::string_view::npos ? bytes.size() : nul + 1);
        document.edit({start, end}, replacement, encoding);
        require(document.lines() == lsp::LineIndex(document.text()),
                "the line index follows edits");
    }
    const std::string_view text = document.text();
    lsp::DiagnosticList diagnostics;
    lsp::diagnose(text, diagnostics);
    require(diagnostics.take().size() <= lsp::kDiagnosticCap + 1, "at most the cap and a note");
    lsp::outline(text);
    for (std::uint64_t offset = 0; offset <= text.size(); offset += 1 + text.size() / 8) {
        lsp::hoverAt(text, offset);
        lsp::cursorAt(text, offset);
    }
    for (const lsp::Fix& fix : lsp::fixesWithin(text, 0, text.size())) {
        try {
            kessa::checkKessa(lsp::applied(text, fix.edit));
        } catch (const kessa::SyntaxError&) {
            require(false, "a fix leaves a well-formed text");
        }
    }
    format(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    readMessages(bytes);
    editDocument(bytes);
    return 0;
}
