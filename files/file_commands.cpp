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

// Asks for a name, gives it the command's extension and writes through `write`, which says
// why it failed; a failure is reported under `caption`. A cancelled dialog does nothing.
template <class Write>
void saveAs(ui::Window owner, const std::string& filter, const std::string& extension,
            const std::string& caption, Write write) {
    const std::string name = askSaveName(owner, filter);
    if (name.empty()) {
        return;
    }
    std::string error;
    if (!write(exportFileName(name, extension), error)) {
        reportFailure(caption, error);
    }
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
    saveAs(owner, "Text file(.txt)|*.txt", ".txt", "Save as pattern file",
           [&pattern](const std::string& path, std::string& error) {
               return savePatternFile(path, pattern, error);
           });
}

void exportScript(ui::Window owner, BeaconPattern& pattern) {
    saveAs(owner, "Text file(.scp)|*.scp", ".scp", "Save as .SCP",
           [&pattern](const std::string& path, std::string& error) {
               normaliseErasedLevels(pattern);
               return writeFileAtomically(path, scriptText(pattern), error);
           });
}

void exportWave(ui::Window owner, const PatternStream& sound, const WaveProgress& progress) {
    const std::string tooLong = waveSizeProblem(sound.sampleCount());
    if (!tooLong.empty()) {
        reportFailure("Save as .WAV", tooLong);
        return;
    }
    saveAs(owner, "Wave file(.wav)|*.wav", ".Wav", "Save as .WAV",
           [&](const std::string& path, std::string& error) {
               return writeFileAtomically(path, waveFileSource(sound, progress), error);
           });
}

} // namespace vesk
