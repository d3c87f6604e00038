// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/cat/cat_rig.h"

#include "devices/dial.h"

#include <hamlib/rig.h>

#include <algorithm>
#include <clocale>
#include <cmath>

namespace vesk {

namespace {

// Hamlib's sentence for an error code, without its line end.
std::string hamlibReason(int code) {
    std::string reason = rigerror2(code);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) {
        reason.pop_back();
    }
    return reason;
}

int setConf(RIG* rig, const char* name, const std::string& value) {
    return rig_set_conf(rig, rig_token_lookup(rig, name), value.c_str());
}

// Hamlib switches LC_NUMERIC to "C" around some of its work and then back to the name it read
// before, through a pointer that its own switch has freed unless the locale was "C" already.
// Its calls are made with LC_NUMERIC at "C"; the program's own setting comes back afterwards.
class NumericLocaleC {
public:
    NumericLocaleC() {
        if (const char* name = std::setlocale(LC_NUMERIC, nullptr)) {
            saved_ = name;
        }
        std::setlocale(LC_NUMERIC, "C");
    }
    ~NumericLocaleC() {
        if (!saved_.empty()) {
            std::setlocale(LC_NUMERIC, saved_.c_str());
        }
    }
    NumericLocaleC(const NumericLocaleC&) = delete;
    NumericLocaleC& operator=(const NumericLocaleC&) = delete;

private:
    std::string saved_;
};

} // namespace

CatRig::~CatRig() {
    close();
}

Result<> CatRig::open(const RigAddress& address, bool keying) {
    close();
    const NumericLocaleC numeric;
    // Hamlib's trace goes to stderr unless told otherwise; its reasons still reach rigerror2.
    rig_set_debug(RIG_DEBUG_NONE);
    RIG* rig = address.model > 0 ? rig_init(static_cast<rig_model_t>(address.model)) : nullptr;
    if (rig == nullptr) {
        return fail("rig model " + std::to_string(address.model) + ": unknown to Hamlib");
    }
    rig_ = rig;
    name_ = std::string(rig->caps->mfg_name) + " " + rig->caps->model_name;
    if (!address.device.empty()) {
        name_ += " at " + address.device;
    }
    // Without a device Hamlib would open its built-in default, the first serial port: some
    // other equipment, or the console.
    if (address.device.empty() && rig->caps->port_type == RIG_PORT_SERIAL) {
        const Result<> refused = fail(name_ + ": no serial device given");
        close();
        return refused;
    }
    struct Setting {
        const char* token;
        std::string value;
        const char* what;
    };
    const Setting settings[] = {
        {"rig_pathname", address.device, "cannot use the device"},
        {"serial_speed", address.speed > 0 ? std::to_string(address.speed) : "",
         "cannot set the speed"},
        {"ptt_type", keying ? "RIG" : "", "cannot key by CAT command"},
        // A rig that does not answer holds up the window: Hamlib's own timeouts and retries
        // (seconds on some models) are cut to 0.3 s and no retry per command.
        {"timeout", "300", "cannot set the timeout"},
        {"retry", "0", "cannot set the retries"},
    };
    for (const Setting& setting : settings) {
        if (setting.value.empty()) {
            continue;
        }
        if (const int code = setConf(rig, setting.token, setting.value); code != RIG_OK) {
            const Result<> failed = failure(setting.what, code);
            close();
            return failed;
        }
    }
    if (const int code = rig_open(rig); code != RIG_OK) {
        const Result<> failed = failure("cannot open", code);
        close();
        return failed;
    }
    // Hamlib answers from a cache for a while; the PTT state must come from the rig.
    rig_set_cache_timeout_ms(rig, HAMLIB_CACHE_ALL, 0);
    return {};
}

void CatRig::close() {
    if (rig_ == nullptr) {
        return;
    }
    const NumericLocaleC numeric;
    // rig_close refuses a rig that never opened; the cleanup frees either.
    rig_close(rig_);
    rig_cleanup(rig_);
    rig_ = nullptr;
}

Result<> CatRig::setPtt(bool keyed) {
    if (rig_ == nullptr) {
        return fail("the rig is not open");
    }
    const NumericLocaleC numeric;
    const int code = rig_set_ptt(rig_, RIG_VFO_CURR, keyed ? RIG_PTT_ON : RIG_PTT_OFF);
    return code == RIG_OK ? Result<>() : failure(keyed ? "cannot key" : "cannot release", code);
}

std::optional<bool> CatRig::ptt() const {
    ptt_t state = RIG_PTT_OFF;
    const NumericLocaleC numeric;
    if (rig_ == nullptr || rig_get_ptt(rig_, RIG_VFO_CURR, &state) != RIG_OK) {
        return std::nullopt;
    }
    return state != RIG_PTT_OFF;
}

Result<> CatRig::setFrequency(std::int64_t hertz) {
    if (rig_ == nullptr) {
        return fail("the rig is not open");
    }
    const NumericLocaleC numeric;
    const int code = rig_set_freq(rig_, RIG_VFO_CURR, static_cast<freq_t>(hertz));
    return code == RIG_OK
               ? Result<>()
               : failure("cannot set the frequency to " + std::to_string(hertz) + " Hz", code);
}

Result<std::int64_t> CatRig::frequency() const {
    if (rig_ == nullptr) {
        return fail("the rig is not open");
    }
    const NumericLocaleC numeric;
    freq_t hertz = 0;
    if (const int code = rig_get_freq(rig_, RIG_VFO_CURR, &hertz); code != RIG_OK) {
        return failure("cannot read the frequency", code).failure();
    }
    return static_cast<std::int64_t>(std::llround(hertz));
}

Result<> CatRig::setMode(const std::string& mode) {
    if (rig_ == nullptr) {
        return fail("the rig is not open");
    }
    const rmode_t parsed = rig_parse_mode(mode.c_str());
    if (parsed == RIG_MODE_NONE) {
        return fail(name_ + ": no mode \"" + mode + "\"");
    }
    const NumericLocaleC numeric;
    const int code = rig_set_mode(rig_, RIG_VFO_CURR, parsed, RIG_PASSBAND_NOCHANGE);
    return code == RIG_OK ? Result<>() : failure("cannot set the mode to " + mode, code);
}

Result<std::string> CatRig::mode() const {
    if (rig_ == nullptr) {
        return fail("the rig is not open");
    }
    const NumericLocaleC numeric;
    rmode_t mode = RIG_MODE_NONE;
    pbwidth_t width = 0;
    if (const int code = rig_get_mode(rig_, RIG_VFO_CURR, &mode, &width); code != RIG_OK) {
        return failure("cannot read the mode", code).failure();
    }
    // By the name the mode was set with: Hamlib prints some of its modes under other names
    // than it parses ("FM-D" for PKTFM).
    const std::string names = dialModeList();
    for (std::size_t at = 0; at < names.size();) {
        const std::size_t end = std::min(names.find(' ', at), names.size());
        const std::string name = names.substr(at, end - at);
        if (rig_parse_mode(name.c_str()) == mode) {
            return name;
        }
        at = end + 1;
    }
    return std::string(rig_strrmode(mode));
}

Result<> CatRig::failure(const std::string& what, int code) const {
    return fail(name_ + ": " + what + ": " + hamlibReason(code));
}

} // namespace vesk
