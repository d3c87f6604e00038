#include "files/file_commands.h"

#include "files/atomic_write.h"
#include "files/export_name.h"
#include "files/pattern_file.h"
#include "files/script.h"
#include "ui/messages.h"

#include <filesystem>

namespace vesk {

namespace {

constexpr std::uint32_t kOpenFlags =
    msg::OFN_HIDEREADONLY | msg::OFN_FILEMUSTEXIST | msg::OFN_LONGNAMES;            // 0x00201004
constexpr std::uint32_t kSaveFlags = msg::OFN_OVERWRITEPROMPT | msg::OFN_LONGNAMES; // 0x00200002

std::string currentDirectory() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::current_path(error);
    return error ? std::string() : path.string();
}

void reportFailure(const std::string& caption, const std::string& message) {
    ui::messageBox(message, msg::MB_OK | msg::MB_ICONERROR, caption);
}

// Asks for a name to save under; empty when the operator cancelled.
std::string askSaveName(ui::Window owner, const std::string& filter) {
    std::string name;
    std::uint32_t flags = kSaveFlags;
    ui::saveFileDialog(owner, "Save file as:", name, currentDirectory(), filter, "", flags);
    return name;
}

std::string bareName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

bool loadPatternFile(ui::Window owner, std::string& patternFileName, BeaconPattern& pattern) {
    std::string name = patternFileName;
    std::uint32_t flags = kOpenFlags;
    const std::int32_t confirmed =
        ui::openFileDialog(owner, "Choose tone file", name, currentDirectory(),
                           "text-Files (*.txt)|*.txt", "txt", flags);
    if (confirmed == 0 || name.empty()) {
        return false;
    }
    LoadResult loaded = loadPatternFile(name);
    if (!loaded.ok) {
        reportFailure("Open pattern file", loaded.error);
        return false;
    }
    pattern = loaded.pattern;
    patternFileName = bareName(name);
    return true;
}

void savePatternFile(ui::Window owner, const BeaconPattern& pattern) {
    const std::string name = askSaveName(owner, "Text file(.txt)|*.txt");
    if (name.empty()) {
        return;
    }
    const std::string final = exportFileName(name, ".txt");
    std::string error;
    if (!savePatternFile(final, pattern, error)) {
        reportFailure("Save as pattern file", error);
    }
}

void exportScript(ui::Window owner, BeaconPattern& pattern) {
    const std::string name = askSaveName(owner, "Text file(.scp)|*.scp");
    if (name.empty()) {
        return;
    }
    const std::string final = exportFileName(name, ".scp");
    normaliseErasedLevels(pattern);
    const std::string text = scriptText(pattern);
    std::string error;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    if (!writeFileAtomically(final, {bytes, text.size()}, error)) {
        reportFailure("Save as .SCP", error);
    }
}

void exportWave(ui::Window owner, const RenderedSound& sound) {
    const std::string name = askSaveName(owner, "Wave file(.wav)|*.wav");
    if (name.empty()) {
        return;
    }
    const std::string final = exportFileName(name, ".Wav");
    std::string error;
    if (!writeFileAtomically(final, sound.waveImage(), error)) {
        reportFailure("Save as .WAV", error);
    }
}

} // namespace vesk
