// SPDX-License-Identifier: GPL-3.0-or-later
// The status page's server over real sockets: routes, commands, the access rules and the
// limits, each refusal leaving the server answering everyone else.
#include "tests/web/web_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <regex>
#include <sstream>

namespace vesk {
namespace {

using namespace std::chrono_literals;

QJsonObject jsonOf(const std::optional<HttpReply>& reply) {
    return reply ? QJsonDocument::fromJson(QByteArray::fromStdString(reply->body)).object()
                 : QJsonObject();
}

int statusOf(const std::optional<HttpReply>& reply) {
    return reply ? reply->status : 0;
}

// A request as raw bytes on a connection of its own: the status, or 0 when the server closed
// the connection without one.
int rawStatus(std::uint16_t port, const std::string& bytes) {
    HttpConnection connection(port);
    connection.send(bytes);
    return statusOf(connection.read());
}

using WebServer = WebFixture;

TEST_F(WebServer, EveryRouteAnswersWithItsStatusAndType) {
    writeWholeFile(logFile(), "2026-12-07T05:30:00.012Z\t2026-12-07T05:31:00.250Z\tcycle 1\ta.txt\t"
                              "DTR+RTS on COM 7\t0 underruns\n"
                              "2026-12-07T05:35:02.101Z\tevent\tpaused from 127.0.0.1 over HTTP\n"
                              "2026-12-07T05:36:00.012Z\t2026-12-07T05:37:00.250Z\tcycle 1\ta.txt\t"
                              "DTR+RTS on COM 7\t0 underruns\n");
    board.change([](web::BeaconStatus& s) {
        s.mode = "play";
        s.keyed = true;
        s.faults.watchdog = 2;
    });
    serve();
    struct Case {
        const char* method;
        const char* target;
        int status;
        const char* type;
    };
    const Case cases[] = {
        {"GET", "/", 200, "text/html"},
        {"GET", "/page.js", 200, "text/javascript"},
        {"GET", "/page.css", 200, "text/css"},
        {"GET", "/api/status", 200, "application/json"},
        {"HEAD", "/api/status", 200, "application/json"},
        {"GET", "/api/next", 200, "application/json"},
        {"GET", "/api/log?lines=2", 200, "application/json"},
        {"GET", "/api/log?lines=0", 400, "application/json"},
        {"GET", "/api/log?lines=1001", 400, "application/json"},
        {"GET", "/api/log?lines=2x", 400, "application/json"},
        {"GET", "/api/pattern/beacon.png", 200, "image/png"},
        {"GET", "/api/pattern/other.png", 404, "application/json"},
        {"GET", "/api/pattern/beacon", 404, "application/json"},
        {"GET", "/metrics", 200, "text/plain; version=0.0.4"},
        {"POST", "/api/status", 405, "application/json"},
        {"GET", "/api/pause", 405, "application/json"},
        {"DELETE", "/", 405, "application/json"},
        {"GET", "/index.html", 404, "application/json"},
        {"GET", "/api", 404, "application/json"},
    };
    for (const Case& c : cases) {
        const std::optional<HttpReply> reply = httpRequest(port, c.method, c.target);
        ASSERT_TRUE(reply) << c.method << " " << c.target;
        EXPECT_EQ(reply->status, c.status) << c.method << " " << c.target << ": " << reply->body;
        EXPECT_EQ(reply->header("content-type").rfind(c.type, 0), 0u)
            << c.target << ": " << reply->header("content-type");
        EXPECT_EQ(reply->header("x-content-type-options"), "nosniff") << c.target;
    }

    EXPECT_EQ(httpRequest(port, "GET", "/api/pattern/beacon.png")->body.substr(0, 4), "\x89PNG");
    const QJsonObject status = jsonOf(httpRequest(port, "GET", "/api/status"));
    EXPECT_EQ(status["mode"].toString(), "play");
    EXPECT_EQ(status["ptt"].toString(), "PTT ON");
    EXPECT_EQ(status["faults"].toObject()["watchdog"].toInt(), 2);
    const QJsonArray lines =
        jsonOf(httpRequest(port, "GET", "/api/log?lines=2"))["lines"].toArray();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0].toObject()["kind"].toString(), "event");
    EXPECT_EQ(lines[1].toObject()["time"].toString(), "2026-12-07T05:36:00.012Z");

