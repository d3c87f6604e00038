#include "platform/audio_out.h"

#include "platform/block_ring.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QMetaObject>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <optional>

// Threads: Qt 6.4's PulseAudio sink pulls in its own timer event on the thread that owns the
// QAudioSink (every ~20 ms, one 1764-byte period at a time), so readData runs on the owner's
// thread, between the owner's own calls. The ring therefore needs no lock. The price is the
// one the sound queue already has: while the owner's thread is busy nothing is pulled, and
// once the sink's own buffer (~66 ms) has played out the sound stops until it is free again.

namespace vesk::platform {

namespace {

// 256 blocks of the 256 bytes the sequencer writes: four times the 64 it keeps in flight.
constexpr std::size_t kRingBytes = 256 * 256;
constexpr std::size_t kRingBlocks = 256;
// The sink's own buffer in bytes (~93 ms at 88200 bytes/s; PulseAudio grants ~66 ms). Much less
// stalls Qt 6.4: it writes whole 20 ms periods and never reaches the server's start threshold.
constexpr qsizetype kSinkBufferBytes = 8192;
// How often the played position is compared with the queued blocks' ends, in ms.
constexpr int kDonePollMs = 3;
// How often the chosen device is looked for in the device list, in ms (Qt 6.4 does not always
// signal a device that goes away).
constexpr int kDevicePollMs = 250;

// The pull side of the sink: hands out the ring's stream, never fewer bytes than asked, so
// the sink never sees an end of data and never stops on its own.
class RingDevice final : public QIODevice {
public:
    explicit RingDevice(BlockRing& ring, QObject* parent) : QIODevice(parent), ring_(ring) {}

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        if (maxSize <= 0) {
            return 0;
        }
        ring_.pull(reinterpret_cast<std::uint8_t*>(data), static_cast<std::size_t>(maxSize));
        return maxSize;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    BlockRing& ring_;
};

std::optional<QAudioDevice> deviceAt(int index) {
    if (index == -1) {
        QAudioDevice device = QMediaDevices::defaultAudioOutput();
        return device.isNull() ? std::nullopt : std::optional<QAudioDevice>(device);
    }
    const QList<QAudioDevice> devices = QMediaDevices::audioOutputs();
    if (index < 0 || index >= devices.size()) {
        return std::nullopt;
    }
    return devices.at(index);
}

// Linear PCM, 16 bits, with a block alignment that matches the channels.
bool toQtFormat(const vesk::SoundFormat& format, QAudioFormat& out) {
    if (format.formatTag != 1 || format.bitsPerSample != 16 || format.channels == 0 ||
        format.samplesPerSec == 0 || format.blockAlign != format.channels * 2) {
        return false;
    }
    out.setSampleFormat(QAudioFormat::Int16);
    out.setChannelCount(format.channels);
    out.setSampleRate(static_cast<int>(format.samplesPerSec));
    return out.isValid();
}

class QtAudioOut final : public QObject, public AudioOut {
public:
    QtAudioOut() : ring_(kRingBytes, kRingBlocks) {
        donePoll_.setTimerType(Qt::PreciseTimer);
        donePoll_.setInterval(kDonePollMs);
        QObject::connect(&donePoll_, &QTimer::timeout, this, [this] { reportPlayed(); });
        devicePoll_.setInterval(kDevicePollMs);
        QObject::connect(&devicePoll_, &QTimer::timeout, this, [this] { checkDevice(); });
    }

    ~QtAudioOut() override {
        if (session_) {
            session_->muted = true;
        }
        shutDownSink();
    }

    bool open(int index, const vesk::SoundFormat& format, AudioListener listener) override {
        if (sink_ != nullptr) {
            return false;
        }
        QAudioFormat qtFormat;
        if (!toQtFormat(format, qtFormat)) {
            return false;
        }
        const std::optional<QAudioDevice> device = deviceAt(index);
        if (!device || !device->isFormatSupported(qtFormat)) {
            return false;
        }
        ring_.reset();
        playedBytes_ = 0;
        sinkUnderruns_ = 0;
        bytesPerSecond_ = qtFormat.bytesForDuration(1000000);
        frameBytes_ = static_cast<std::size_t>(qtFormat.bytesPerFrame());
        anyDevice_ = index == -1;
        deviceId_ = device->id();

        sink_ = new QAudioSink(*device, qtFormat);
        sink_->setBufferSize(kSinkBufferBytes);
        pullDevice_ = new RingDevice(ring_, sink_);
        // Unbuffered: QIODevice would otherwise read 16 KiB ahead into a buffer of its own and
        // the stream position of each block would no longer be what the sink has taken.
        pullDevice_->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        sink_->start(pullDevice_);
        if (sink_->error() != QAudio::NoError || sink_->state() == QAudio::StoppedState) {
            shutDownSink();
            return false;
        }
        QObject::connect(sink_, &QAudioSink::stateChanged, this,
                         [this](QAudio::State state) { sinkStateChanged(state); });
        // A Closed of the previous session still on its way reaches that session's listener.
        session_ = std::make_shared<Session>(Session{std::move(listener), false});
        devicePoll_.start();
        post(AudioEvent::Opened, 0);
        return true;
    }

