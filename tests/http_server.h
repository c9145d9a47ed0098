#pragma once

// A small HTTP server for the tests, on 127.0.0.1 only: it serves the files of a folder, with an
// ETag that a request's If-None-Match turns into 304, and counts what it was asked. One thread,
// one request per connection; stopped, and its port freed, when it goes. POSIX.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

class HttpServer {
public:
    /// Serves `folder` on 127.0.0.1:`port` (0 for any free port); trying for up to 30 seconds
    /// where another test holds the port. listening() says whether it could.
    HttpServer(std::filesystem::path folder, int port) : folder_(std::move(folder)) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        do {
            socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
            const int yes = 1;
            ::setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<std::uint16_t>(port));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                ::listen(socket_, 16) == 0) {
                socklen_t size = sizeof address;
                ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size);
                port_ = ntohs(address.sin_port);
                thread_ = std::thread([this] { serve(); });
                return;
            }
            ::close(socket_);
            socket_ = -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        } while (port != 0 && std::chrono::steady_clock::now() < deadline);
    }
    ~HttpServer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (socket_ >= 0) ::close(socket_);
    }
    bool listening() const { return socket_ >= 0; }
    int port() const { return port_; }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + "/" + path;
    }
    int requests() const { return requests_; }
    int notModified() const { return notModified_; }

private:
    void serve() {
        while (!stop_) {
            pollfd wait{socket_, POLLIN, 0};
            if (::poll(&wait, 1, 50) <= 0) continue;
            const int client = ::accept(socket_, nullptr, nullptr);
            if (client < 0) continue;
            answer(client);
            ::close(client);
        }
    }

    void answer(int client) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            pollfd wait{client, POLLIN, 0};
            if (::poll(&wait, 1, 2000) <= 0) return;
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0) return;
            request.append(buffer, static_cast<std::size_t>(got));
        }
        ++requests_;
        const std::size_t space = request.find(' ');
        const std::string path =
            request.substr(space + 2, request.find(' ', space + 1) - space - 2);
        std::ifstream in(folder_ / path, std::ios::binary);
        std::string response;
        if (path.find("..") != std::string::npos || !in) {
            response = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        } else {
            std::ostringstream body;
            body << in.rdbuf();
            const std::string etag =
                "\"" + std::to_string(std::hash<std::string>()(body.str())) + "\"";
            if (request.find("If-None-Match: " + etag) != std::string::npos) {
                ++notModified_;
                response =
                    "HTTP/1.1 304 Not Modified\r\nETag: " + etag + "\r\nConnection: close\r\n\r\n";
            } else {
                response = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nETag: " + etag +
                           "\r\nContent-Length: " + std::to_string(body.str().size()) +
                           "\r\nConnection: close\r\n\r\n" + body.str();
            }
        }
        for (std::size_t sent = 0; sent < response.size();) {
            const ssize_t n =
                ::send(client, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += static_cast<std::size_t>(n);
        }
    }

    std::filesystem::path folder_;
    int socket_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0}, notModified_{0};
};
