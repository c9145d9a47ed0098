// JSON to kessa: the JSON reader's events, typed as a JSON reader types them, handed to the
// encoder, which holds each value to the rule of value_text.h.

#include "kessa/json_to_kessa.h"

#include <optional>

#include "kessa/kessa_encoder.h"
#include "kessa/value_text.h"

namespace kessa {

JsonToKessaHandler::~JsonToKessaHandler() = default;

void JsonToKessaHandler::kept(FindingKind, pelmo::JsonPlace) {}

namespace {

class Conversion final : public pelmo::JsonHandler, public RefusalHandler {
public:
    Conversion(KessaWriter* writer, JsonToKessaHandler& handler, bool numbersAreDoubles)
        : encoder_(writer, *this), handler_(handler), doubles_(numbersAreDoubles) {}

    void openObject(pelmo::JsonPlace place) override {
        place_ = place;
        encoder_.openObject();
    }
    void closeObject() override { encoder_.close(); }
    void openArray(pelmo::JsonPlace place) override {
        place_ = place;
        encoder_.openArray();
    }
    void closeArray() override { encoder_.close(); }

    void key(std::string_view bytes, unsigned flags, pelmo::JsonPlace place) override {
        place_ = place;
        note(flags, place);
        if ((flags & pelmo::kLoneSurrogate) != 0) {
            encoder_.refuseKey(bytes, FindingKind::LoneSurrogate);
        } else {
            encoder_.key(bytes);
        }
    }

    void string(std::string_view bytes, unsigned flags, pelmo::JsonPlace place) override {
        place_ = place;
        note(flags, place);
        if ((flags & pelmo::kLoneSurrogate) != 0) {
            encoder_.refuse(FindingKind::LoneSurrogate, bytes);
        } else {
            encoder_.string(bytes);
        }
    }

    void number(std::string_view text, pelmo::JsonPlace place) override {
        place_ = place;
        encoder_.numeral(text, doubles_);
    }

    void literal(std::string_view word, pelmo::JsonPlace place) override {
        place_ = place;
        encoder_.refuse(word == "null" ? FindingKind::NoNull : FindingKind::NoBoolean, word);
    }

    void refused(FindingKind reason, const KessaEncoder& encoder) override {
        handler_.refused({reason, jsonPointer(encoder.path()), place_,
                          whyNoText(reason, encoder.refusedText())});
    }

    KessaEncoder& encoder() { return encoder_; }

private:
    void note(unsigned flags, pelmo::JsonPlace place) {
        if ((flags & pelmo::kRawControlByte) != 0) handler_.kept(FindingKind::ControlByte, place);
        if ((flags & pelmo::kNotUtf8) != 0) handler_.kept(FindingKind::NotUtf8, place);
    }

    KessaEncoder encoder_;
    JsonToKessaHandler& handler_;
    bool doubles_;
    /// The place of the value being handled.
    pelmo::JsonPlace place_;
};

}  // namespace

bool jsonToKessa(std::string_view json, pelmo::TextSink* sink, JsonToKessaHandler& handler,
                 const JsonToKessaOptions& options) {
    std::optional<KessaWriter> writer;
    if (sink != nullptr) writer.emplace(*sink, options.layout);
    Conversion conversion(writer ? &*writer : nullptr, handler, options.numbersAreDoubles);
    pelmo::readJson(json, conversion);
    conversion.encoder().finish();
    return !conversion.encoder().refused();
}

}  // namespace kessa