    bool write(int block, const std::uint8_t* data, std::size_t size) override {
        if (sink_ == nullptr || size % frameBytes_ != 0) {
            return false;
        }
        if (!ring_.push(block, data, size)) {
            return false;
        }
        if (!donePoll_.isActive()) {
            donePoll_.start();
        }
        return true;
    }

    bool close() override {
        if (sink_ == nullptr) {
            return false;
        }
        reportPlayed();
        if (ring_.queuedBlocks() != 0) {
            return false;
        }
        shutDownSink();
        post(AudioEvent::Closed, 0);
        return true;
    }

    bool isOpen() const override { return sink_ != nullptr; }

    std::int64_t underruns() const override { return ring_.gaps() + sinkUnderruns_; }

private:
    // Delivery through the event loop, in the order posted. Events still on their way when
    // this object dies are dropped: their session is muted.
    void post(AudioEvent event, int block) {
        QMetaObject::invokeMethod(
            this,
            [session = session_, event, block] {
                if (!session->muted) {
                    session->listener(event, block);
                }
            },
            Qt::QueuedConnection);
    }

    // Reports, in write order, every block whose end the sink's clock has passed.
    void reportPlayed() {
        if (sink_ == nullptr) {
            return;
        }
        const qint64 usecs = sink_->processedUSecs();
        const std::int64_t played = std::max<std::int64_t>(
            playedBytes_, usecs * bytesPerSecond_ / 1000000 / static_cast<qint64>(frameBytes_) *
                              static_cast<qint64>(frameBytes_));
        playedBytes_ = played;
        int block = 0;
        while (ring_.popPlayed(played, block)) {
            post(AudioEvent::BlockDone, block);
        }
        if (ring_.queuedBlocks() == 0) {
            donePoll_.stop();
        }
    }

    void sinkStateChanged(QAudio::State state) {
        if (state == QAudio::IdleState) {
            // We never run out of data, so Idle means the server ran dry: the owner's thread
            // was too busy to let the sink pull.
            ++sinkUnderruns_;
        } else if (state == QAudio::StoppedState) {
            // Not our stop (that disconnects first): the server went away or failed the stream.
            lose();
        }
    }

    void checkDevice() {
        if (sink_ == nullptr) {
            return;
        }
        const QList<QAudioDevice> devices = QMediaDevices::audioOutputs();
        const bool present =
            anyDevice_ ? !devices.isEmpty()
                       : std::any_of(devices.begin(), devices.end(),
                                     [this](const QAudioDevice& d) { return d.id() == deviceId_; });
        if (!present || sink_->error() == QAudio::FatalError ||
            sink_->error() == QAudio::OpenError) {
            lose();
        }
    }

    void lose() {
        if (sink_ == nullptr) {
            return;
        }
        shutDownSink();
        post(AudioEvent::Lost, 0);
    }

    // Stops the sink, so that it no longer pulls from the ring, and hands it to the event loop
    // to destroy: Qt 6.4's PulseAudio sink runs the event loop inside its destructor, which
    // must not happen inside one of our calls (or inside the sink's own signals).
    void shutDownSink() {
        donePoll_.stop();
        devicePoll_.stop();
        if (sink_ == nullptr) {
            return;
        }
        QObject::disconnect(sink_, nullptr, this, nullptr);
        sink_->stop();
        pullDevice_->close(); // a closed device is never read again; it dies with the sink
        sink_->deleteLater();
        sink_ = nullptr;
        pullDevice_ = nullptr;
    }

    BlockRing ring_;
    QAudioSink* sink_ = nullptr;
    RingDevice* pullDevice_ = nullptr;
    QTimer donePoll_;
    QTimer devicePoll_;
    struct Session {
        AudioListener listener;
        bool muted = false;
    };
    std::shared_ptr<Session> session_;
    QByteArray deviceId_;
    bool anyDevice_ = false;
    qint64 bytesPerSecond_ = 0;
    std::size_t frameBytes_ = 2;
    std::int64_t playedBytes_ = 0;
    std::int64_t sinkUnderruns_ = 0;
};

} // namespace

std::vector<std::string> outputDevices() {
    std::vector<std::string> names;
    for (const QAudioDevice& device : QMediaDevices::audioOutputs()) {
        names.push_back(device.description().toStdString());
    }
    return names;
}

std::unique_ptr<AudioOut> makeAudioOut() {
    return std::make_unique<QtAudioOut>();
}

} // namespace vesk::platform
