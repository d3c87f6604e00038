// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio_out.h"

#include "platform/block_ring.h"
#include "platform/quiet_library.h"

#include <QMetaObject>
#include <QObject>
#include <QTimer>

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Threads: PortAudio calls the stream callback on its own audio thread. The callback only
// copies from the lock-free ring and publishes where its buffer will be played; everything
// else (writes, done reports, loss checks) runs on the owner's thread, polled by a timer.
//
// Time: PortAudio's stream time is the wall clock on ALSA (19.6 reads CLOCK_REALTIME), which
// a time-sync daemon may step. Only its differences within one callback are used (how long
// until the buffer is heard); when is measured on CLOCK_MONOTONIC, on both threads.

namespace vesk::platform {

namespace {

// The device's own buffer on top of the blocks the owner keeps queued, in seconds: it is what
// a stalled process (audio thread included) still has to play. A beacon does not care about
// latency: the PTT follows the played sample, not the written one.
constexpr double kDeviceBufferSeconds = 0.25;
// Room in the ring: far more than the owner ever keeps in flight (64 blocks plus the device
// buffer, about 150 blocks of 256 bytes).
constexpr std::size_t kRingBlocks = 1024;
constexpr std::size_t kRingBytes = kRingBlocks * 256;
// How far ahead of the converter the audio thread may read beyond the device buffer: one host
// period (ALSA's pulse device asks ~62 ms at a time) and its jitter, in seconds.
constexpr double kReadAheadSeconds = 0.1;
// How far ahead of the time that has passed the played position may be put, in seconds: the
// jitter of the audio thread's reports.
constexpr double kEstimateSlackSeconds = 0.01;
// How much faster than time an estimate that ran ahead is followed.
constexpr double kCatchUpPace = 1.1;
// The longest wait a callback may report until its buffer is heard, in seconds; more is a
// wall-clock step between PortAudio's two readings of it, and the device buffer is used.
constexpr double kLongestDacDelaySeconds = 5.0;
// How often the played position is compared with the queued blocks' ends and the stream is
// checked for a loss, in ms. Well inside the 60 ms the PTT release may follow the last sample
// and the 100 ms a lost device may take to be reported.
constexpr int kPollMs = 20;

// ALSA and JACK write their own diagnostics to stderr (every probe of an absent card, every
// try to reach an absent JACK server), and so does PortAudio (three lines "Expression ...
// failed in ... pa_linux_alsa.c" for every lost sound server); the operator reads this
// program's words instead.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
void quietJack(const char*) {}

// PortAudio is initialised once and re-initialised to see devices that came or went (a sound
// server restarted, a card plugged in); that is only allowed while no stream is open.
class Library {
public:
    static Library& instance() {
        static Library library;
        return library;
    }

    bool ready() {
        if (!initialised_) {
            initError_ = Pa_Initialize();
            initialised_ = initError_ == paNoError;
        }
        return initialised_;
    }

    // Why PortAudio last failed to start; paNoError once it has.
    PaError initError() const { return initError_; }

    // Re-reads the devices when no stream is open; false when PortAudio cannot start.
    bool refresh() {
        if (initialised_ && openStreams_ == 0) {
            Pa_Terminate();
            initialised_ = false;
        }
        return ready();
    }

    void streamOpened() { ++openStreams_; }
    void streamClosed() { --openStreams_; }

    // The output devices in PortAudio's order: index in the list -> PortAudio's device.
    std::vector<PaDeviceIndex> outputs() {
        std::vector<PaDeviceIndex> list;
        if (!ready()) {
            return list;
        }
        const PaDeviceIndex count = Pa_GetDeviceCount();
        for (PaDeviceIndex i = 0; i < count; ++i) {
            const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
            if (info != nullptr && info->maxOutputChannels > 0) {
                list.push_back(i);
            }
        }
        return list;
    }