    // Every line of the metrics is a comment or one sample, and the gauges say what the board
    // holds.
    const std::string metrics = httpRequest(port, "GET", "/metrics")->body;
    const std::regex sample(R"([a-z_]+(\{[a-z_]+="[^"]*"(,[a-z_]+="[^"]*")*\})? -?[0-9.e+]+)");
    std::istringstream in(metrics);
    for (std::string line; std::getline(in, line);) {
        EXPECT_TRUE(line.rfind("# ", 0) == 0 || std::regex_match(line, sample)) << line;
    }
    EXPECT_NE(metrics.find("\nvesk_ptt_keyed 1\n"), std::string::npos) << metrics;
    EXPECT_NE(metrics.find("\nvesk_faults_total{kind=\"watchdog\"} 2\n"), std::string::npos);
}

TEST_F(WebServer, CommandsRunOnTheEventLoopAndAnswerWhatTheyCameTo) {
    serve();
    for (const std::string command : {"pause", "resume", "skip", "stop"}) {
        const std::optional<HttpReply> reply =
            whileLooping([&] { return httpRequest(port, "POST", "/api/" + command); });
        EXPECT_EQ(statusOf(reply), 200) << command;
        EXPECT_EQ(jsonOf(reply)["state"].toString().toStdString(), command + "d");
    }
    ASSERT_EQ(control.calls.size(), 4u);
    for (const RecordingControl::Call& call : control.calls) {
        EXPECT_EQ(call.from, "127.0.0.1") << call.command;
        EXPECT_TRUE(call.onLoopThread) << call.command;
    }
    // A beacon on its way out takes no more commands, and says so at once.
    commands.close();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(statusOf(httpRequest(port, "POST", "/api/pause")), 503);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(control.calls.size(), 4u);
}

TEST_F(WebServer, PathTricksReachNothing) {
    serve();
    const std::pair<const char*, int> cases[] = {
        {"/../api/status", 404},
        {"/api/../api/status", 404},
        {"/api/%2e%2e/api/status", 404},
        {"/%2e%2e/%2e%2e/etc/passwd", 404},
        {"/api/pattern/..%2f..%2fetc%2fpasswd.png", 404},
        {"/api/pattern/%2e%2e%2fbeacon.png", 404},
        {"//api/status", 404},
        {"/API/STATUS", 404},
        {"/api/status/", 404},
        {"/api/status%00", 400},
        {"/api/pattern/beacon.png%00.txt", 400},
        {"/api/status%0d%0aX-Injected:%201", 400},
    };
    for (const auto& [target, status] : cases) {
        EXPECT_EQ(statusOf(httpRequest(port, "GET", target)), status) << target;
    }
    // A NUL byte itself in the request line is no request.
    using namespace std::string_literals;
    EXPECT_NE(rawStatus(port, "GET /api/status\0/x HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"s), 200);
    EXPECT_EQ(statusOf(httpRequest(port, "GET", "/api/status")), 200);
}

TEST_F(WebServer, OversizedAndMalformedRequestsAreRefusedAlone) {
    serve();
    const std::string host = "Host: 127.0.0.1\r\n";
    // 0: libmicrohttpd's own refusal, a 4xx or the connection closed unanswered.
    const std::pair<std::string, int> cases[] = {
        {"GET /api/status HTTP/1.1\r\n" + host + "X-Pad: " + std::string(40000, 'a') + "\r\n\r\n",
         0},
        {"POST /api/pause HTTP/1.1\r\n" + host + "Content-Length: 2000\r\n\r\n", 413},
        {"POST /api/pause HTTP/1.1\r\n" + host + "Content-Length: 99999999999999999999\r\n\r\n",
         413},
        {"POST /api/pause HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\n7d0\r\n" +
             std::string(2000, 'x') + "\r\n0\r\n\r\n",
         411},
        {"HELLO\r\n\r\n", 0},
        {"GET /api/status HTTP/1.1\r\n\r\n", 0}, // HTTP/1.1 without Host
        {"GET /api/status HTTP/1.1\r\n" + host + "Bad Header\r\n\r\n", 0},
        {"GET  /api/status  HTTP/1.1\r\n" + host + "\r\n", 0},
        {"GET /api/status HTTP/9.9\r\n" + host + "\r\n", 0},
    };
    for (const auto& [bytes, status] : cases) {
        const int got = rawStatus(port, bytes);
        if (status == 0) {
            EXPECT_TRUE(got == 0 || (got >= 400 && got < 600)) << got << " " << bytes.substr(0, 40);
        } else {
            EXPECT_EQ(got, status) << bytes.substr(0, 60);
        }
    }
    EXPECT_TRUE(control.calls.empty());
    EXPECT_EQ(statusOf(httpRequest(port, "GET", "/api/status")), 200);
}

TEST_F(WebServer, AClientOverItsRateIsToldToWaitAndOthersAreNot) {
    web::HttpLimits limits;
    limits.requestsPerSecond = 1.0;
    limits.burst = 5.0;
    serve(limits);
    HttpConnection fast(port, "127.0.0.1", "127.0.0.7");
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(statusOf(fast.request("GET", "/api/status")), 200) << i;
    }
    const std::optional<HttpReply> refused = fast.request("GET", "/api/status");
    EXPECT_EQ(statusOf(refused), 429);
    EXPECT_EQ(refused ? refused->header("retry-after") : "", "1");
    HttpConnection other(port, "127.0.0.1", "127.0.0.8");
    EXPECT_EQ(statusOf(other.request("GET", "/api/status")), 200);
    std::this_thread::sleep_for(1100ms);
    EXPECT_EQ(statusOf(HttpConnection(port, "127.0.0.1", "127.0.0.7").request("GET", "/")), 200);
}

