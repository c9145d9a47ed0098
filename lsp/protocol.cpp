#include "lsp/protocol.h"

#include <limits>
#include <vector>

#include "pelmo/file/utf8.h"

namespace lsp {

namespace {

// A body with bytes that are not UTF-8 is parsed with each such byte B spelled as the
// noncharacter U+FDD0 and then U+00B (a noncharacter for a program's own use), and each U+FDD0
// the body holds as two of it; the strings parsed are then spelled back.
constexpr std::string_view kMark = "\xEF\xB7\x90";

std::string escapeBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (std::size_t i = 0; i < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        const std::size_t length =
            byte < 0x80 ? 1 : pelmo::detail::utf8SequenceLength(bytes.substr(i));
        if (length == 0) {
            out += kMark;
            out += static_cast<char>(0xC0 | byte >> 6);
            out += static_cast<char>(0x80 | (byte & 0x3F));
            ++i;
            continue;
        }
        if (bytes.substr(i, length) == kMark) out += kMark;
        out.append(bytes.substr(i, length));
        i += length;
    }
    return out;
}

void unescapeString(std::string& text) {
    if (text.find(kMark) == std::string::npos) return;
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (text.compare(i, kMark.size(), kMark) != 0) {
            out += text[i++];
            continue;
        }
        i += kMark.size();
        if (text.compare(i, kMark.size(), kMark) == 0) {
            out += kMark;
            i += kMark.size();
        } else if (i + 2 <= text.size() && (text[i] == '\xC2' || text[i] == '\xC3')) {
            out += static_cast<char>((text[i] & 0x03) << 6 | (text[i + 1] & 0x3F));
            i += 2;
        } else {
            out += kMark;  // a noncharacter the client wrote as an escape
        }
    }
    text = std::move(out);
}

/// Spells back every string of `value`, visiting it without recursion.
void unescapeStrings(Json& value) {
    std::vector<Json*> pending{&value};
    while (!pending.empty()) {
        Json* next = pending.back();
        pending.pop_back();
        if (next->is_string()) {
            unescapeString(next->get_ref<std::string&>());
        } else if (next->is_structured()) {
            for (Json& child : *next) pending.push_back(&child);
        }
    }
}

Json idJson(const RequestId& id) {
    if (const auto* number = std::get_if<std::int64_t>(&id)) return *number;
    if (const auto* text = std::get_if<std::string>(&id)) return *text;
    return nullptr;
}

std::string dumped(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

[[noreturn]] void invalidParams(std::string_view name, std::string_view problem) {
    throw RpcError(ErrorCode::InvalidParams,
                   "params." + std::string(name) + " " + std::string(problem));
}

}  // namespace

Json parseBody(std::string_view body) {
    try {
        if (pelmo::detail::isUtf8(body)) return Json::parse(body);
        Json value = Json::parse(escapeBytes(body));
        unescapeStrings(value);
        return value;
    } catch (const Json::exception& error) {
        throw RpcError(ErrorCode::ParseError, error.what());
    }
}

RequestId idOf(const Json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_number_integer() && !value.is_number_unsigned()) return value.get<std::int64_t>();
    if (value.is_number_unsigned() &&
        value.get<std::uint64_t>() <= std::uint64_t{std::numeric_limits<std::int64_t>::max()}) {
        return static_cast<std::int64_t>(value.get<std::uint64_t>());
    }
    return {};
}

