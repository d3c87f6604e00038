// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/http_server.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

namespace vesk::web {

namespace {

using SteadyTime = std::chrono::steady_clock::time_point;

// libmicrohttpd's worker threads: two, so that a command waiting for the beacon's event loop
// never holds up a status request.
constexpr unsigned kThreads = 2;
// Rate buckets kept before the full ones (idle clients) are dropped.
constexpr std::size_t kMostBuckets = 4096;

// A token bucket per client address: `burst` requests at once, refilled at `perSecond`.
class RateLimiter {
public:
    RateLimiter(double perSecond, double burst) : perSecond_(perSecond), burst_(burst) {}

    bool take(const std::string& client) {
        const SteadyTime now = std::chrono::steady_clock::now();
        std::lock_guard lock(mutex_);
        if (buckets_.size() >= kMostBuckets) {
            dropFull(now);
        }
        auto [found, added] = buckets_.try_emplace(client, Bucket{burst_, now});
        Bucket& bucket = found->second;
        bucket.tokens = level(bucket, now);
        bucket.last = now;
        if (bucket.tokens < 1.0) {
            return false;
        }
        bucket.tokens -= 1.0;
        return true;
    }

private:
    struct Bucket {
        double tokens;
        SteadyTime last;
    };
    double level(const Bucket& bucket, SteadyTime now) const {
        const double seconds = std::chrono::duration<double>(now - bucket.last).count();
        return std::min(burst_, bucket.tokens + seconds * perSecond_);
    }
    void dropFull(SteadyTime now) {
        std::erase_if(buckets_,
                      [&](const auto& entry) { return level(entry.second, now) >= burst_; });
    }

    double perSecond_;
    double burst_;
    std::mutex mutex_;
    std::unordered_map<std::string, Bucket> buckets_;
};

// What the server keeps of one request, from its request line to its end.
struct RequestState {
    std::size_t rawLength = 0; // of the URI as sent, up to a NUL byte in it
    bool screened = false;     // the handler has been called
    std::size_t bodyBytes = 0;
};

std::string clientAddress(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    char text[INET6_ADDRSTRLEN] = "";
    if (info != nullptr && info->client_addr != nullptr) {
        const sockaddr* address = info->client_addr;
        if (address->sa_family == AF_INET) {
            ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                        sizeof text);
        } else if (address->sa_family == AF_INET6) {
            ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
                        sizeof text);
        }
    }
    return text;
}

std::string headerValue(MHD_Connection* connection, const char* name) {
    const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
    return value != nullptr ? value : "";
}

MHD_Result addArgument(void* list, MHD_ValueKind, const char* key, const char* value) {
    static_cast<std::vector<std::pair<std::string, std::string>>*>(list)->emplace_back(
        key != nullptr ? key : "", value != nullptr ? value : "");
    return MHD_YES;
}

HttpRequest readRequest(MHD_Connection* connection, const char* url, const char* method) {
    HttpRequest request;
    request.method = method;
    request.path = url;
    request.client = clientAddress(connection);
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, addArgument, &request.query);
    request.host = headerValue(connection, MHD_HTTP_HEADER_HOST);
    const char* origin = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Origin");
    request.hasOrigin = origin != nullptr;
    request.origin = origin != nullptr ? origin : "";
    request.authorization = headerValue(connection, MHD_HTTP_HEADER_AUTHORIZATION);
    return request;
}

MHD_Result send(MHD_Connection* connection, const HttpResponse& response) {
    MHD_Response* reply = MHD_create_response_from_buffer(
        response.body.size(), const_cast<char*>(response.body.data()), MHD_RESPMEM_MUST_COPY);
    if (reply == nullptr) {
        return MHD_NO;
    }
    if (!response.contentType.empty()) {
        MHD_add_response_header(reply, MHD_HTTP_HEADER_CONTENT_TYPE, response.contentType.c_str());
    }
    for (const auto& [name, value] : response.headers) {
        MHD_add_response_header(reply, name.c_str(), value.c_str());
    }
    const MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(response.status), reply);
    MHD_destroy_response(reply);
    return queued;
}

HttpResponse refusal(int status, const std::string& text) {
    HttpResponse response{status, "text/plain; charset=utf-8", text + "\n", {}};
    if (status == 429) {
        response.headers.emplace_back("Retry-After", "1");
    }
    return response;
}

bool holdsControl(const char* text) {
    for (const char* c = text; *c != '\0'; ++c) {
        if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7f) {
            return true;
        }
    }
    return false;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Decodes %XX in place. A NUL decoded would end the C string that libmicrohttpd hands on, and
