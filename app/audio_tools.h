// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The Mixer and Audio Devices commands: start the desktop's own sound tools as separate
// programs, without waiting for them. When none is installed a message box says what to
// install.
namespace vesk {

// Volume mixer: pavucontrol (playback tab), pavucontrol-qt, or the desktop's sound settings.
void openMixer();

// Output device settings: pavucontrol (output devices tab), pavucontrol-qt, or the desktop's
// sound settings.
void openAudioDevices();

} // namespace vesk
