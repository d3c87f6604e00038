// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/beacon_web.h"

#include "web/access_token.h"

#include "vesk_version.h"

namespace vesk::web {

BeaconWeb::BeaconWeb(BeaconSession& session, const ServedBeacon& beacon)
    : session_(session), view_(board_) {
    board_.change([&beacon](BeaconStatus& s) {
        s.mode = beacon.mode;
        s.source = beacon.source;
        s.startedAt = systemWallClock().now();
    });
    for (const auto& [name, pattern] : beacon.patterns) {
        pictures_.add(name, pattern);
    }
    if (beacon.plan != nullptr) {
        for (const plan::PlanEntry& entry : beacon.plan->entries) {
            pictures_.add(entry.name, entry.pattern);
        }
    }
    session_.addView(view_);
}

Result<std::unique_ptr<BeaconWeb>> BeaconWeb::start(const WebSettings& settings,
                                                    const ServedBeacon& beacon,
                                                    BeaconSession& session,
                                                    BeaconControl& control) {
    const Result<HttpAddress> address = parseHttpAddress(settings.address);
    if (!address) {
        return address.failure();
    }
    std::string token;
    std::string tokenPath;
    if (!address->loopback() || !settings.tokenFile.empty()) {
        tokenPath = settings.tokenFile.empty() ? defaultTokenPath() : settings.tokenFile;
        Result<std::string> loaded = loadOrMakeToken(tokenPath);
        if (!loaded) {
            return loaded.failure();
        }
        token = *loaded;
    }
    std::unique_ptr<BeaconWeb> web(new BeaconWeb(session, beacon));
    web->tokenPath_ = tokenPath;
    ApiSources sources{web->board_, web->commands_, control, web->pictures_,          beacon.plan,
                       beacon.seed, beacon.logPath, token,   "vesk-cli " VESK_VERSION};
    web->api_ = std::make_unique<BeaconApi>(std::move(sources), builtInPage());
    BeaconApi& api = *web->api_;
    Result<std::unique_ptr<HttpServer>> server = HttpServer::start(
        *address, HttpLimits{}, [&api](const HttpRequest& r) { return api.handle(r); });
    if (!server) {
        return server.failure();
    }
    web->server_ = std::move(*server);
    return web;
}

BeaconWeb::~BeaconWeb() {
    // Commands first: a handler that waits for one is answered at once, so the server's stop
    // does not wait for it.
    commands_.close();
    server_.reset();
    session_.removeView(view_);
}

std::string BeaconWeb::startLine() const {
    return "serving the status page at " + server_->url() +
           (tokenPath_.empty() ? std::string() : " (clients send the token in " + tokenPath_ + ")");
}

} // namespace vesk::web