    static std::string name(PaDeviceIndex device) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
        if (info == nullptr) {
            return {};
        }
        std::string text = info->name;
        const PaHostApiInfo* host = Pa_GetHostApiInfo(info->hostApi);
        if (host != nullptr && host->type != paALSA) {
            text += std::string(" (") + host->name + ")";
        }
        return text;
    }

private:
    Library() {
        snd_lib_error_set_handler(quietAlsa);
        jack_set_error_function(quietJack);
        jack_set_info_function(quietJack);
        // PortAudio has no hook for its messages in the build Debian ships (its log hook is
        // not exported): they are dropped at its own vfprintf import. The version record is
        // a static object of the library, so its address tells which library that is.
        dropLibraryStderr(Pa_GetVersionInfo());
    }

    bool initialised_ = false;
    PaError initError_ = paNoError;
    int openStreams_ = 0;
};

// Where the audio thread's latest buffer will be played: its first frame's stream position
// and the CLOCK_MONOTONIC time at which that frame reaches the converter. Written by the audio
// thread only, read by the owner; a sequence count tells the reader that it saw one whole pair.
class DacClock {
public:
    void publish(std::int64_t frame, double dacTime) {
        const std::uint32_t sequence = sequence_.load(std::memory_order_relaxed);
        sequence_.store(sequence + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        frame_.store(frame, std::memory_order_relaxed);
        dacTime_.store(dacTime, std::memory_order_relaxed);
        sequence_.store(sequence + 2, std::memory_order_release);
    }

    // False before the first buffer.
    bool read(std::int64_t& frame, double& dacTime) const {
        for (;;) {
            const std::uint32_t before = sequence_.load(std::memory_order_acquire);
            frame = frame_.load(std::memory_order_relaxed);
            dacTime = dacTime_.load(std::memory_order_relaxed);
            std::atomic_thread_fence(std::memory_order_acquire);
            if (before % 2 == 0 && before == sequence_.load(std::memory_order_relaxed)) {
                return before != 0;
            }
        }
    }

    void reset() {
        sequence_.store(0);
        frame_.store(0);
        dacTime_.store(0.0);
    }

private:
    std::atomic<std::uint32_t> sequence_{0};
    std::atomic<std::int64_t> frame_{0};
    std::atomic<double> dacTime_{0.0};
};

// CLOCK_MONOTONIC in seconds: read through the vDSO, no system call, so the audio thread may
// call it.
double monotonicSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

bool supportedFormat(const vesk::SoundFormat& format) {
    return format.formatTag == 1 && format.bitsPerSample == 16 && format.channels > 0 &&
           format.samplesPerSec > 0 && format.blockAlign == format.channels * 2;
}

// PortAudio's words for `error`. A host error carries the host's own text ("Device or resource
// busy" from ALSA), which says more than PortAudio's "Unanticipated host error".
std::string reasonText(PaError error) {
    if (error == paUnanticipatedHostError) {
        const PaHostErrorInfo* host = Pa_GetLastHostErrorInfo();
        if (host != nullptr && host->errorText != nullptr && host->errorText[0] != '\0') {
            return host->errorText;
        }
    }
    return Pa_GetErrorText(error);
}

class PortAudioOut final : public QObject, public AudioOut {
public:
    PortAudioOut() : ring_(kRingBytes, kRingBlocks) {
        poll_.setTimerType(Qt::PreciseTimer);
        poll_.setInterval(kPollMs);
        QObject::connect(&poll_, &QTimer::timeout, this, [this] { onPoll(); });
    }

    ~PortAudioOut() override {
        if (session_) {
            session_->muted = true;
        }
        closeStream();
    }

