// SPDX-License-Identifier: GPL-3.0-or-later
// vesk-cli play and run with --http: the API steering a beacon keyed on a pty's lines, a plan
// served off loopback with its token, and the page in a real browser.
#include "tests/integration/chromium.h"
#include "tests/integration/fake_port.h"
#include "tests/integration/monitor_recording.h"
#include "tests/web/http_client.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <sys/stat.h>

namespace vesk {
namespace {

using namespace std::chrono_literals;

const std::string kCli = VESK_CLI_PATH;

// Five 50 ms tone dots with silence between, a cycle of 21 dots: keyed about half a second
// every 1.05 s.
const std::string kShort = "50 9 50 1000 20\r\n8 1\r\n0 1\r\n4 1\r\n0 1\r\n12 1\r\n0 1\r\n1 1\r\n"
                           "0 1\r\n16 1\r\n0 1\r\n";
constexpr auto kPeriod = 1050ms;

// The port of "serving the status page at http://ADDR:PORT/" on the beacon's stderr; 0 when
// it has not said so within 10 s.
std::uint16_t servedPort(const ChildProcess& beacon) {
    const std::regex line(R"(serving the status page at http://[0-9.]+:([0-9]+)/)");
    std::smatch match;
    waitFor(
        [&] {
            const std::string err = beacon.standardError();
            return std::regex_search(err, match, line) || !beacon.running();
        },
        10s);
    const std::string err = beacon.standardError();
    return std::regex_search(err, match, line)
               ? static_cast<std::uint16_t>(std::stoi(match[1].str()))
               : 0;
}

QJsonObject jsonOf(const std::optional<HttpReply>& reply) {
    return reply ? QJsonDocument::fromJson(QByteArray::fromStdString(reply->body)).object()
                 : QJsonObject();
}

// "2026-12-07T05:30:00.012Z" (or a longer ISO time) as ns since the epoch.
std::int64_t utcNs(const std::string& text) {
    std::tm utc{};
    int ms = 0;
    std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d", &utc.tm_year, &utc.tm_mon,
                &utc.tm_mday, &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &ms);
    utc.tm_year -= 1900;
    utc.tm_mon -= 1;
    return (static_cast<std::int64_t>(::timegm(&utc)) * 1000 + ms) * 1'000'000;
}

// The times the fake modem's log has DTR raised, CLOCK_REALTIME, in ns.
std::vector<std::int64_t> keyTimes(const std::string& lineLog) {
    std::vector<std::int64_t> keys;
    std::istringstream in(lineLog);
    std::string change;
    long double seconds = 0;
    while (in >> change >> seconds) {
        if (change == "DTR+") {
            keys.push_back(static_cast<std::int64_t>(seconds * 1e9L));
        }
    }
    return keys;
}

// Both lines up as the fake modem's last changes left them.
bool keyedIn(const std::string& lineLog) {
    std::istringstream in(lineLog);
    std::string change;
    long double seconds = 0;
    bool dtr = false;
    bool rts = false;
    while (in >> change >> seconds) {
        (change.rfind("DTR", 0) == 0 ? dtr : rts) = change.back() == '+';
    }
    return dtr && rts;
}

class CliHttp : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_SOUND_SERVER();
        writeWholeFile(folder.file("short.txt"), kShort);
        environment = port.modemEnvironment();
        environment["VESK_FAKE_MODEM_TIMES"] = "realtime";
    }
    // play short.txt keyed on COM7, serving on a port of its own.
    std::unique_ptr<ChildProcess> startPlay() {
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{kCli, "play", folder.file("short.txt"), "--comport", "7",
                                     "--level", "100", "--log", folder.file("play.log"), "--http",
                                     "127.0.0.1:0"},
            environment);
    }
    bool keyed() const { return keyedIn(port.lineLog()); }
    bool released() const { return !port.lineLog().empty() && !keyed(); }

    ScratchFolder folder;
    Comport7 port;
    EnvironmentChanges environment;
};

