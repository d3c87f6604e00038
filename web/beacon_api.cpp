// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/beacon_api.h"

#include "plan/clock_gate.h"
#include "web/access_token.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>

namespace vesk::web {

namespace {

constexpr const char* kPicturePrefix = "/api/pattern/";
constexpr const char* kPictureSuffix = ".png";
// The most of the log read for its tail, and what a line is allowed on average.
constexpr std::size_t kMostTailBytes = 1 << 20;
constexpr std::size_t kTailBytesPerLine = 1024;

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

QJsonValue utc(UtcNanoseconds at) {
    return at >= 0 ? QJsonValue(text(formatUtcMilliseconds(at))) : QJsonValue();
}

double seconds(std::int64_t ns) {
    return static_cast<double>(ns) / 1e9;
}

HttpResponse json(int status, const QJsonObject& object) {
    return {status,
            "application/json; charset=utf-8",
            QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString(),
            {{"Cache-Control", "no-store"}}};
}

HttpResponse error(int status, const std::string& message) {
    return json(status, QJsonObject{{"error", text(message)}});
}

bool sameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// A Host header that names this machine's loopback: what a page on another site, its name
// pointed at 127.0.0.1 (DNS rebinding), cannot send.
bool loopbackHost(const std::string& host) {
    std::string name = host;
    if (!name.empty() && name.front() == '[') {
        name = name.substr(1, name.find(']') == std::string::npos ? 0 : name.find(']') - 1);
    } else {
        name = name.substr(0, name.find(':'));
    }
    return name == "127.0.0.1" || name == "::1" || sameText(name, "localhost");
}

QJsonObject transmissionJson(const Transmission& t) {
    return {{"at", utc(t.at)},
            {"entry", text(t.entry)},
            {"pattern", text(t.pattern)},
            {"picture", text(kPicturePrefix + t.picture + kPictureSuffix)},
            {"frequencyHz", static_cast<double>(t.frequencyHz)},
            {"lengthSeconds", seconds(t.lengthNs)},
            {"skipped", t.skipped}};
}

QJsonValue onAirJson(const BeaconStatus& s) {
    if (!s.onAir) {
        return {};
    }
    QJsonObject onAir = transmissionJson(*s.onAir);
    onAir.insert("keyedAt", utc(s.keyedAt));
    if (s.progress) {
        const CycleProgress& p = *s.progress;
        onAir.insert("progress",
                     QJsonObject{{"dot", p.dot},
                                 {"cycleDots", static_cast<double>(p.cycleDots)},
                                 {"fraction",
                                  static_cast<double>(p.barTo) /
                                      static_cast<double>(std::max<std::int64_t>(p.cycleDots, 1))},
                                 {"sounding", p.sounding}});
    }
    return onAir;
}

QJsonValue lastJson(const BeaconStatus& s, UtcNanoseconds now) {
    if (!s.last) {
        return {};
    }
    const TransmissionRecord& r = *s.last;
    return QJsonObject{{"keyed", utc(r.keyed)},
                       {"released", utc(r.released)},
                       {"cycle", static_cast<double>(r.cycle)},
                       {"pattern", text(r.pattern)},
                       {"entry", text(r.entry)},
                       {"frequencyHz", static_cast<double>(r.frequencyHz)},
                       {"underruns", static_cast<double>(r.underruns)},
                       {"keptKeyed", r.keptKeyed},
                       {"secondsAgo", seconds(now - r.released)}};
}

QJsonObject faultsJson(const FaultCounts& f) {
    return {{"soundOutputWaits", static_cast<double>(f.soundWaits)},
            {"keyerWaits", static_cast<double>(f.keyerWaits)},
            {"watchdog", static_cast<double>(f.watchdog)},
            {"keyingFailures", static_cast<double>(f.keyingFailures)},
            {"outputOpenFailures", static_cast<double>(f.openFailures)},
            {"transmissionsLost", static_cast<double>(f.lost)},
            {"logFailures", static_cast<double>(f.logFailures)}};
}

QJsonObject clockJson(const platform::ClockSyncReading& reading) {
    const std::string distrust = plan::clockDistrust(reading);
    return {{"synchronised", distrust.empty()},
            {"estimatedErrorMs", static_cast<double>(reading.estimatedErrorUs) / 1000.0},
            {"problem", text(distrust)}};
}

std::string stateOf(const BeaconStatus& s) {
    if (s.stopping) {
        return "stopping";
    }
    if (s.paused) {
        return "paused";
    }
    if (s.waiting != BeaconWait::None) {
        return "waiting";
    }
    return s.on ? "playing" : "idle";
}

std::string pttLabel(const BeaconStatus& s) {
    if (s.keyerMissing) {
        return "NO PTT";
    }
    return s.keyed ? "PTT ON" : "PTT OFF";
}

// The last `count` lines of the file at `path`; none when it cannot be read (a log not yet
// written to).
std::vector<std::string> lastLines(const std::string& path, std::size_t count) {
    std::vector<std::string> lines;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (fd >= 0) {
            ::close(fd);
        }
        return lines;
    }
    const auto size = static_cast<std::size_t>(info.st_size);
    const std::size_t want = std::min(kMostTailBytes, count * kTailBytesPerLine);
    const std::size_t from = size > want ? size - want : 0;
    std::string bytes(size - from, '\0');
    std::size_t got = 0;
    ssize_t n = 0;
    while (got < bytes.size() && (n = ::pread(fd, bytes.data() + got, bytes.size() - got,
                                              static_cast<off_t>(from + got))) > 0) {
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(got);
    // A read from the middle starts inside a line.
    std::size_t start = 0;
    if (from > 0) {
        start = bytes.find('\n');
        start = start == std::string::npos ? bytes.size() : start + 1;
    }
    for (std::size_t end = 0; (end = bytes.find('\n', start)) != std::string::npos;
         start = end + 1) {
        lines.push_back(bytes.substr(start, end - start));
    }
    if (lines.size() > count) {
        lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(count));
    }
    return lines;
}

// Prometheus's text format: a label value with \, " and line breaks escaped.
std::string labelValue(const std::string& value) {
    std::string escaped;
    for (const char c : value) {
        if (c == '\\' || c == '"') {
            escaped += '\\';
            escaped += c;
        } else if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

// The shortest text that reads back as `value`: a Unix time keeps its milliseconds.
std::string number(double value) {
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, written.ptr);
}

void metric(std::string& out, const char* name, const char* type, const char* help,
            const std::vector<std::pair<std::string, double>>& samples) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
    for (const auto& [labels, value] : samples) {
        out += name + labels + " " + number(value) + "\n";
    }
}

} // namespace