    Result<> open(int index, const vesk::SoundFormat& format, AudioListener listener) override {
        if (index < -1) {
            return fail("sound output " + std::to_string(index) + ": no such output");
        }
        if (stream_ != nullptr) {
            return fail("the sound output is already open");
        }
        Library& library = Library::instance();
        if (!library.ready()) {
            library.refresh();
        }
        // A sound server that went away and came back leaves PortAudio with devices that no
        // longer answer: start it afresh and try once more, asking for the same device by name.
        std::optional<std::string> wanted;
        if (index >= 0) {
            const std::vector<PaDeviceIndex> outputs = library.outputs();
            if (static_cast<std::size_t>(index) >= outputs.size()) {
                return fail("sound output " + std::to_string(index) + ": no such output");
            }
            wanted = Library::name(outputs[static_cast<std::size_t>(index)]);
        }
        const std::string name = wanted.value_or(kDefaultOutputName);
        if (!supportedFormat(format)) {
            return fail(name + ": " + Pa_GetErrorText(paSampleFormatNotSupported));
        }
        PaError error = openStream(wanted, format);
        if (error != paNoError) {
            error = library.refresh() ? openStream(wanted, format) : library.initError();
        }
        if (error != paNoError) {
            return fail(name + ": " + reasonText(error));
        }
        session_ = std::make_shared<Session>(Session{std::move(listener), false});
        opened_ = wanted;
        openedOnce_ = true;
        poll_.start();
        post({{AudioEvent::Opened, 0}});
        return {};
    }

    Result<> reopen(const vesk::SoundFormat& format, AudioListener listener) override {
        if (!openedOnce_) {
            return fail("no sound output was opened before");
        }
        if (stream_ != nullptr) {
            return fail("the sound output is already open");
        }
        // Whatever PortAudio knew of the devices may be stale: the server that came back may
        // number them afresh.
        Library& library = Library::instance();
        const std::string name = opened_.value_or(kDefaultOutputName);
        if (!library.refresh()) {
            return fail(name + ": " + reasonText(library.initError()));
        }
        if (const PaError error = openStream(opened_, format); error != paNoError) {
            return fail(name + ": " + reasonText(error));
        }
        session_ = std::make_shared<Session>(Session{std::move(listener), false});
        poll_.start();
        post({{AudioEvent::Opened, 0}});
        return {};
    }

    bool write(int block, const std::uint8_t* data, std::size_t size) override {
        if (stream_ == nullptr || size % frameBytes_ != 0) {
            return false;
        }
        return ring_.push(block, data, size);
    }

    bool close() override {
        // Blocks not yet reported played are reported by the poll, which the owner answers
        // with another close.
        if (stream_ == nullptr || ring_.queuedBlocks() != 0) {
            return false;
        }
        closeStream();
        post({{AudioEvent::Closed, 0}});
        return true;
    }

    bool isOpen() const override { return stream_ != nullptr; }

    std::int64_t underruns() const override {
        return ring_.gaps() + underflows_.load(std::memory_order_relaxed);
    }

    std::int64_t latencySamples() const override { return latencyFrames_; }

    std::int64_t playedPosition() const override {
        std::int64_t frame = 0;
        double dacTime = 0.0;
        if (stream_ == nullptr || !dac_.read(frame, dacTime)) {
            return -1;
        }
        return estimatePlayed(monotonicSeconds(), frame, dacTime);
    }

private:
    struct Session {
        AudioListener listener;
        bool muted = false;
    };
    using Events = std::vector<std::pair<AudioEvent, int>>;

    // Opens the stream on the output named `wanted` (none: the default); PortAudio's error.
    PaError openStream(const std::optional<std::string>& wanted, const vesk::SoundFormat& format) {
        PaDeviceIndex device = paNoDevice;
        if (!wanted) {
            device = Pa_GetDefaultOutputDevice();
        } else {
            for (const PaDeviceIndex candidate : Library::instance().outputs()) {
                if (Library::name(candidate) == *wanted) {
                    device = candidate;
                    break;
                }
            }
        }
        if (device == paNoDevice) {
            return paDeviceUnavailable;
        }
        PaStreamParameters parameters{};
        parameters.device = device;
        parameters.channelCount = format.channels;
        parameters.sampleFormat = paInt16;
        parameters.suggestedLatency = kDeviceBufferSeconds;
        const double rate = static_cast<double>(format.samplesPerSec);
        if (const PaError supported = Pa_IsFormatSupported(nullptr, &parameters, rate);
            supported != paFormatIsSupported) {
            return supported;
        }
        ring_.reset();
        dac_.reset();
        underflows_.store(0);
        flowing_ = false;
        playedFrames_ = 0;
        anchorTime_ = 0.0;
        anchorFrames_ = 0;
        frameBytes_ = static_cast<std::size_t>(format.blockAlign);
        rate_ = rate;
        PaStream* stream = nullptr;
        if (const PaError opened =
                Pa_OpenStream(&stream, nullptr, &parameters, rate, paFramesPerBufferUnspecified,
                              paClipOff, &PortAudioOut::callback, this);
            opened != paNoError) {
            return opened;
        }
        Library::instance().streamOpened();
        stream_ = stream;
        const PaStreamInfo* info = Pa_GetStreamInfo(stream);
        const double deviceBuffer = info != nullptr ? info->outputLatency : kDeviceBufferSeconds;
        deviceFrames_ = std::llround(deviceBuffer * rate);
        // The audio thread fills the device buffer from the queue as soon as there is room, so
        // it reads a device buffer (and a period) ahead of the converter; a stall of the owner
        // is covered only by what is queued beyond that.
        latencyFrames_ = std::llround((2 * deviceBuffer + kReadAheadSeconds) * rate);
        started_ = false;
        return paNoError;
    }