// "/api/status%00.png" would then read as "/api/status": such a path becomes a lone control
// character instead, which the handler refuses.
size_t unescape(void*, MHD_Connection*, char* text) {
    char* out = text;
    bool control = false;
    for (const char* in = text; *in != '\0'; ++in) {
        int high = 0;
        int low = 0;
        if (*in == '%' && (high = hexDigit(in[1])) >= 0 && (low = hexDigit(in[2])) >= 0) {
            const int byte = high * 16 + low;
            control = control || byte < 0x20 || byte == 0x7f;
            *out++ = static_cast<char>(byte);
            in += 2;
        } else {
            *out++ = *in;
        }
    }
    if (control) {
        out = text;
        *out++ = '\x01';
    }
    *out = '\0';
    return static_cast<size_t>(out - text);
}

Result<int> listenOn(const HttpAddress& address) {
    const std::string where = "cannot serve http://" + address.text() + "/: ";
    const int fd = ::socket(address.ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return fail(where + std::strerror(errno));
    }
    const int on = 1;
    // A beacon started again at once finds its port in TIME_WAIT from the last run.
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    int bound = -1;
    if (address.ipv6) {
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_port = htons(address.port);
        ::inet_pton(AF_INET6, address.host.c_str(), &a.sin6_addr);
        bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    } else {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(address.port);
        ::inet_pton(AF_INET, address.host.c_str(), &a.sin_addr);
        bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    }
    if (bound != 0 || ::listen(fd, 64) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(where + std::strerror(error));
    }
    return fd;
}

std::uint16_t boundPort(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.ss_family == AF_INET6
                     ? reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port
                     : reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

} // namespace

struct HttpServer::Impl {
    HttpAddress address;
    HttpLimits limits;
    HttpHandler handler;
    RateLimiter rates;
    MHD_Daemon* daemon = nullptr;
    int listenFd = -1;
    std::atomic<int> inFlight{0};

    Impl(const HttpAddress& a, const HttpLimits& l, HttpHandler h)
        : address(a), limits(l), handler(std::move(h)), rates(l.requestsPerSecond, l.burst) {}

    // The first call of a request: what can be refused before its body. `version` follows
    // the URI in libmicrohttpd's copy of the request line, one blank after its end: further
    // when a NUL byte inside the URI cut it short, so that "/api/status\0/x" would read as
    // "/api/status".
    std::optional<HttpResponse> screen(MHD_Connection* connection, const char* url,
                                       const char* version, const RequestState& state) {
        if (version != url + state.rawLength + 1 || holdsControl(url)) {
            return refusal(400, "Bad Request: the path holds a control character");
        }
        if (!rates.take(clientAddress(connection))) {
            return refusal(429, "Too Many Requests");
        }
        // Nothing here takes a body: one of unknown length is refused before it is read.
        if (MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                        MHD_HTTP_HEADER_TRANSFER_ENCODING) != nullptr) {
            return refusal(411, "Length Required");
        }
        const std::string length = headerValue(connection, MHD_HTTP_HEADER_CONTENT_LENGTH);
        std::size_t bytes = 0;
        if (!length.empty() &&
            (std::from_chars(length.data(), length.data() + length.size(), bytes).ec !=
                 std::errc() ||
             bytes > limits.bodyBytes)) {
            return refusal(413, "Content Too Large");
        }
        return std::nullopt;
    }

    MHD_Result onRequest(MHD_Connection* connection, const char* url, const char* method,
                         const char* version, size_t* uploadSize, void** context) {
        auto* state = static_cast<RequestState*>(*context);
        if (state == nullptr) {
            return MHD_NO;
        }
        if (!state->screened) {
            state->screened = true;
            if (const std::optional<HttpResponse> refused =
                    screen(connection, url, version, *state)) {
                return send(connection, *refused);
            }
            return MHD_YES;
        }
        if (*uploadSize > 0) {
            // The body (within the limit, by its length) is read and dropped.
            state->bodyBytes += *uploadSize;
            *uploadSize = 0;
            return state->bodyBytes <= limits.bodyBytes ? MHD_YES : MHD_NO;
        }
        return send(connection, handler(readRequest(connection, url, method)));
    }

    void* begin(const char* uri) {
        ++inFlight;
        auto* state = new RequestState;
        state->rawLength = std::strlen(uri);
        return state;
    }

    void completed(void** context) {
        if (*context != nullptr) {
            delete static_cast<RequestState*>(*context);
            *context = nullptr;
            --inFlight;
        }
    }
};