TEST_F(CliHttp, PlayIsPausedResumedSkippedAndStoppedOverHttp) {
    const std::unique_ptr<ChildProcess> play = startPlay();
    const std::uint16_t http = servedPort(*play);
    ASSERT_NE(http, 0) << play->standardError();
    ASSERT_TRUE(waitFor([&] { return keyed(); }, 10s)) << play->standardError();
    QJsonObject status = jsonOf(httpRequest(http, "GET", "/api/status"));
    EXPECT_EQ(status["state"].toString(), "playing");
    EXPECT_EQ(status["onAir"].toObject()["pattern"].toString().toStdString(),
              folder.file("short.txt"));
    EXPECT_EQ(jsonOf(httpRequest(http, "GET", "/api/next"))["next"].toArray().size(), 10);

    // A pause releases the PTT before it is answered, and keys nothing until resumed. It is
    // asked for at the start of a key, hundreds of ms before the pattern would release it.
    ASSERT_TRUE(waitFor([&] { return released(); }, 5s));
    ASSERT_TRUE(waitFor([&] { return keyed(); }, 5s));
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(httpRequest(http, "POST", "/api/pause")->status, 200);
    const auto answered = std::chrono::steady_clock::now();
    EXPECT_TRUE(released()) << port.lineLog();
    EXPECT_LT(answered - asked, 100ms);
    const std::size_t keysWhenPaused = keyTimes(port.lineLog()).size();
    std::this_thread::sleep_for(3 * kPeriod);
    EXPECT_EQ(keyTimes(port.lineLog()).size(), keysWhenPaused);
    status = jsonOf(httpRequest(http, "GET", "/api/status"));
    EXPECT_EQ(status["state"].toString(), "paused");
    EXPECT_EQ(status["ptt"].toString(), "PTT OFF");
    EXPECT_EQ(status["paused"].toObject()["by"].toString(), "127.0.0.1");

    EXPECT_EQ(httpRequest(http, "POST", "/api/resume")->status, 200);
    ASSERT_TRUE(waitFor([&] { return keyed(); }, 5s)) << play->standardError();

    // A skip while keyed: this cycle plays out, the next is left out, the one after it keys.
    ASSERT_TRUE(waitFor([&] { return released(); }, 5s));
    ASSERT_TRUE(waitFor([&] { return keyed(); }, 5s));
    const std::size_t keysBeforeSkip = keyTimes(port.lineLog()).size();
    EXPECT_EQ(httpRequest(http, "POST", "/api/skip")->status, 200);
    ASSERT_TRUE(waitFor([&] { return keyTimes(port.lineLog()).size() > keysBeforeSkip; }, 10s));
    const std::vector<std::int64_t> keys = keyTimes(port.lineLog());
    const std::int64_t gapNs = keys[keysBeforeSkip] - keys[keysBeforeSkip - 1];
    EXPECT_GT(gapNs, std::chrono::nanoseconds(kPeriod).count() * 18 / 10) << port.lineLog();

    EXPECT_EQ(httpRequest(http, "POST", "/api/stop")->status, 200);
    ASSERT_TRUE(play->wait(10s)) << play->standardError();
    EXPECT_EQ(play->exitCode(), 0) << play->standardError();
    EXPECT_TRUE(released());
    // Each command is in the log, with the client it came from.
    const std::string log = readWholeFile(folder.file("play.log"));
    for (const char* said :
         {"\tevent\tpaused from 127.0.0.1 over HTTP\n",
          "\tevent\tresumed from 127.0.0.1 over HTTP\n", "\tevent\tleaving out the cycle at ",
          "\tevent\tstopped from 127.0.0.1"}) {
        EXPECT_NE(log.find(said), std::string::npos) << said << "\n" << log;
    }
}