    // The audio thread: copy, count, publish. No lock, no allocation, no system call.
    static int callback(const void*, void* output, unsigned long frames,
                        const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags flags,
                        void* user) {
        auto* self = static_cast<PortAudioOut*>(user);
        const std::int64_t firstFrame =
            self->ring_.streamBytes() / static_cast<std::int64_t>(self->frameBytes_);
        self->ring_.pull(static_cast<std::uint8_t*>(output), frames * self->frameBytes_);
        if ((flags & paOutputUnderflow) != 0) {
            self->underflows_.fetch_add(1, std::memory_order_relaxed);
        }
        // Some host APIs leave the converter time at 0: then the buffer is heard one device
        // latency after now. The wait is moved onto the monotonic clock as read now.
        const double deviceDelay = static_cast<double>(self->deviceFrames_) / self->rate_;
        double delay = time->outputBufferDacTime - time->currentTime;
        if (time->outputBufferDacTime <= 0.0 || delay < 0.0 || delay > kLongestDacDelaySeconds) {
            delay = deviceDelay;
        }
        // The first callbacks fill the device buffer at once; the device may then wait before
        // it plays (a sound server's sink that has rendered ahead holds a new stream back by
        // up to its own latency, which the delay reported now does not include). Only a
        // callback beyond that buffer shows that the device has played, and only from then on
        // does the played position move.
        if (!self->flowing_ &&
            firstFrame > self->deviceFrames_ + static_cast<std::int64_t>(frames / 2)) {
            self->flowing_ = true;
        }
        if (self->flowing_) {
            self->dac_.publish(firstFrame, monotonicSeconds() + delay);
        }
        return paContinue;
    }

    // Delivery through the event loop, in the order posted. Events still on their way when
    // this object dies or the session is forgotten are dropped: their session is muted.
    void post(Events events) {
        QMetaObject::invokeMethod(
            this,
            [session = session_, events = std::move(events)] {
                for (const auto& [event, block] : events) {
                    if (session->muted) {
                        return;
                    }
                    session->listener(event, block);
                }
            },
            Qt::QueuedConnection);
    }

    void onPoll() {
        if (stream_ == nullptr) {
            return;
        }
        // The stream starts once the owner has queued its first blocks (in answer to Opened),
        // so that the audio thread never starts on a queue that is still being filled.
        if (!started_) {
            if (ring_.queuedBlocks() == 0) {
                return;
            }
            started_ = true;
            if (Pa_StartStream(stream_) != paNoError) {
                closeStream();
                post({{AudioEvent::Lost, 0}});
                return;
            }
        }
        // The stream stops on its own only when the device failed or went away.
        if (Pa_IsStreamActive(stream_) != 1) {
            closeStream();
            post({{AudioEvent::Lost, 0}});
            return;
        }
        reportPlayed();
    }

