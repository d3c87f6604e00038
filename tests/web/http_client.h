// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A plain HTTP/1.1 client on a socket, so that the tests send exactly the bytes they mean to,
// malformed ones too. Loopback only.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vesk {

struct HttpReply {
    int status = 0;
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;

    std::string header(const std::string& name) const {
        const auto found = headers.find(name);
        return found == headers.end() ? std::string() : found->second;
    }
};

class HttpConnection {
public:
    // Connects to 127.0.0.1:`port` (or `to`), from the loopback address `from` when given.
    explicit HttpConnection(std::uint16_t port, const std::string& to = "127.0.0.1",
                            const std::string& from = {})
        : host_(to + ":" + std::to_string(port)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        if (!from.empty()) {
            ::inet_pton(AF_INET, from.c_str(), &address.sin_addr);
            ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        }
        address.sin_port = htons(port);
        ::inet_pton(AF_INET, to.c_str(), &address.sin_addr);
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~HttpConnection() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    bool connected() const { return fd_ >= 0; }

    bool send(const std::string& bytes) {
        std::size_t done = 0;
        while (fd_ >= 0 && done < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return fd_ >= 0;
    }

    // Reads one response (with no body after a HEAD); nothing when the connection closes or
    // `timeout` passes first.
    std::optional<HttpReply> read(bool head = false,
                                  std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::size_t end = std::string::npos;
        while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) {
            if (!fill(deadline)) {
                return std::nullopt;
            }
        }
        HttpReply reply;
        const std::string top = buffer_.substr(0, end);
        buffer_.erase(0, end + 4);
        if (std::sscanf(top.c_str(), "HTTP/1.%*d %d", &reply.status) != 1) {
            return std::nullopt;
        }
        for (std::size_t at = top.find("\r\n"); at != std::string::npos;) {
            const std::size_t next = top.find("\r\n", at + 2);
            const std::string line = top.substr(at + 2, next - at - 2);
            const std::size_t colon = line.find(':');
            std::string name = line.substr(0, colon);
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            reply.headers[name] = colon == std::string::npos ? "" : line.substr(colon + 2);
            at = next;
        }
        const std::size_t length = head ? 0 : std::stoul("0" + reply.header("content-length"));
        while (buffer_.size() < length) {
            if (!fill(deadline)) {
                return std::nullopt;
            }
        }
        reply.body = buffer_.substr(0, length);
        buffer_.erase(0, length);
        return reply;
    }

    // A request on this connection, kept open; `headers` are whole lines without CR LF.
    std::optional<HttpReply> request(const std::string& method, const std::string& target,
                                     const std::vector<std::string>& headers = {},
                                     const std::string& body = {}) {
        const bool hostGiven =
            std::any_of(headers.begin(), headers.end(),
                        [](const std::string& h) { return h.rfind("Host:", 0) == 0; });
        std::string text = method + " " + target + " HTTP/1.1\r\n";
        if (!hostGiven) {
            text += "Host: " + host_ + "\r\n";
        }
        for (const std::string& line : headers) {
            text += line + "\r\n";
        }
        if (!body.empty() || method == "POST") {
            text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        }
        if (!send(text + "\r\n" + body)) {
            return std::nullopt;
        }
        return read(method == "HEAD");
    }

    // True when the server closes the connection within `timeout` (whatever it sent first).
    bool closedWithin(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (fill(deadline)) {
        }
        return closed_;
    }

private:
    // Reads what has come; false at the end of the stream or the deadline.
    bool fill(std::chrono::steady_clock::time_point deadline) {
        if (fd_ < 0 || closed_) {
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            return false;
        }
        char chunk[16384];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) {
            closed_ = true;
            return false;
        }
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    std::string host_;
    int fd_ = -1;
    bool closed_ = false;
    std::string buffer_;
};

// One request on a connection of its own.
inline std::optional<HttpReply> httpRequest(std::uint16_t port, const std::string& method,
                                            const std::string& target,
                                            const std::vector<std::string>& headers = {},
                                            const std::string& to = "127.0.0.1") {
    HttpConnection connection(port, to);
    return connection.request(method, target, headers);
}

} // namespace vesk