struct BeaconApi::Route {
    const char* path; // exact; one ending in '/' takes what follows as a name
    bool post;        // a command (POST); the rest are read (GET, HEAD)
    HttpResponse (BeaconApi::*serve)(const HttpRequest&) const;
};

const BeaconApi::Route BeaconApi::kRoutes[] = {
    {"/api/status", false, &BeaconApi::status}, {"/api/next", false, &BeaconApi::next},
    {"/api/log", false, &BeaconApi::logTail},   {kPicturePrefix, false, &BeaconApi::picture},
    {"/metrics", false, &BeaconApi::metrics},   {"/api/pause", true, &BeaconApi::pause},
    {"/api/resume", true, &BeaconApi::resume},  {"/api/skip", true, &BeaconApi::skip},
    {"/api/stop", true, &BeaconApi::stop},
};

std::vector<PageFile> builtInPage() {
    struct File {
        const char* path;
        const char* resource;
        const char* type;
    };
    static const File kFiles[] = {
        {"/", ":/web/index.html", "text/html; charset=utf-8"},
        {"/page.css", ":/web/page.css", "text/css; charset=utf-8"},
        {"/page.js", ":/web/page.js", "text/javascript; charset=utf-8"},
    };
    std::vector<PageFile> page;
    for (const File& f : kFiles) {
        QFile file(f.resource);
        if (file.open(QIODevice::ReadOnly)) {
            page.push_back({f.path, f.type, file.readAll().toStdString()});
        }
    }
    return page;
}