    // Reports, in write order, every block whose last frame the converter has reached. Only
    // from the poll: never inside one of the owner's calls.
    void reportPlayed() {
        std::int64_t frame = 0;
        double dacTime = 0.0;
        if (stream_ == nullptr || !dac_.read(frame, dacTime)) {
            return;
        }
        const double now = monotonicSeconds();
        const std::int64_t estimate = estimatePlayed(now, frame, dacTime);
        // A device position within the converter's pace becomes the new anchor.
        const std::int64_t atDac = dacPosition(now, frame, dacTime);
        if (anchorTime_ <= 0.0 || atDac <= fastestPlayed(now)) {
            anchorTime_ = now;
            anchorFrames_ = atDac;
        }
        playedFrames_ = estimate;
        // Handed over straight from the poll, which is the event loop's own call: a hop
        // through the queue would only wake the loop once more.
        const std::shared_ptr<Session> session = session_;
        int block = 0;
        while (session == session_ && !session->muted &&
               ring_.popPlayed(playedFrames_ * static_cast<std::int64_t>(frameBytes_), block)) {
            session->listener(AudioEvent::BlockDone, block);
        }
    }

    // The device's own word: the buffer's first frame plus the time since it was due (times
    // on CLOCK_MONOTONIC, in seconds).
    std::int64_t dacPosition(double now, std::int64_t frame, double dacTime) const {
        return frame + static_cast<std::int64_t>(std::floor((now - dacTime) * rate_));
    }

    // The furthest the converter can have got by monotonic time `now`, judged from the anchor.
    std::int64_t fastestPlayed(double now) const {
        return anchorFrames_ +
               static_cast<std::int64_t>(
                   ((now - anchorTime_) * kCatchUpPace + kEstimateSlackSeconds) * rate_);
    }

    // Where the converter is at monotonic time `now`, from the audio thread's latest buffer. It
    // plays no faster than time passes: a device delay that is stale for a moment (the sound
    // server's latency report after the process was held up) must not report blocks as
    // played that are still to come, which would key early or release before the last
    // sample. An estimate beyond that pace is followed a little faster than time, in case it
    // was right after all; none goes back or past what the audio thread has taken.
    std::int64_t estimatePlayed(double now, std::int64_t frame, double dacTime) const {
        const auto pulledFrames = ring_.streamBytes() / static_cast<std::int64_t>(frameBytes_);
        std::int64_t estimate = dacPosition(now, frame, dacTime);
        if (anchorTime_ > 0.0) {
            estimate = std::min(estimate, fastestPlayed(now));
        }
        return std::clamp(estimate, playedFrames_, std::max(playedFrames_, pulledFrames));
    }

    void closeStream() {
        poll_.stop();
        if (stream_ == nullptr) {
            return;
        }
        // Abort, not stop: a stopped stream would play out the device buffer first, and
        // everything in it has been reported played or belongs to a session that is over.
        Pa_AbortStream(stream_);
        Pa_CloseStream(stream_);
        Library::instance().streamClosed();
        stream_ = nullptr;
    }

    BlockRing ring_;
    DacClock dac_;
    std::atomic<std::int64_t> underflows_{0};
    bool flowing_ = false; // the audio thread's own: the device has played beyond its buffer
    PaStream* stream_ = nullptr;
    bool started_ = false;
    QTimer poll_;
    std::shared_ptr<Session> session_;
    // The output of the last successful open, by name (none: the default), for reopen().
    std::optional<std::string> opened_;
    bool openedOnce_ = false;
    std::size_t frameBytes_ = 2;
    double rate_ = 44100.0;
    std::int64_t latencyFrames_ = 0;
    std::int64_t deviceFrames_ = 0;
    std::int64_t playedFrames_ = 0;
    // The last estimate made within the converter's pace; time 0 before the first.
    double anchorTime_ = 0.0;
    std::int64_t anchorFrames_ = 0;
};

} // namespace

std::vector<std::string> outputDevices() {
    Library& library = Library::instance();
    library.refresh();
    std::vector<std::string> names;
    for (const PaDeviceIndex device : library.outputs()) {
        names.push_back(Library::name(device));
    }
    return names;
}

std::unique_ptr<AudioOut> makeAudioOut() {
    return std::make_unique<PortAudioOut>();
}

} // namespace vesk::platform