namespace {

MHD_Result onRequest(void* server, MHD_Connection* connection, const char* url, const char* method,
                     const char* version, const char*, size_t* uploadSize, void** context) {
    return static_cast<HttpServer::Impl*>(server)->onRequest(connection, url, method, version,
                                                             uploadSize, context);
}

// Called with the request line's URI as sent, before it is decoded; what it returns is the
// request's context.
void* onRequestLine(void* server, const char* uri, MHD_Connection*) {
    return static_cast<HttpServer::Impl*>(server)->begin(uri);
}

void onCompleted(void* server, MHD_Connection*, void** context, MHD_RequestTerminationCode) {
    static_cast<HttpServer::Impl*>(server)->completed(context);
}

} // namespace

std::string HttpAddress::text() const {
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

Result<HttpAddress> parseHttpAddress(const std::string& text) {
    const auto refused = [&text] {
        return fail("--http takes ADDR:PORT (127.0.0.1:8080, [::1]:8080, 0.0.0.0:8080) or a "
                    "port, not \"" +
                    text + "\"");
    };
    HttpAddress address{"127.0.0.1", 0, false};
    std::string portText = text;
    if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
        address.host = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (address.host.size() > 2 && address.host.front() == '[' && address.host.back() == ']') {
            address.host = address.host.substr(1, address.host.size() - 2);
            address.ipv6 = true;
        } else if (address.host == "localhost") {
            address.host = "127.0.0.1";
        }
    }
    unsigned port = 0;
    const char* last = portText.data() + portText.size();
    if (portText.empty() || std::from_chars(portText.data(), last, port).ptr != last ||
        port > 65535) {
        return refused();
    }
    address.port = static_cast<std::uint16_t>(port);
    unsigned char bytes[sizeof(in6_addr)];
    if (::inet_pton(address.ipv6 ? AF_INET6 : AF_INET, address.host.c_str(), bytes) != 1) {
        return refused();
    }
    return address;
}

std::string HttpRequest::argument(const std::string& name) const {
    for (const auto& [key, value] : query) {
        if (key == name) {
            return value;
        }
    }
    return {};
}

Result<std::unique_ptr<HttpServer>>
HttpServer::start(const HttpAddress& address, const HttpLimits& limits, HttpHandler handler) {
    Result<int> listening = listenOn(address);
    if (!listening) {
        return listening.failure();
    }
    auto impl = std::make_unique<Impl>(address, limits, std::move(handler));
    impl->listenFd = *listening;
    impl->address.port = boundPort(impl->listenFd);
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ITC;
    if (address.ipv6) {
        flags |= MHD_USE_IPv6;
    }
    impl->daemon = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &web::onRequest, impl.get(), MHD_OPTION_LISTEN_SOCKET,
        impl->listenFd, MHD_OPTION_THREAD_POOL_SIZE, kThreads, MHD_OPTION_CONNECTION_LIMIT,
        limits.connections, MHD_OPTION_PER_IP_CONNECTION_LIMIT, limits.connectionsPerClient,
        MHD_OPTION_CONNECTION_TIMEOUT, limits.idleSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        limits.headerBytes, MHD_OPTION_STRICT_FOR_CLIENT, 1, MHD_OPTION_UNESCAPE_CALLBACK,
        &unescape, nullptr, MHD_OPTION_URI_LOG_CALLBACK, &onRequestLine, impl.get(),
        MHD_OPTION_NOTIFY_COMPLETED, &onCompleted, impl.get(), MHD_OPTION_END);
    if (impl->daemon == nullptr) {
        ::close(impl->listenFd);
        return fail("cannot serve http://" + address.text() + "/: libmicrohttpd did not start");
    }
    return std::unique_ptr<HttpServer>(new HttpServer(std::move(impl)));
}

HttpServer::HttpServer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

HttpServer::~HttpServer() {
    const MHD_socket listening = MHD_quiesce_daemon(impl_->daemon);
    if (listening != MHD_INVALID_SOCKET) {
        ::close(listening);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (impl_->inFlight > 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    MHD_stop_daemon(impl_->daemon);
    if (listening == MHD_INVALID_SOCKET) {
        ::close(impl_->listenFd);
    }
}

std::uint16_t HttpServer::port() const {
    return impl_->address.port;
}

std::string HttpServer::url() const {
    return "http://" + impl_->address.text() + "/";
}

} // namespace vesk::web
