// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/audio_out.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vesk::platform {

// An audio output on a clock the caller moves. Nothing plays until advance(); notifications
// wait in a queue until deliver(), as they would in the owner's event loop. It checks the
// caller's side of the AudioOut contract and records every breach instead of failing.
class FakeAudioOut : public AudioOut {
public:
    Result<> open(int index, const vesk::SoundFormat& format, AudioListener listener) override;
    // The index of the last successful open again: the fake's outputs keep their numbers.
    Result<> reopen(const vesk::SoundFormat& format, AudioListener listener) override;
    bool write(int block, const std::uint8_t* data, std::size_t size) override;
    bool close() override;
    bool isOpen() const override { return open_; }

    // Plays `samples` samples (44100 per second): queued blocks in write order, each reported
    // done when its last sample has played; silence when the queue is empty. The clock stands
    // still while the device is closed or lost.
    void advance(std::int64_t samples);
    // Hands every waiting notification to its listener, including those the listener's own
    // calls cause; returns how many were handed over.
    int deliver();
    // The device buffer the output claims to have, in samples (0 unless set).
    void setLatencySamples(std::int64_t samples) { latency_ = samples; }
    std::int64_t latencySamples() const override { return latency_; }
    // Samples of blocks played since the last open.
    std::int64_t playedPosition() const override {
        return static_cast<std::int64_t>(played_.size()) - playedAtOpen_;
    }
    // Makes every following open() fail with `reason` after the output's name, as a sound
    // system would ("Device unavailable"); empty: opens succeed again.
    void setOpenFailure(std::string reason) { openFailure_ = std::move(reason); }
    // The device goes away: it is closed, queued blocks are dropped unplayed, Lost is
    // reported after the blocks already played, and no Closed follows.
    void loseDevice();
    // The output ends the stream on its own while open, as a sound server may: queued blocks
    // are dropped and Closed is reported unasked.
    void closeByItself();
    // Gaps since the last open: the queue ran empty while playing and more blocks followed.
    std::int64_t underruns() const override { return underruns_; }

    // Blocks written and not yet played to their end.
    int queuedBlocks() const { return static_cast<int>(queue_.size()); }
    // Notifications waiting for deliver().
    int pendingEvents() const { return static_cast<int>(events_.size()); }
    // Every sample of every block played so far, in order (underrun silence not included).
    const std::vector<std::int16_t>& playedSamples() const { return played_; }
    // Every sample written so far, in write order; playedSamples() is a prefix of it unless
    // blocks were dropped by a loss.
    const std::vector<std::int16_t>& writtenSamples() const { return written_; }
    // Samples of silence played because the queue was empty after the stream had started
    // (over every open).
    std::int64_t underrunSamples() const { return underrun_; }
    int openAttempts() const { return openAttempts_; }
    int closeAttempts() const { return closeAttempts_; }
    // Device index of the last open() (also a failed one); -2 before any.
    int lastDevice() const { return lastDevice_; }
    const vesk::SoundFormat& lastFormat() const { return lastFormat_; }
    // One line per breach of the caller's side of the contract.
    const std::vector<std::string>& contractViolations() const { return violations_; }

private:
    struct Block {
        int id = 0;
        std::vector<std::int16_t> samples;
        std::size_t next = 0; // first sample not yet played
    };
    struct Event {
        std::shared_ptr<AudioListener> listener;
        AudioEvent event = AudioEvent::Opened;
        int block = 0;
        std::uint64_t session = 0;
    };

    // The device goes by itself (lost or closed): nothing queued plays, `event` is told.
    void endByItself(AudioEvent event);
    void post(AudioEvent event, int block);
    void violation(std::string text);

    std::string openFailure_;
    std::int64_t latency_ = 0;
    bool open_ = false;
    bool lost_ = false;
    bool openedDelivered_ = false;
    bool streamStarted_ = false;
    bool starved_ = false; // silence has played since the last block
    std::int64_t underruns_ = 0;
    std::uint64_t session_ = 0;
    std::shared_ptr<AudioListener> listener_;
    std::deque<Block> queue_;
    std::deque<Event> events_;
    std::set<int> unreported_; // written blocks whose BlockDone has not been delivered
    std::vector<std::int16_t> played_;
    std::int64_t playedAtOpen_ = 0;
    std::vector<std::int16_t> written_;
    std::int64_t underrun_ = 0;
    int openAttempts_ = 0;
    int closeAttempts_ = 0;
    int lastDevice_ = -2;
    std::optional<int> openedDevice_; // the last index that opened
    vesk::SoundFormat lastFormat_;
    std::vector<std::string> violations_;
};

} // namespace vesk::platform