TEST_F(CliHttp, APlanServedOffLoopbackAsksForItsTokenAndLeavesOutTheSlotSkipped) {
    writeWholeFile(folder.file("plan.toml"),
                   "[station]\ncomport = 7\nlog = \"run.log\"\nlevel = 100\n\n"
                   "[[transmission]]\nname = \"a\"\n"
                   "pattern = \"short.txt\"\nevery = \"5s\"\n");
    environment["XDG_CONFIG_HOME"] = folder.file("config");
    ChildProcess run(
        {kCli, "run", folder.file("plan.toml"), "--no-clock-check", "--http", "127.0.0.2:0"},
        environment);
    const std::uint16_t http = servedPort(run);
    ASSERT_NE(http, 0) << run.standardError();
    const std::string tokenFile = folder.file("config/vesk/http-token");
    EXPECT_NE(run.standardError().find("token in " + tokenFile), std::string::npos);
    struct stat info {};
    ASSERT_EQ(::stat(tokenFile.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string bearer = "Authorization: Bearer " + readWholeFile(tokenFile).substr(0, 64);
    const auto ask = [&](const char* method, const char* target) {
        return httpRequest(http, method, target, {bearer}, "127.0.0.2");
    };
    EXPECT_EQ(httpRequest(http, "GET", "/api/next", {}, "127.0.0.2")->status, 401);
    EXPECT_EQ(httpRequest(http, "POST", "/api/skip", {}, "127.0.0.2")->status, 401);

    // The plan's next ten, five seconds apart; a skip leaves out the first of them.
    QJsonArray next = jsonOf(ask("GET", "/api/next"))["next"].toArray();
    ASSERT_EQ(next.size(), 10);
    for (int i = 1; i < next.size(); ++i) {
        EXPECT_EQ(utcNs(next[i].toObject()["at"].toString().toStdString()) -
                      utcNs(next[i - 1].toObject()["at"].toString().toStdString()),
                  5'000'000'000);
        EXPECT_EQ(next[i].toObject()["entry"].toString(), "a");
    }
    const std::optional<HttpReply> skipped = ask("POST", "/api/skip");
    EXPECT_EQ(skipped->status, 200) << skipped->body;
    next = jsonOf(ask("GET", "/api/next"))["next"].toArray();
    ASSERT_TRUE(next[0].toObject()["skipped"].toBool()) << skipped->body;
    EXPECT_FALSE(next[1].toObject()["skipped"].toBool());
    const std::string skippedText = next[0].toObject()["at"].toString().toStdString();

    // Nothing is keyed on that slot; a later one sends (on a loaded machine the runner may
    // miss the next one too, and says so).
    const std::int64_t slot = utcNs(skippedText);
    ASSERT_TRUE(waitFor([&] { return !keyTimes(port.lineLog()).empty(); }, 30s))
        << run.standardError();
    run.signal(SIGTERM);
    ASSERT_TRUE(run.wait(10s));
    EXPECT_EQ(run.exitCode(), 0) << run.standardError();
    for (const std::int64_t key : keyTimes(port.lineLog())) {
        EXPECT_GT(std::llabs(key - slot), 1'000'000'000) << "keyed on the slot left out";
    }
    EXPECT_NE(run.standardError().find("a at "), std::string::npos);
    EXPECT_NE(run.standardError().find(" skipped: left out from 127.0.0.1 over HTTP"),
              std::string::npos)
        << run.standardError();
}

// Headless Chromium loads the page from a playing beacon and runs its script: the PTT shown
// turns on and off with the pattern. On failure the page's screenshot is kept beside the test
// log.
TEST_F(CliHttp, ThePageShowsThePttFollowingThePattern) {
    ASSERT_EQ(::access(kChromium, X_OK), 0) << "chromium is missing: bash scripts/setup.sh";
    const std::unique_ptr<ChildProcess> play = startPlay();
    const std::uint16_t http = servedPort(*play);
    ASSERT_NE(http, 0) << play->standardError();
    Chromium browser(412, 915);
    ASSERT_TRUE(browser.started());
    ASSERT_TRUE(browser.open("http://127.0.0.1:" + std::to_string(http) + "/"));
    std::vector<std::string> shown; // each state the PTT label showed, in turn
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline && shown.size() < 5) {
        const std::string state = browser.evaluate("document.getElementById('ptt').dataset.state")
                                      .toString()
                                      .toStdString();
        if (shown.empty() || shown.back() != state) {
            shown.push_back(state);
        }
        std::this_thread::sleep_for(20ms);
    }
    const std::string text = browser.evaluate("document.body.innerText").toString().toStdString();
    EXPECT_GE(std::count(shown.begin(), shown.end(), "on"), 2) << ::testing::PrintToString(shown);
    EXPECT_GE(std::count(shown.begin(), shown.end(), "off"), 2) << ::testing::PrintToString(shown);
    EXPECT_NE(text.find("short.txt"), std::string::npos) << text;
    if (::testing::Test::HasFailure()) {
        const std::string name = std::string("vesk_page_") +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                                 ".png";
        std::ofstream(name, std::ios::binary) << browser.screenshot();
        std::cerr << "page kept in " << std::filesystem::absolute(name).string() << "\n"
                  << text << '\n';
    }
    play->signal(SIGTERM);
    EXPECT_TRUE(play->wait(10s));
}

} // namespace
} // namespace vesk