BeaconApi::BeaconApi(ApiSources sources, std::vector<PageFile> page)
    : sources_(std::move(sources)), page_(std::move(page)) {}

HttpResponse BeaconApi::handle(const HttpRequest& request) {
    HttpResponse response = error(404, "Not Found: " + request.path);
    const bool read = request.method == "GET" || request.method == "HEAD";
    const auto file = std::find_if(page_.begin(), page_.end(),
                                   [&](const PageFile& f) { return f.path == request.path; });
    const auto route = std::find_if(std::begin(kRoutes), std::end(kRoutes), [&](const Route& r) {
        const std::string path = r.path;
        return path.back() == '/' ? request.path.rfind(path, 0) == 0 : request.path == path;
    });
    const bool post = route != std::end(kRoutes) && route->post;
    if (file == page_.end() && route == std::end(kRoutes)) {
        // 404 as set
    } else if (post ? request.method != "POST" : !read) {
        response = error(405, "Method Not Allowed");
        response.headers.emplace_back("Allow", post ? "POST" : "GET, HEAD");
    } else if (sources_.token.empty() && !loopbackHost(request.host)) {
        response = error(403, "Forbidden: this beacon answers to its loopback address only");
    } else if (file != page_.end()) {
        response = {200, file->contentType, file->body, {{"Cache-Control", "no-cache"}}};
    } else if (std::optional<HttpResponse> refused = refuse(request, *route)) {
        response = std::move(*refused);
    } else {
        response = (this->*(route->serve))(request);
    }
    response.headers.emplace_back("X-Content-Type-Options", "nosniff");
    response.headers.emplace_back("Referrer-Policy", "no-referrer");
    response.headers.emplace_back("X-Frame-Options", "DENY");
    response.headers.emplace_back("Content-Security-Policy",
                                  "default-src 'self'; img-src 'self' blob:; "
                                  "frame-ancestors 'none'; form-action 'none'");
    return response;
}

std::optional<HttpResponse> BeaconApi::refuse(const HttpRequest& request,
                                              const Route& route) const {
    if (!sources_.token.empty() && !bearerMatches(request.authorization, sources_.token)) {
        HttpResponse response = error(401, "Unauthorized: send the beacon's token as "
                                           "\"Authorization: Bearer TOKEN\"");
        response.headers.emplace_back("WWW-Authenticate", "Bearer realm=\"vesk\"");
        return response;
    }
    // A page on another site may make the operator's browser post here; its Origin tells.
    if (route.post && request.hasOrigin && !sameText(request.origin, "http://" + request.host)) {
        return error(403, "Forbidden: a command from another site's page (Origin " +
                              request.origin + ")");
    }
    return std::nullopt;
}

HttpResponse BeaconApi::status(const HttpRequest&) const {
    const BeaconStatus s = sources_.board.read();
    const UtcNanoseconds now = sources_.clock.now();
    QJsonObject out{
        {"program", text(sources_.program)},
        {"mode", text(s.mode)},
        {"source", text(s.source)},
        {"now", utc(now)},
        {"startedAt", utc(s.startedAt)},
        {"state", text(stateOf(s))},
        {"ptt", text(pttLabel(s))},
        {"keyed", s.keyed},
        {"keyer", QJsonObject{{"missing", s.keyerMissing}, {"reason", text(s.keyerReason)}}},
        {"onAir", onAirJson(s)},
        {"cycles", static_cast<double>(s.cycles)},
        {"transmissions", static_cast<double>(s.transmissions)},
        {"underruns", static_cast<double>(s.underruns)},
        {"lastTransmission", lastJson(s, now)},
        {"faults", faultsJson(s.faults)},
        {"clock", clockJson(sources_.readClock())}};
    out.insert(
        "waiting",
        s.waiting == BeaconWait::None
            ? QJsonValue()
            : QJsonObject{{"for", s.waiting == BeaconWait::SoundOutput ? "sound output" : "keyer"},
                          {"reason", text(s.waitReason)},
                          {"since", utc(s.waitingSince)}});
    out.insert("paused", s.paused ? QJsonObject{{"by", text(s.pausedBy)}, {"at", utc(s.pausedAt)}}
                                  : QJsonValue());
    const std::vector<Transmission> first = upcoming(s, sources_.plan, sources_.seed, now, 1);
    out.insert("next", first.empty() ? QJsonValue() : transmissionJson(first.front()));
    QJsonArray problems;
    for (const ProblemNote& p : s.problems) {
        problems.append(
            QJsonObject{{"at", utc(p.at)}, {"kind", text(p.kind)}, {"message", text(p.message)}});
    }
    out.insert("problems", problems);
    return json(200, out);
}

