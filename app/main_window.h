#pragma once

#include "app/app_state.h"
#include "ui/toolkit.h"

#include <cstdint>

namespace vesk {

// Control and command ids of the main window that other modules address.
namespace id {
inline constexpr std::int32_t kTurnOnOff = 1002;
inline constexpr std::int32_t kOutputLevel = 1003;
inline constexpr std::int32_t kLevelReadout = 1004;
inline constexpr std::int32_t kReset = 4000;
inline constexpr std::int32_t kDotLengthField = 800;
inline constexpr std::int32_t kDotLengthApply = 801;
inline constexpr std::int32_t kDotCountField = 820;
inline constexpr std::int32_t kDotCountApply = 821;
inline constexpr std::int32_t kSpacingField = 900;
inline constexpr std::int32_t kSpacingApply = 901;
inline constexpr std::int32_t kCentreField = 910;
inline constexpr std::int32_t kCentreApply = 911;
inline constexpr std::int32_t kRepeatField = 995;
inline constexpr std::int32_t kRepeatApply = 996;
inline constexpr std::int32_t kMenuOpen = 650;
inline constexpr std::int32_t kMenuGenerate = 660;
inline constexpr std::int32_t kMenuPreview = 2600;
inline constexpr std::int32_t kMenuSavePattern = 600;
inline constexpr std::int32_t kMenuSaveScript = 610;
inline constexpr std::int32_t kMenuSaveWave = 620;
inline constexpr std::int32_t kMenuMixer = 2000;
inline constexpr std::int32_t kMenuAudioDevices = 2010;
inline constexpr std::int32_t kMenuSelectSoundcard = 2020;
inline constexpr std::int32_t kMenuPtt = 2500;
inline constexpr std::int32_t kMenuAbout = 210;
inline constexpr std::int32_t kMenuHelp = 200;
// Commands of the keys Ctrl+Z and Ctrl+Y.
inline constexpr std::int32_t kUndo = 4010;
inline constexpr std::int32_t kRedo = 4011;
} // namespace id

// The question asked before unsaved work is discarded.
inline constexpr const char* kDiscardQuestion = "Discard the changes to the pattern?";

// Private message: the sound device went away while playing.
inline constexpr std::uint32_t kDeviceLostMessage = 0x8001;
// Private message: a PTT line change failed; the notice waits until playback's call returns.
inline constexpr std::uint32_t kPttFailureMessage = 0x8002;

inline constexpr std::int32_t kClientWidth = 810;
inline constexpr std::int32_t kClientHeight = 255;
inline constexpr const char* kMainCaption = "VESK Controller v1.09 (wave file version)";

// Creates the hidden main window with its icon, 39 controls and menu bar; stores its handle
// in state.mainWindow.
ui::Window createMainWindow(AppState& state);

// The main window's handler: routes every message to its owner.
ui::Handler mainWindowHandler(AppState& state);

// Start values, PTT port, fields and views; run on the initialisation message.
void initialiseMainWindow(AppState& state);

// Creates the main window and runs it modally until it is destroyed.
void buildMainWindow(AppState& state);

// What the program does on its way out, however it leaves: the lines released and the port
// closed, then the settings file written. Safe to run twice.
void shutdownMainWindow(AppState& state);

} // namespace vesk
