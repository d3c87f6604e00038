// SPDX-License-Identifier: GPL-3.0-or-later
#include "beacon/generator.h"
#include "beacon/wspr.h"
#include "files/pattern_file.h"
#include "tone/render.h"
#include "tone/wave_image.h"

#include "scratch_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace vesk::beacon {
namespace {

std::string symbolText(const WsprSymbols& encoded) {
    std::string text;
    for (const std::uint8_t s : encoded) {
        text += static_cast<char>('0' + s);
    }
    return text;
}

// Reference channel symbols as printed by wsprcode, the encoder that ships with the WSPR
// protocol's reference implementation (WSJT-X 2.6.1, Debian package wsjtx: `wsprcode "K1ABC
// FN42 37"`). K1ABC FN42 37 is the protocol documentation's own example message; G4JNT is
// sent with a leading blank, PA0XYZ fills all six places, RR99 and 60 dBm are the top of
// their ranges.
TEST(WsprSymbols, MatchTheReferenceEncoder) {
    const struct {
        const char *call, *locator;
        int dbm;
        const char* symbols;
    } cases[] = {
        {"K1ABC", "FN42", 37,
         "330020001020131222100323133220200032012322002232110233210221321222033030301210212032"
         "132003323032203020201023021112330231212221332000010320132222202332323320031222"},
        {"G4JNT", "IO90", 0,
         "332000001020333022120323113220200032032302002210132233010003121020233012321012012012"
         "130221123210223200023003021110112231210203312222032320330020222132121120031022"},
        {"pa0xyz", "rr99", 60,
         "310200203202313200302301133222022230012102020010110211010021303000213232301030010010"
         "112203321230001002003003203312130213232023312000010322110022200110103302031020"},
    };
    for (const auto& c : cases) {
        const Result<WsprSymbols> encoded = wsprSymbols(c.call, c.locator, c.dbm);
        ASSERT_TRUE(encoded) << c.call << ": " << encoded.message();
        EXPECT_EQ(symbolText(*encoded), c.symbols) << c.call;
    }
}

TEST(WsprSymbols, RefusesWhatAType1MessageCannotCarry) {
    const struct {
        const char *call, *locator;
        int dbm;
        const char* names;
    } cases[] = {
        {"", "FN42", 37, "no callsign"},
        {"K1ABC/P", "FN42", 37, "compound"},
        {"PA0ABCD", "FN42", 37, "six"},
        {"ABCDEF", "FN42", 37, "digit"},
        {"K1 AB", "FN42", 37, "digit"},
        {"K1AB2", "FN42", 37, "digit"},
        {"K1ABC", "SN42", 37, "locator"},
        {"K1ABC", "FN4", 37, "locator"},
        {"K1ABC", "F142", 37, "locator"},
        {"K1ABC", "FN42AA", 37, "locator"},
        {"K1ABC", "FN42", 36, "power 36"},
        {"K1ABC", "FN42", 63, "power 63"},
        {"K1ABC", "FN42", -3, "power -3"},
        // Six characters, but four after the call area's digit: that is what is wrong.
        {"N0CALL", "FN42", 37,
         "it has 4 characters after the digit 0; a WSPR callsign has at "
         "most three"},
        {"K1\nABC", "FN42", 37, "letters and digits only"},
    };
    for (const auto& c : cases) {
        const Result<WsprSymbols> encoded = wsprSymbols(c.call, c.locator, c.dbm);
        EXPECT_FALSE(encoded) << c.call << " " << c.locator << " " << c.dbm;
        EXPECT_NE(encoded.message().find(c.names), std::string::npos) << encoded.message();
    }
}

// The frequency of a stretch of samples from its upward zero crossings, interpolated.
double measuredFrequency(const std::vector<std::int16_t>& samples, std::size_t from,
                         std::size_t to) {
    double first = -1.0;
    double last = -1.0;
    int cycles = -1;
    for (std::size_t i = from; i + 1 < to; ++i) {
        if (samples[i] < 0 && samples[i + 1] >= 0) {
            const double t = static_cast<double>(i) +
                             samples[i] / static_cast<double>(samples[i] - samples[i + 1]);
            first = first < 0.0 ? t : first;
            last = t;
            ++cycles;
        }
    }
    return cycles > 0 ? cycles * kSampleRate / (last - first) : 0.0;
}

Result<BeaconPattern> wsprPattern(float audio = 1500.0f) {
    return makeWsprPattern({"K1ABC", "FN42", 37, audio});
}

TEST(WsprPattern, EachSymbolSoundsAtItsToneOnTheRender) {
    const Result<BeaconPattern> made = wsprPattern();
    ASSERT_TRUE(made) << made.message();
    EXPECT_EQ(made->dotCount, 161);
    EXPECT_EQ(made->dotLength, 683);
    EXPECT_TRUE(isWsprTiming(*made));
    const Result<BeaconPattern> saved = readPatternText(patternFileText(*made));
    ASSERT_TRUE(saved);
    EXPECT_TRUE(isWsprTiming(*saved));
    BeaconPattern other = *saved;
    other.frequencySpacing = 1.5f;
    EXPECT_FALSE(isWsprTiming(other));
    const std::vector<std::int16_t> samples = renderPatternReference(*made, 32767);
    const WsprSymbols encoded = wsprSymbols("K1ABC", "FN42", 37).value();
    const std::size_t perSymbol = 44100 * 683 / 1000;
    ASSERT_GE(samples.size(), 162 * perSymbol);
    for (std::size_t i = 0; i < 162; ++i) {
        const double expected = 1500.0 + (encoded[i] - 1.5) * 12000.0 / 8192.0;
        // The middle of the symbol, clear of a neighbour's fade.
        const double hertz = measuredFrequency(samples, i * perSymbol + perSymbol / 10,
                                               (i + 1) * perSymbol - perSymbol / 10);
        ASSERT_NEAR(hertz, expected, 0.1) << "symbol " << i;
    }
    // 19995 Hz would put row 1 at 20003 Hz.
    for (const float audio : {99.0f, 20001.0f, 19995.0f, NAN}) {
        EXPECT_FALSE(wsprPattern(audio).ok()) << audio;
    }
}

// The receiving side: the render resampled to 12 kHz, started 1 s into a two-minute
// recording with a little noise, as the decoder expects it.
TEST(WsprPattern, DecodesWithTheWsprDecoder) {
    if (std::system("command -v wsprd > /dev/null") != 0) {
        GTEST_SKIP() << "wsprd is not installed (Debian package wsjtx)";
    }
    const Result<BeaconPattern> made = wsprPattern();
    ASSERT_TRUE(made);
    const std::vector<std::int16_t> samples = renderPatternReference(*made, 8000);
    std::vector<std::int16_t> recording(120 * 12000);
    std::uint32_t noise = 1;
    for (std::size_t n = 0; n < recording.size(); ++n) {
        double value = 0.0;
        const double t = (static_cast<double>(n) - 12000.0) * kSampleRate / 12000.0;
        if (t >= 0.0 && t + 1.0 < static_cast<double>(samples.size())) {
            const auto i = static_cast<std::size_t>(t);
            const double f = t - static_cast<double>(i);
            value = samples[i] * (1.0 - f) + samples[i + 1] * f;
        }
        noise = noise * 1664525u + 1013904223u;
        value += static_cast<double>(noise >> 20) - 2048.0;
        recording[n] = static_cast<std::int16_t>(std::lround(value));
    }
    const ScratchFolder folder;
    std::vector<std::uint8_t> wav = buildWaveImage(recording);
    // The header is for 44.1 kHz: the sample and byte rates become those of 12 kHz.
    for (std::size_t i = 0; i < 4; ++i) {
        wav[24 + i] = static_cast<std::uint8_t>(12000u >> (8 * i));
        wav[28 + i] = static_cast<std::uint8_t>(24000u >> (8 * i));
    }
    writeWholeFile(folder.file("wspr.wav"), std::string(wav.begin(), wav.end()));
    const std::string command = "cd '" + folder.path().string() + "' && wsprd -f 14.0956 -a '" +
                                folder.path().string() + "' wspr.wav";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    EXPECT_EQ(::pclose(pipe), 0) << output;
    EXPECT_NE(output.find(" K1ABC FN42 37"), std::string::npos) << output;
}

} // namespace
} // namespace vesk::beacon