TEST_F(WebServer, SlowClientsAreClosedAndTheRestAreServedMeanwhile) {
    web::HttpLimits limits;
    limits.idleSeconds = 1;
    limits.connectionsPerClient = 3;
    serve(limits);
    // Three connections from one address that never finish their request line.
    std::vector<std::unique_ptr<HttpConnection>> slow;
    for (int i = 0; i < 3; ++i) {
        slow.push_back(std::make_unique<HttpConnection>(port, "127.0.0.1", "127.0.0.9"));
        ASSERT_TRUE(slow.back()->send("GET /api/sta"));
    }
    // One more from there is over its share and closed at once, unanswered.
    HttpConnection fourth(port, "127.0.0.1", "127.0.0.9");
    fourth.send("GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    EXPECT_FALSE(fourth.read(false, 2s));
    // Everyone else is answered at once.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(statusOf(httpRequest(port, "GET", "/api/status")), 200);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    // Idle past the limit, the slow ones are closed.
    for (const auto& connection : slow) {
        EXPECT_TRUE(connection->closedWithin(4s));
    }
}

TEST_F(WebServer, OffLoopbackEveryReadAndCommandNeedsTheToken) {
    const std::string token = "0123456789abcdef0123456789abcdef";
    serve({}, token);
    const std::string bearer = "Authorization: Bearer " + token;
    const std::string origin = "Origin: http://127.0.0.1:" + std::to_string(port);
    struct Case {
        const char* method;
        const char* target;
        std::vector<std::string> headers;
        int status;
    };
    const Case cases[] = {
        {"GET", "/api/status", {}, 401},
        {"GET", "/metrics", {}, 401},
        {"GET", "/api/pattern/beacon.png", {}, 401},
        {"POST", "/api/pause", {}, 401},
        {"GET", "/api/status", {"Authorization: Bearer " + token + "0"}, 401},
        {"GET", "/api/status", {"Authorization: Bearer " + token.substr(1)}, 401},
        {"GET", "/api/status", {"Authorization: Basic " + token}, 401},
        {"GET", "/api/status", {bearer}, 200},
        {"GET", "/metrics", {"authorization: bearer " + token}, 200},
        // The page's own files hold nothing of the beacon: it asks for the token itself.
        {"GET", "/", {}, 200},
        {"GET", "/page.js", {}, 200},
        // A command needs its Origin to be this server's, or none.
        {"POST", "/api/pause", {bearer}, 200},
        {"POST", "/api/pause", {bearer, origin}, 200},
        {"POST", "/api/pause", {bearer, "Origin: http://evil.example"}, 403},
        {"POST", "/api/pause", {bearer, "Origin: null"}, 403},
        {"POST", "/api/pause", {bearer, origin + "0"}, 403},
        {"POST", "/api/pause", {bearer, "Origin: https://127.0.0.1:" + std::to_string(port)}, 403},
    };
    for (const Case& c : cases) {
        const std::optional<HttpReply> reply =
            whileLooping([&] { return httpRequest(port, c.method, c.target, c.headers); });
        EXPECT_EQ(statusOf(reply), c.status)
            << c.method << " " << c.target << " " << (c.headers.empty() ? "" : c.headers.back());
        if (statusOf(reply) == 401) {
            EXPECT_EQ(reply->header("www-authenticate"), "Bearer realm=\"vesk\"");
        }
    }
    EXPECT_EQ(control.calls.size(), 2u);
}

TEST_F(WebServer, OnLoopbackOnlyALoopbackHostIsAnswered) {
    serve();
    const std::string p = std::to_string(port);
    const std::pair<std::string, int> cases[] = {
        {"Host: 127.0.0.1:" + p, 200},    {"Host: localhost:" + p, 200},
        {"Host: LOCALHOST", 200},         {"Host: [::1]:" + p, 200},
        {"Host: evil.example:" + p, 403}, {"Host: 127.0.0.1.evil.example:" + p, 403},
    };
    for (const auto& [host, status] : cases) {
        EXPECT_EQ(statusOf(httpRequest(port, "GET", "/api/status", {host})), status) << host;
    }
}

} // namespace
} // namespace vesk
