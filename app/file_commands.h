// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "files/wave_file.h"
#include "tone/pattern_document.h"
#include "tone/pattern_stream.h"
#include "ui/toolkit.h"
#include "vesk_version.h"

#include <cstdint>
#include <string>

namespace vesk {

// The main window title before the name of the last pattern file loaded or saved.
inline constexpr const char* kTitlePrefix =
    "VESK Controller v" VESK_VERSION "                     Message pattern file: ";
// The name in the title for a pattern that no file holds (a generated one).
inline constexpr const char* kNoFileName = "(no file)";

// Every file dialog starts in the folder of document.lastFile() ("" for the current folder)
// and offers its name there, with the command's own extension when saving. A successful open
// or save makes its file the new last file. A save asks before it replaces a file, about the
// name it really writes.

// "Open pattern file": asks for a file and loads it into `document`; true when it did. A
// cancelled dialog changes nothing; a file that cannot be read is reported with its name and
// changes nothing.
bool loadPatternFile(ui::Window owner, PatternDocument& document);

// Loads the pattern file at `path` as "Open pattern file" does after its dialog; a file that
// cannot be read is reported and changes nothing.
bool loadPatternPath(const std::string& path, PatternDocument& document);

// "Save as pattern file .TXT": asks for a name and writes the pattern as text (".txt"); true
// when it was written, which makes it the saved copy.
bool savePatternFile(ui::Window owner, PatternDocument& document);

// "Save as .SCP": asks for a name and writes the one-line script (".scp"). Erased slots in use
// become level code 1 first, in the document too, as the script has no level for them.
void exportScript(ui::Window owner, PatternDocument& document);

// "Save as .WAV": asks for a name and writes the sound of the pattern as it stands, made for
// the file alone at `amplitude` (".Wav"), block by block, `progress` hearing of each tenth. A
// pattern too long for a WAV file is refused first.
void exportWave(ui::Window owner, PatternDocument& document, std::int32_t amplitude,
                const WaveProgress& progress);

} // namespace vesk
