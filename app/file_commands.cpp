// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/file_commands.h"

#include "app/window_waits.h"

#include "files/atomic_write.h"
#include "files/export_name.h"
#include "files/pattern_file.h"
#include "files/script.h"
#include "ui/messages.h"

#include <filesystem>
#include <optional>
#include <sys/stat.h>

namespace vesk {

namespace {

constexpr std::uint32_t kOpenFlags =
    msg::OFN_HIDEREADONLY | msg::OFN_FILEMUSTEXIST | msg::OFN_LONGNAMES; // 0x00201004
// No OFN_OVERWRITEPROMPT: the chooser would ask about the name typed, while the command writes
// the name with its own extension; askReplace asks about that one.
constexpr std::uint32_t kSaveFlags = msg::OFN_LONGNAMES;

std::string currentDirectory() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::current_path(error);
    return error ? std::string() : path.string();
}

// Where a file dialog starts: the last file's folder, else the current folder.
std::string startFolder(const std::string& lastFile) {
    const std::filesystem::path folder = std::filesystem::path(lastFile).parent_path();
    return folder.empty() ? currentDirectory() : folder.string();
}

void reportFailure(const std::string& caption, const std::string& message) {
    ui::messageBox(message, msg::MB_OK | msg::MB_ICONERROR, caption);
}

// True when `path` may be written: nothing is there, or the operator agrees to replace it.
bool askReplace(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return true;
    }
    return ui::messageBox("\"" + path + "\" already exists.\r\nDo you want to replace it?",
                          msg::MB_YESNO | msg::MB_ICONWARNING | msg::MB_DEFBUTTON2,
                          "Confirm Save As") == static_cast<int>(msg::IDYES);
}

// Asks for a name, gives it the command's extension, asks before replacing a file of that
// name and writes through `write`; a failure is reported under `caption`. A cancelled dialog does
// nothing. The path written, or nothing.
template <class Write>
std::optional<std::string> saveAs(ui::Window owner, const std::string& lastFile,
                                  const std::string& filter, const std::string& extension,
                                  const std::string& caption, Write write) {
    std::string name = lastFile.empty() ? std::string() : exportFileName(lastFile, extension);
    std::uint32_t flags = kSaveFlags;
    if (ui::saveFileDialog(owner, "Save file as:", name, startFolder(lastFile), filter, "",
                           flags) == 0 ||
        name.empty()) {
        return std::nullopt;
    }
    const std::string path = exportFileName(name, extension);
    if (!askReplace(path)) {
        return std::nullopt;
    }
    const Result<> written = write(path);
    if (!written) {
        reportFailure(caption, written.message());
        return std::nullopt;
    }
    return path;
}

} // namespace

bool loadPatternFile(ui::Window owner, PatternDocument& document) {
    std::string name = document.lastFile();
    std::uint32_t flags = kOpenFlags;
    const std::int32_t confirmed =
        ui::openFileDialog(owner, "Choose tone file", name, startFolder(document.lastFile()),
                           "text-Files (*.txt)|*.txt", "txt", flags);
    if (confirmed == 0 || name.empty()) {
        return false;
    }
    return loadPatternPath(name, document);
}

bool loadPatternPath(const std::string& path, PatternDocument& document) {
    Result<BeaconPattern> loaded = loadPatternFile(path);
    if (!loaded) {
        reportFailure("Open pattern file", loaded.message());
        return false;
    }
    document.load(*loaded, path);
    return true;
}

bool savePatternFile(ui::Window owner, PatternDocument& document) {
    const BeaconPattern& pattern = document.pattern();
    const std::optional<std::string> saved =
        saveAs(owner, document.lastFile(), "Text file(.txt)|*.txt", ".txt", "Save as pattern file",
               [&pattern](const std::string& path) { return savePatternFile(path, pattern); });
    if (saved) {
        document.markSaved(*saved);
    }
    return saved.has_value();
}

void exportScript(ui::Window owner, PatternDocument& document) {
    const std::optional<std::string> saved =
        saveAs(owner, document.lastFile(), "Text file(.scp)|*.scp", ".scp", "Save as .SCP",
               [&document](const std::string& path) {
                   BeaconPattern levelled = document.pattern();
                   normaliseErasedLevels(levelled);
                   document.restate(levelled);
                   return writeFileAtomically(path, scriptText(levelled));
               });
    if (saved) {
        document.markExported(*saved);
    }
}

void exportWave(ui::Window owner, PatternDocument& document, std::int32_t amplitude,
                const WaveProgress& progress) {
    // A stream of its own: playback keeps the sound it has. A long pattern takes a while to
    // render and write: the window keeps painting meanwhile.
    QWidget* window = ui::topLevelWidget(owner);
    const BeaconPattern& pattern = document.pattern();
    const Result<PatternStream> made = whileWindowWaits(
        window, [&pattern, amplitude] { return makePatternStream(pattern, amplitude); });
    if (!made) {
        reportFailure("Save as .WAV", made.message());
        return;
    }
    if (const Result<> fits = checkWaveSize(made->sampleCount()); !fits) {
        reportFailure("Save as .WAV", fits.message());
        return;
    }
    const std::optional<std::string> saved =
        saveAs(owner, document.lastFile(), "Wave file(.wav)|*.wav", ".Wav", "Save as .WAV",
               [&](const std::string& path) {
                   return whileWindowWaits(window, [&] {
                       return writeFileAtomically(path, waveFileSource(*made, progress));
                   });
               });
    if (saved) {
        document.markExported(*saved);
    }
}

} // namespace vesk
