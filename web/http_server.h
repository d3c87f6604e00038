// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// A small HTTP server on libmicrohttpd: it answers on libmicrohttpd's own threads, keeps every
// request within the limits and hands the rest to one handler. It knows nothing of beacons.
namespace vesk::web {

// Where to listen: an IP address (v4, or v6 in brackets) and a port (0: the system picks one).
struct HttpAddress {
    std::string host; // "127.0.0.1", "::1", "0.0.0.0", "192.168.1.20"
    std::uint16_t port = 0;
    bool ipv6 = false;

    // 127.0.0.1 or ::1: only this machine can reach it (127.0.0.2 and the rest of 127/8 can
    // be routed to from containers and namespaces, so they do not count).
    bool loopback() const { return host == "127.0.0.1" || host == "::1"; }
    // "127.0.0.1:8080", "[::1]:8080"
    std::string text() const;
};

// Reads `--http`'s value: "ADDR:PORT" ("127.0.0.1:8080", "[::1]:8080", "0.0.0.0:8080",
// "localhost:8080") or a bare "PORT" on 127.0.0.1. Ports 0..65535; names other than localhost
// are refused (the address to bind is the operator's choice, not a resolver's).
Result<HttpAddress> parseHttpAddress(const std::string& text);

// One request, as the handler sees it.
struct HttpRequest {
    std::string method; // "GET", "HEAD", "POST", ...
    std::string path;   // percent-decoded, without the query
    std::string client; // the peer's address: "127.0.0.1", "::1"
    std::vector<std::pair<std::string, std::string>> query; // decoded, in order
    std::string host;                                       // the Host header
    std::string origin;                                     // the Origin header
    bool hasOrigin = false;
    std::string authorization; // the Authorization header

    // The value of query argument `name`; empty when absent.
    std::string argument(const std::string& name) const;
};

struct HttpResponse {
    int status = 200;
    std::string contentType;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers; // besides Content-Type
};

// What one client and all of them together may ask of the server. A beacon's page polls once
// a second; a scrape comes every 15 s or so.
struct HttpLimits {
    unsigned connections = 64;          // open at once, in all; more are closed at once
    unsigned connectionsPerClient = 16; // open at once from one address
    unsigned idleSeconds = 15;          // a connection that sends nothing this long is closed
    std::size_t headerBytes = 16384;    // a connection's memory: the request line and headers
    std::size_t bodyBytes = 1024;       // the largest request body taken (413 beyond)
    double requestsPerSecond = 20.0;    // per client address, kept up (429 beyond)
    double burst = 40.0;                // per client address, at once
};

using HttpHandler = std::function<HttpResponse(const HttpRequest&)>;

// Serves until destroyed. The handler runs on libmicrohttpd's threads, several at once, and
// must not touch anything owned by another thread without a lock. Before the handler: a
// request whose path holds or decodes to a control character (a NUL among them) is 400, one
// over its client's rate 429, a body of unknown length 411, one over the body limit 413;
// libmicrohttpd itself refuses a malformed request and headers over the memory limit.
class HttpServer {
public:
    // Listens on `address`; fails with the operator's sentence ("cannot serve
    // http://127.0.0.1:8080/: Address already in use").
    static Result<std::unique_ptr<HttpServer>> start(const HttpAddress& address,
                                                     const HttpLimits& limits, HttpHandler handler);
    // Stops taking connections, gives the requests under way up to 1 s to be answered (a stop
    // asked for over HTTP hears its answer), then closes every connection.
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // The port listened on (the system's pick for port 0).
    std::uint16_t port() const;
    // "http://127.0.0.1:8080/"
    std::string url() const;

    struct Impl;

private:
    explicit HttpServer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace vesk::web
