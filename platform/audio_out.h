// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/result.h"
#include "platform/sound_format.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vesk::platform {

// The operator's sentence for a sound output that does not open; the reason the open gives
// follows it.
inline constexpr const char* kOpenFailureText = "Error opening waveform audio device!";
// How a failed open names output -1.
inline constexpr const char* kDefaultOutputName = "the system default output";

// What the output reports back to its owner.
enum class AudioEvent {
    Opened,    // the output is ready for blocks
    BlockDone, // the block (0-based) has been played
    Closed,    // a close asked for is complete
    Lost,      // the device went away while open (unplugged, sound server gone)
};
using AudioListener = std::function<void(AudioEvent event, int block)>;

// A block queue on a sound output.
//
// Callers guarantee: one thread (the one that opened the device) makes every call; blocks
// are written only between Opened and Closed; a block is not written again before it has
// been reported done.
// Implementations guarantee: blocks play in the order written, without gaps between them
// while the queue is not empty; BlockDone is reported when a block's last sample has reached
// the converter (judged by the stream's own clock, not when the block was copied), in write
// order; every notification is delivered later
// through the owner's event loop on the opening thread, never from inside a call; close()
// is refused (false) while blocks are queued, and Closed follows a successful close. Lost
// ends the session on its own: the output is closed, queued blocks are dropped unreported,
// and no Closed follows.
class AudioOut {
public:
    virtual ~AudioOut() = default;
    // Opens device `index` in the list of outputDevices() (-1: the system default); Opened
    // follows a success. A failure names the output (its name, or "the system default
    // output") and the sound system's reason: "USB Audio: Device unavailable".
    virtual Result<> open(int index, const vesk::SoundFormat& format, AudioListener listener) = 0;
    // Opens the output of the last successful open() again, found by its name (a sound server
    // that restarted may number its outputs afresh); the system default stays the default.
    // Fails as open() does, also when nothing was opened before.
    virtual Result<> reopen(const vesk::SoundFormat& format, AudioListener listener) = 0;
    // Queues a block of bytes (a copy is taken) under the caller's number `block`.
    virtual bool write(int block, const std::uint8_t* data, std::size_t size) = 0;
    // Closes the device; false while blocks are still queued.
    virtual bool close() = 0;
    virtual bool isOpen() const = 0;
    // Audible gaps since the last open: times the output ran out of blocks and more followed,
    // or the sound system ran dry. 0 for an output that cannot tell.
    virtual std::int64_t underruns() const { return 0; }
    // Samples the output needs queued beyond the caller's own queue, known once open() has
    // succeeded: what the device buffers, plus what its audio thread reads ahead of that. A
    // caller that keeps this much more in flight can stall for the length of its own queue
    // and of the device buffer before anything is heard missing.
    virtual std::int64_t latencySamples() const { return 0; }
    // How far the converter has got in the written stream at this moment, in samples since the
    // open (between BlockDone reports too); -1 while the output cannot tell.
    virtual std::int64_t playedPosition() const { return -1; }
};

// Names of the sound outputs in the platform's order (index = device number), read afresh
// from the sound system at each call while no output is open.
std::vector<std::string> outputDevices();

// The PortAudio output: a callback stream with a device buffer of about 250 ms.
std::unique_ptr<AudioOut> makeAudioOut();

} // namespace vesk::platform
