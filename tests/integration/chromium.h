// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Debian's headless Chromium, driven over its DevTools pipe (--remote-debugging-pipe: it reads
// commands on descriptor 3 and writes answers on 4, each message ending in a NUL byte), so that
// the browser opens no port of its own. One page, made at start.
#include "tests/core/scratch_folder.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vesk {

inline constexpr const char* kChromium = "/usr/bin/chromium";

class Chromium {
public:
    // Starts the browser with a fresh profile and a page of `width` x `height` CSS pixels.
    Chromium(int width, int height) {
        int toBrowser[2];
        int fromBrowser[2];
        if (::pipe2(toBrowser, O_CLOEXEC) != 0 || ::pipe2(fromBrowser, O_CLOEXEC) != 0) {
            return;
        }
        const std::string profile = "--user-data-dir=" + profile_.path().string();
        const std::vector<std::string> args = {kChromium,
                                               "--headless",
                                               "--no-sandbox",
                                               "--disable-gpu",
                                               "--disable-quic",
                                               "--no-first-run",
                                               "--disable-background-networking",
                                               "--disable-component-update",
                                               "--disable-sync",
                                               "--remote-debugging-pipe",
                                               profile,
                                               "about:blank"};
        std::vector<char*> argv;
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::setpgid(0, 0); // its helpers go with it
            ::dup2(toBrowser[0], 3);
            ::dup2(fromBrowser[1], 4);
            const int quiet = ::open("/dev/null", O_WRONLY);
            ::dup2(quiet, 1);
            ::dup2(quiet, 2);
            ::close_range(5, ~0u, 0);
            ::execv(kChromium, argv.data());
            ::_exit(127);
        }
        ::close(toBrowser[0]);
        ::close(fromBrowser[1]);
        out_ = toBrowser[1];
        in_ = fromBrowser[0];
        const QJsonObject target = call("Target.createTarget", {{"url", "about:blank"}}, false);
        const QJsonObject attached = call(
            "Target.attachToTarget", {{"targetId", target["targetId"]}, {"flatten", true}}, false);
        session_ = attached["sessionId"].toString();
        call("Emulation.setDeviceMetricsOverride", {{"width", width},
                                                    {"height", height},
                                                    {"deviceScaleFactor", 1},
                                                    {"mobile", width < 600}});
    }
    ~Chromium() {
        ::close(out_);
        ::close(in_);
        if (pid_ > 0) {
            ::kill(-pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Chromium(const Chromium&) = delete;
    Chromium& operator=(const Chromium&) = delete;

    // The page is there to be driven.
    bool started() const { return !session_.isEmpty(); }

    // Loads `url` and waits until its document is complete.
    bool open(const std::string& url) {
        call("Page.navigate", {{"url", QString::fromStdString(url)}});
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (evaluate("document.readyState").toString() == "complete") {
                return true;
            }
            ::usleep(50'000);
        }
        return false;
    }

    // The value of a JavaScript expression in the page (JSON-able values only).
    QJsonValue evaluate(const std::string& expression) {
        return call("Runtime.evaluate", {{"expression", QString::fromStdString(expression)},
                                         {"returnByValue", true}})["result"]
            .toObject()["value"];
    }

    // The page as a PNG file's bytes.
    std::string screenshot() {
        const QByteArray data =
            call("Page.captureScreenshot", {{"format", "png"}})["data"].toString().toLatin1();
        return QByteArray::fromBase64(data).toStdString();
    }

private:
    // Sends one command (to the page, or to the browser) and returns its result; events that
    // come meanwhile are dropped. Empty after 20 s without an answer.
    QJsonObject call(const char* method, const QJsonObject& params, bool toPage = true) {
        QJsonObject message{{"id", ++lastId_}, {"method", method}, {"params", params}};
        if (toPage) {
            message.insert("sessionId", session_);
        }
        const QByteArray bytes = QJsonDocument(message).toJson(QJsonDocument::Compact) + '\0';
        if (::write(out_, bytes.data(), static_cast<std::size_t>(bytes.size())) != bytes.size()) {
            return {};
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            const std::size_t end = buffer_.find('\0');
            if (end != std::string::npos) {
                const QJsonObject reply =
                    QJsonDocument::fromJson(QByteArray::fromStdString(buffer_.substr(0, end)))
                        .object();
                buffer_.erase(0, end + 1);
                if (reply["id"].toInt() == lastId_) {
                    return reply["result"].toObject();
                }
                continue;
            }
            pollfd p{in_, POLLIN, 0};
            char chunk[65536];
            const ssize_t got = ::poll(&p, 1, 1000) > 0 ? ::read(in_, chunk, sizeof chunk) : 0;
            if (got < 0 || (got == 0 && (p.revents & POLLHUP) != 0)) {
                return {};
            }
            buffer_.append(chunk, static_cast<std::size_t>(got));
        }
        return {};
    }

    ScratchFolder profile_;
    pid_t pid_ = -1;
    int out_ = -1;
    int in_ = -1;
    int lastId_ = 0;
    QString session_;
    std::string buffer_;
};

} // namespace vesk
