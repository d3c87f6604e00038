// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "devices/ptt.h"
#include "platform/result.h"
#include "tone/clock_timing.h"
#include "tone/sequencer.h"

#include <cstdint>
#include <functional>
#include <string>

namespace vesk {

// Where the log goes unless told otherwise: $XDG_STATE_HOME/vesk/transmissions.log, with
// ~/.local/state when XDG_STATE_HOME is unset or not absolute. Empty without a home.
std::string defaultTransmissionLogPath();

// One transmission: the time the PTT was keyed and released (UTC), which pattern, how it was
// keyed and how many gaps the sound had while it was keyed.
struct TransmissionRecord {
    long cycle = 0; // the cycle keyed, 1 for the first after Turn On
    UtcNanoseconds keyed = 0;
    UtcNanoseconds released = 0;
    std::string pattern; // the pattern file's path as given, or "(unsaved pattern)"
    std::string ptt;     // describePttChoice
    std::int64_t underruns = 0;
    // The PTT stayed keyed into the next cycle (a gap too short to release): `released` is
    // then the end of this cycle, and the next record starts there.
    bool keptKeyed = false;
    std::string entry;            // a plan's transmission: its entry's name; empty otherwise
    std::int64_t frequencyHz = 0; // the dial frequency the entry set, in Hz; 0 for none
};

// What the records of the next transmissions name besides their times.
struct TransmissionLabel {
    std::string pattern;          // TransmissionRecord::pattern
    std::string entry;            // TransmissionRecord::entry
    std::int64_t frequencyHz = 0; // TransmissionRecord::frequencyHz
};

// The record as one line without its newline, fields apart by a tab:
// "2026-12-07T05:30:00.012Z<TAB>2026-12-07T05:31:00.250Z<TAB>cycle 1<TAB>/home/op/b.txt<TAB>
//  DTR+RTS on COM 3<TAB>0 underruns". Times to the millisecond. A plan's transmission adds
// two fields: "<TAB>wspr-20m<TAB>14095600 Hz" ("-" for no frequency).
std::string transmissionLine(const TransmissionRecord& record);

// What befell the beacon besides transmissions, as one line without its newline:
// "2026-12-07T05:30:00.012Z<TAB>event<TAB>waiting for the sound output: ...". The second field
// tells it from a transmission's line, whose second field is a time.
std::string eventLine(UtcNanoseconds time, const std::string& text);

// "2026-12-07T05:30:00.012Z" for `time`.
std::string formatUtcMilliseconds(UtcNanoseconds time);

// The log file: opened for appending (its folder made when missing), each line written with
// one write() as it comes, so that a reader or a crash never sees half of one. A line that
// does not fit (a full disk, a file size limit) is cut off again: the file holds whole lines
// only. Opening it makes SIGXFSZ ignored, so that a size limit fails a write instead of
// ending the program.
class TransmissionLogFile {
public:
    TransmissionLogFile() = default;
    TransmissionLogFile(const TransmissionLogFile&) = delete;
    TransmissionLogFile& operator=(const TransmissionLogFile&) = delete;
    ~TransmissionLogFile();

    // "Cannot open the transmission log <path>: <reason>" on failure. Only a regular file (or
    // none yet) is taken: a pipe, a device or a socket is refused without waiting or opening it.
    Result<> open(const std::string& path);
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }
    // Appends `line` and a line feed, whole or not at all: "Cannot write to the transmission
    // log <path>: <reason>" when it did not go in.
    Result<> append(const std::string& line);

private:
    int fd_ = -1;
    std::string path_;
};

// Stands between the sequencer and the PTT: keys and releases through it, stamps both on the
// wall clock, and hands a record to `sink` at each release that ended a keying (none when the
// keying failed and nothing was keyed).
class TransmissionLogger : public Transmitter {
public:
    TransmissionLogger(Ptt& ptt, std::function<void(const TransmissionRecord&)> sink,
                       const WallClock& clock = systemWallClock());

    // What the next records name; set before Turn On.
    void setPattern(std::string pattern) { label_.pattern = std::move(pattern); }
    void setLabel(TransmissionLabel label) { label_ = std::move(label); }
    void setPttDescription(std::string ptt) { pttText_ = std::move(ptt); }
    // The sound output's gap count so far (AudioOut::underruns).
    void setUnderrunCounter(std::function<std::int64_t()> counter) {
        underruns_ = std::move(counter);
    }
    // The next transmission is cycle 1 again (call at Turn On).
    void restartCycles() { cycle_ = 0; }
    // The next transmission is cycle `heard` + 1 (a beacon that plays on after a wait).
    void continueCycles(long heard) { cycle_ = heard; }

    void pttOn() override;
    void pttOff() override;
    // Cycle `cycle` has been heard to its end (SequencerView::cyclePlayed). A keying of that
    // cycle still on record has run on into the next one: its record ends here as kept keyed,
    // and the next cycle's record starts here.
    void cycleEnded(long cycle);
    // For a way out that releases the PTT directly (Ptt::shutdown): a keying still on record
    // ends now and goes to the sink.
    void endOpenTransmission();

private:
    // A record opens: keyed at `keyed`, the next cycle number.
    void begin(UtcNanoseconds keyed);

    Ptt& ptt_;
    std::function<void(const TransmissionRecord&)> sink_;
    const WallClock& clock_;
    std::function<std::int64_t()> underruns_;
    TransmissionLabel label_;
    std::string pttText_;
    long cycle_ = 0;
    bool open_ = false; // a keying is on record and not yet released
    TransmissionRecord current_;
    std::int64_t underrunsAtKey_ = 0;
};

} // namespace vesk
