#pragma once

// JSON-RPC 2.0 over the transport: reading a body into a message, and the texts of replies and
// notifications. Values a client sent are never dumped or compared whole: both recurse per
// nesting level, and a client may nest deeply.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

#include <nlohmann/json.hpp>

#include "lsp/document.h"

namespace lsp {

using Json = nlohmann::json;

/// The error codes of JSON-RPC and of the protocol that this server answers with.
enum class ErrorCode : int {
    ParseError = -32700,
    InvalidRequest = -32600,
    MethodNotFound = -32601,
    InvalidParams = -32602,
    InternalError = -32603,
    ServerNotInitialized = -32002,
    RequestFailed = -32803,
    RequestCancelled = -32800,
};

/// A request that fails with a JSON-RPC error.
class RpcError : public std::runtime_error {
public:
    RpcError(ErrorCode code, const std::string& message)
        : std::runtime_error(message), code_(code) {}
    ErrorCode code() const { return code_; }

private:
    ErrorCode code_;
};

/// A request's id: none (null), a number or a string.
using RequestId = std::variant<std::monostate, std::int64_t, std::string>;

/// A message from the client.
struct Message {
    enum class Kind { Request, Notification, Response };
    Kind kind = Kind::Notification;
    RequestId id;
    std::string method;
    Json params;  // null when absent; a response's result
};

/// The JSON value of a body. Strings may hold bytes that are not UTF-8 (a client that sends a
/// document's bytes as they are): they come through as they were. Raises RpcError(ParseError).
Json parseBody(std::string_view body);

/// The message a parsed body holds. Raises RpcError(InvalidRequest) for anything else, with
/// `id` set where the body has a usable one.
Message readMessage(Json&& body, RequestId& id);

/// The texts of a successful reply, of an error reply, of a request and of a notification.
/// Bytes that are not UTF-8 in their strings become U+FFFD.
std::string replyText(const RequestId& id, Json result);
std::string errorText(const RequestId& id, ErrorCode code, std::string_view message);
std::string requestText(const RequestId& id, std::string_view method, Json params);
std::string notificationText(std::string_view method, Json params);

/// A request's id as a key for finding it again, with no JSON.
RequestId idOf(const Json& value);

/// Members of a client's params, checked: raise RpcError(InvalidParams) where the member is
/// missing or of another type. `name` may be a path of members joined by dots.
const Json& member(const Json& object, std::string_view name);
const Json* optionalMember(const Json& object, std::string_view name);
const std::string& stringMember(const Json& object, std::string_view name);
std::int64_t integerMember(const Json& object, std::string_view name);
Position positionMember(const Json& object, std::string_view name);
Range rangeMember(const Json& object, std::string_view name);

}  // namespace lsp
