// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/fake_audio_out.h"

#include <algorithm>
#include <string>
#include <utility>

namespace vesk::platform {

Result<> FakeAudioOut::open(int index, const vesk::SoundFormat& format, AudioListener listener) {
    ++openAttempts_;
    lastDevice_ = index;
    lastFormat_ = format;
    if (open_) {
        violation("open while the device is open");
        return fail("the sound output is already open");
    }
    // What a real output refuses: no such device, or samples other than 16-bit linear PCM.
    const std::string name =
        index == -1 ? kDefaultOutputName : "sound output " + std::to_string(index);
    if (index < -1) {
        return fail(name + ": no such output");
    }
    if (format.formatTag != 1 || format.bitsPerSample != 16 || format.channels == 0 ||
        format.blockAlign != format.channels * 2) {
        return fail(name + ": Sample format not supported");
    }
    if (!openFailure_.empty()) {
        return fail(name + ": " + openFailure_);
    }
    open_ = true;
    openedDevice_ = index;
    lost_ = false;
    openedDelivered_ = false;
    streamStarted_ = false;
    starved_ = false;
    underruns_ = 0;
    playedAtOpen_ = static_cast<std::int64_t>(played_.size());
    ++session_;
    listener_ = std::make_shared<AudioListener>(std::move(listener));
    queue_.clear();
    unreported_.clear();
    post(AudioEvent::Opened, 0);
    return {};
}

Result<> FakeAudioOut::reopen(const vesk::SoundFormat& format, AudioListener listener) {
    if (!openedDevice_) {
        ++openAttempts_;
        return fail("no sound output was opened before");
    }
    return open(*openedDevice_, format, std::move(listener));
}

bool FakeAudioOut::write(int block, const std::uint8_t* data, std::size_t size) {
    if (lost_) {
        // The caller cannot know before Lost arrives: a refusal, not a breach.
        return false;
    }
    if (!open_) {
        violation("write of block " + std::to_string(block) + " while the device is closed");
        return false;
    }
    if (!openedDelivered_) {
        violation("write of block " + std::to_string(block) + " before Opened was delivered");
    }
    if (unreported_.count(block) != 0) {
        violation("write of block " + std::to_string(block) + " before it was reported done");
    }
    if (size % 2 != 0 || size == 0) {
        violation("write of block " + std::to_string(block) + " with " + std::to_string(size) +
                  " bytes, not a whole number of samples");
        return false;
    }
    Block queued;
    queued.id = block;
    queued.samples.resize(size / 2);
    for (std::size_t j = 0; j < queued.samples.size(); ++j) {
        const auto value = static_cast<std::uint16_t>(data[2 * j] | (data[2 * j + 1] << 8));
        queued.samples[j] = static_cast<std::int16_t>(value);
    }
    written_.insert(written_.end(), queued.samples.begin(), queued.samples.end());
    unreported_.insert(block);
    queue_.push_back(std::move(queued));
    streamStarted_ = true;
    if (starved_) {
        ++underruns_;
        starved_ = false;
    }
    return true;
}

bool FakeAudioOut::close() {
    ++closeAttempts_;
    if (lost_) {
        return false; // already closed by the loss, which the caller may not have heard of yet
    }
    if (!open_) {
        violation("close while the device is closed");
        return false;
    }
    if (!queue_.empty()) {
        return false;
    }
    open_ = false;
    post(AudioEvent::Closed, 0);
    return true;
}

void FakeAudioOut::advance(std::int64_t samples) {
    if (!open_) {
        return;
    }
    while (samples > 0) {
        if (queue_.empty()) {
            if (streamStarted_) {
                underrun_ += samples;
                starved_ = true;
            }
            return;
        }
        Block& front = queue_.front();
        const auto left = static_cast<std::int64_t>(front.samples.size() - front.next);
        const std::int64_t take = std::min(left, samples);
        const auto from = front.samples.begin() + static_cast<std::ptrdiff_t>(front.next);
        played_.insert(played_.end(), from, from + static_cast<std::ptrdiff_t>(take));
        front.next += static_cast<std::size_t>(take);
        samples -= take;
        if (front.next == front.samples.size()) {
            post(AudioEvent::BlockDone, front.id);
            queue_.pop_front();
        }
    }
}

int FakeAudioOut::deliver() {
    int delivered = 0;
    while (!events_.empty()) {
        Event next = std::move(events_.front());
        events_.pop_front();
        if (next.session == session_) {
            if (next.event == AudioEvent::Opened) {
                openedDelivered_ = true;
            } else if (next.event == AudioEvent::BlockDone) {
                unreported_.erase(next.block);
            }
        }
        ++delivered;
        if (next.listener && *next.listener) {
            (*next.listener)(next.event, next.block);
        }
    }
    return delivered;
}

void FakeAudioOut::loseDevice() {
    endByItself(AudioEvent::Lost);
}

void FakeAudioOut::closeByItself() {
    endByItself(AudioEvent::Closed);
}

void FakeAudioOut::endByItself(AudioEvent event) {
    if (!open_) {
        return;
    }
    open_ = false;
    lost_ = true;
    queue_.clear();
    unreported_.clear();
    post(event, 0);
}

void FakeAudioOut::post(AudioEvent event, int block) {
    events_.push_back(Event{listener_, event, block, session_});
}

void FakeAudioOut::violation(std::string text) {
    violations_.push_back(std::move(text));
}

} // namespace vesk::platform