HttpResponse BeaconApi::next(const HttpRequest&) const {
    const BeaconStatus s = sources_.board.read();
    QJsonArray list;
    for (const Transmission& t :
         upcoming(s, sources_.plan, sources_.seed, sources_.clock.now(), 10)) {
        list.append(transmissionJson(t));
    }
    return json(200, QJsonObject{{"paused", s.paused}, {"next", list}});
}

HttpResponse BeaconApi::logTail(const HttpRequest& request) const {
    const std::string given = request.argument("lines");
    int count = kDefaultLogLines;
    const char* last = given.data() + given.size();
    if (!given.empty() && (std::from_chars(given.data(), last, count).ptr != last || count < 1 ||
                           count > kMostLogLines)) {
        return error(400, "lines takes a whole number from 1 to " + std::to_string(kMostLogLines) +
                              ", not \"" + given + "\"");
    }
    QJsonArray lines;
    for (const std::string& line : lastLines(sources_.logPath, static_cast<std::size_t>(count))) {
        const std::size_t tab = line.find('\t');
        const std::string second = tab == std::string::npos
                                       ? std::string()
                                       : line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1);
        lines.append(QJsonObject{{"text", text(line)},
                                 {"time", text(line.substr(0, tab))},
                                 {"kind", second == "event" ? "event" : "transmission"}});
    }
    return json(200, QJsonObject{{"path", text(sources_.logPath)}, {"lines", lines}});
}

HttpResponse BeaconApi::picture(const HttpRequest& request) const {
    const std::string prefix = kPicturePrefix;
    const std::string suffix = kPictureSuffix;
    const std::string& path = request.path;
    if (path.size() <= prefix.size() + suffix.size() ||
        path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return error(404, "Not Found: " + path);
    }
    const std::string name =
        path.substr(prefix.size(), path.size() - prefix.size() - suffix.size());
    const std::optional<Result<std::vector<std::uint8_t>>> png = sources_.pictures.png(name);
    if (!png) {
        return error(404, "Not Found: no pattern named \"" + name + "\"");
    }
    if (!*png) {
        return error(500, (*png).message());
    }
    const std::vector<std::uint8_t>& bytes = **png;
    return {200,
            "image/png",
            std::string(bytes.begin(), bytes.end()),
            {{"Cache-Control", "private, max-age=3600"}}};
}

