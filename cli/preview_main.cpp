// SPDX-License-Identifier: GPL-3.0-or-later
// vesk-cli-preview: `vesk-cli preview PATTERN OUT.png`, which vesk-cli hands over to. A helper
// of its own, like vesk-cli-sound, rather than libpng opened at run time inside vesk-cli:
// the linker then checks every libpng and FFTW call against its header, and vesk-cli's other
// commands still load nothing but the C++ runtime.
#include "files/atomic_write.h"
#include "files/pattern_file.h"
#include "preview/png_file.h"
#include "preview/spectrogram.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

int failed(const std::string& message) {
    std::cerr << "vesk-cli: preview: " << message << '\n';
    return 1;
}

extern "C" void endBySignal(int number) {
    vesk::removeTemporaryFile();
    std::signal(number, SIG_DFL);
    std::raise(number);
}

} // namespace

int main(int argc, char** argv) {
    // argv: vesk-cli preview PATTERN OUT, as vesk-cli was called.
    if (argc != 4 || std::string(argv[1]) != "preview") {
        return failed("takes PATTERN OUT.png (see vesk-cli --help)");
    }
    for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        std::signal(number, endBySignal);
    }
    const vesk::Result<vesk::BeaconPattern> loaded = vesk::loadPatternFile(argv[2]);
    if (!loaded) {
        return failed(loaded.message());
    }
    const vesk::Result<vesk::preview::Spectrogram> made = vesk::preview::makeSpectrogram(*loaded);
    if (!made) {
        return failed(made.message());
    }
    const vesk::preview::Spectrogram& s = *made;
    const vesk::preview::Picture picture = vesk::preview::drawSpectrogram(s, *loaded);
    if (const vesk::Result<> written = vesk::preview::writePng(argv[3], picture); !written) {
        return failed(written.message());
    }
    std::printf("%s: %d x %d pixels, %.3g s a column, %.3g Hz a row from %.2f Hz\n", argv[3],
                picture.width, picture.height, s.secondsPerColumn, s.hzPerRow, s.lowestHz);
    return 0;
}