Message readMessage(Json&& body, RequestId& id) {
    const auto invalid = [](const char* problem) {
        return RpcError(ErrorCode::InvalidRequest, problem);
    };
    if (!body.is_object()) throw invalid("a message must be a JSON object");
    Message message;
    const auto idAt = body.find("id");
    const bool hasId = idAt != body.end();
    if (hasId) {
        id = idOf(*idAt);
        if (std::holds_alternative<std::monostate>(id)) {
            throw invalid("an id must be an integer or a string");
        }
    }
    const auto version = body.find("jsonrpc");
    if (version == body.end() || !version->is_string() || *version != "2.0") {
        throw invalid("a message must have \"jsonrpc\": \"2.0\"");
    }
    const auto method = body.find("method");
    if (method == body.end()) {
        if (hasId && (body.contains("result") || body.contains("error"))) {
            message.kind = Message::Kind::Response;
            message.id = id;
            if (const auto result = body.find("result"); result != body.end()) {
                message.params = std::move(*result);
            }
            return message;
        }
        throw invalid("a message must have a method, or a result or an error");
    }
    if (!method->is_string()) throw invalid("a method must be a string");
    message.method = method->get<std::string>();
    message.kind = hasId ? Message::Kind::Request : Message::Kind::Notification;
    message.id = id;
    const auto params = body.find("params");
    // Clients send "params": null for the methods that take none (shutdown, exit); a handler
    // that needs params finds none and says which member is missing.
    if (params != body.end() && !params->is_null()) {
        if (!params->is_structured()) throw invalid("params must be an object, an array or null");
        message.params = std::move(*params);
    }
    return message;
}

std::string replyText(const RequestId& id, Json result) {
    Json reply = {{"jsonrpc", "2.0"}, {"id", idJson(id)}};
    reply["result"] = std::move(result);
    return dumped(reply);
}

std::string errorText(const RequestId& id, ErrorCode code, std::string_view message) {
    Json reply = {{"jsonrpc", "2.0"}, {"id", idJson(id)}};
    reply["error"] = {{"code", static_cast<int>(code)}, {"message", std::string(message)}};
    return dumped(reply);
}

std::string requestText(const RequestId& id, std::string_view method, Json params) {
    Json message = {{"jsonrpc", "2.0"}, {"id", idJson(id)}, {"method", std::string(method)}};
    message["params"] = std::move(params);
    return dumped(message);
}

std::string notificationText(std::string_view method, Json params) {
    Json message = {{"jsonrpc", "2.0"}, {"method", std::string(method)}};
    message["params"] = std::move(params);
    return dumped(message);
}

const Json* optionalMember(const Json& object, std::string_view name) {
    const Json* at = &object;
    for (std::size_t begin = 0;;) {
        const std::size_t dot = name.find('.', begin);
        const std::string part(name.substr(begin, dot - begin));
        if (!at->is_object()) return nullptr;
        const auto found = at->find(part);
        if (found == at->end()) return nullptr;
        at = &*found;
        if (dot == std::string_view::npos) return at;
        begin = dot + 1;
    }
}

const Json& member(const Json& object, std::string_view name) {
    const Json* found = optionalMember(object, name);
    if (found == nullptr) invalidParams(name, "is missing");
    return *found;
}

const std::string& stringMember(const Json& object, std::string_view name) {
    const Json& found = member(object, name);
    if (!found.is_string()) invalidParams(name, "must be a string");
    return found.get_ref<const std::string&>();
}

std::int64_t integerMember(const Json& object, std::string_view name) {
    const Json& found = member(object, name);
    const RequestId number = found.is_number_integer() ? idOf(found) : RequestId{};
    if (!std::holds_alternative<std::int64_t>(number)) invalidParams(name, "must be an integer");
    return std::get<std::int64_t>(number);
}

Position positionMember(const Json& object, std::string_view name) {
    const Json& found = member(object, name);
    const auto count = [&](const char* part) {
        const Json* value = optionalMember(found, part);
        if (value == nullptr || !value->is_number_unsigned()) {
            invalidParams(std::string(name) + "." + part, "must be an integer from 0");
        }
        return value->get<std::uint64_t>();
    };
    return {count("line"), count("character")};
}

Range rangeMember(const Json& object, std::string_view name) {
    return {positionMember(object, std::string(name) + ".start"),
            positionMember(object, std::string(name) + ".end")};
}

}  // namespace lsp