HttpResponse BeaconApi::metrics(const HttpRequest&) const {
    const BeaconStatus s = sources_.board.read();
    const UtcNanoseconds now = sources_.clock.now();
    const platform::ClockSyncReading clock = sources_.readClock();
    const FaultCounts& f = s.faults;
    std::string out;
    metric(out, "vesk_info", "gauge", "The beacon: its program, what it runs and from which file.",
           {{"{program=\"" + labelValue(sources_.program) + "\",mode=\"" + labelValue(s.mode) +
                 "\",source=\"" + labelValue(s.source) + "\"}",
             1}});
    metric(out, "vesk_start_time_seconds", "gauge", "When the beacon started (Unix time).",
           {{"", seconds(s.startedAt)}});
    metric(out, "vesk_transmissions_total", "counter", "Transmissions logged since the start.",
           {{"", static_cast<double>(s.transmissions)}});
    metric(out, "vesk_cycles_total", "counter",
           "Cycles (play) or transmissions (run) heard to their end since the start.",
           {{"", static_cast<double>(s.cycles)}});
    metric(out, "vesk_underruns_total", "counter",
           "Gaps in the sound of the cycles heard since the start.",
           {{"", static_cast<double>(s.underruns)}});
    metric(out, "vesk_faults_total", "counter", "Faults since the start, by kind.",
           {{"{kind=\"sound_output_wait\"}", static_cast<double>(f.soundWaits)},
            {"{kind=\"keyer_wait\"}", static_cast<double>(f.keyerWaits)},
            {"{kind=\"watchdog\"}", static_cast<double>(f.watchdog)},
            {"{kind=\"keying_failed\"}", static_cast<double>(f.keyingFailures)},
            {"{kind=\"output_open_failed\"}", static_cast<double>(f.openFailures)},
            {"{kind=\"transmission_lost\"}", static_cast<double>(f.lost)},
            {"{kind=\"log_failed\"}", static_cast<double>(f.logFailures)}});
    metric(out, "vesk_ptt_keyed", "gauge", "1 while the transmitter is keyed.",
           {{"", s.keyed ? 1.0 : 0.0}});
    metric(out, "vesk_keyer_missing", "gauge", "1 while the keyer chosen is missing.",
           {{"", s.keyerMissing ? 1.0 : 0.0}});
    metric(out, "vesk_beacon_on", "gauge",
           "1 while the beacon plays or waits to play again (run: a transmission under way).",
           {{"", s.on ? 1.0 : 0.0}});
    metric(out, "vesk_paused", "gauge", "1 while paused over HTTP.", {{"", s.paused ? 1.0 : 0.0}});
    metric(out, "vesk_waiting", "gauge", "1 while the beacon waits for a device, by device.",
           {{"{device=\"sound_output\"}", s.waiting == BeaconWait::SoundOutput ? 1.0 : 0.0},
            {"{device=\"keyer\"}", s.waiting == BeaconWait::Keyer ? 1.0 : 0.0}});
    metric(out, "vesk_seconds_since_last_transmission", "gauge",
           "Seconds since the last transmission was released (since the start while none was).",
           {{"", seconds(now - (s.last ? s.last->released : s.startedAt))}});
    metric(out, "vesk_clock_synchronised", "gauge",
           "1 while the kernel keeps the system clock synchronised within 100 ms.",
           {{"", plan::clockDistrust(clock).empty() ? 1.0 : 0.0}});
    metric(out, "vesk_clock_estimated_error_seconds", "gauge",
           "The kernel's estimate of the system clock's error.",
           {{"", static_cast<double>(clock.estimatedErrorUs) / 1e6}});
    return {200, "text/plain; version=0.0.4; charset=utf-8", out, {{"Cache-Control", "no-store"}}};
}

HttpResponse BeaconApi::command(const std::function<CommandOutcome()>& command) const {
    const CommandOutcome outcome = sources_.commands.run(command);
    return json(outcome.status,
                QJsonObject{{"state", text(outcome.state)}, {"message", text(outcome.message)}});
}

HttpResponse BeaconApi::pause(const HttpRequest& request) const {
    return command([this, from = request.client] { return sources_.control.pause(from); });
}

HttpResponse BeaconApi::resume(const HttpRequest& request) const {
    return command([this, from = request.client] { return sources_.control.resume(from); });
}

HttpResponse BeaconApi::skip(const HttpRequest& request) const {
    return command([this, from = request.client] { return sources_.control.skip(from); });
}

HttpResponse BeaconApi::stop(const HttpRequest& request) const {
    return command([this, from = request.client] { return sources_.control.stop(from); });
}

} // namespace vesk::web
