// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/beacon_dialogs.h"
#include "app/generate_dialog.h"
#include "app/preview_dialog.h"
#include "preview/spectrogram.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimer>

#include <gtest/gtest.h>

#include "files/pattern_file.h"

namespace vesk {
namespace {

template <typename T> T* child(QWidget& dialog, const char* name) {
    T* found = dialog.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
}

TEST(GenerateDialog, MakesTheGeneratorsPatternOrSaysWhyNot) {
    GenerateDialog dialog;
    child<QComboBox>(dialog, "mode")->setCurrentIndex(2); // DFCW
    child<QLineEdit>(dialog, "text")->setText("K1ABC?");
    child<QComboBox>(dialog, "speed")->setCurrentText("QRSS10");
    child<QSpinBox>(dialog, "shift")->setValue(-3);
    dialog.generate();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    beacon::MorseSettings expected;
    expected.keying = beacon::Keying::Dfcw;
    expected.text = "K1ABC?";
    expected.dotLength = 10000;
    expected.shift = -3;
    EXPECT_EQ(patternFileText(dialog.pattern()),
              patternFileText(beacon::makeMorsePattern(expected).value()));

    // Refused input keeps the dialog open with the generator's reason.
    GenerateDialog refused;
    child<QComboBox>(refused, "mode")->setCurrentIndex(3); // WSPR
    child<QLineEdit>(refused, "callsign")->setText("K1ABC/P");
    child<QLineEdit>(refused, "locator")->setText("FN42");
    refused.generate();
    EXPECT_NE(refused.result(), QDialog::Accepted);
    EXPECT_TRUE(child<QLabel>(refused, "problem")->text().contains("compound"));
    child<QLineEdit>(refused, "callsign")->setText("k1abc");
    refused.generate();
    EXPECT_EQ(refused.result(), QDialog::Accepted);
    EXPECT_TRUE(beacon::isWsprTiming(refused.pattern()));
}

TEST(GenerateDialog, RunsModallyAndGivesNothingOnCancel) {
    for (const bool generate : {true, false}) {
        QTimer::singleShot(0, [generate] {
            auto* dialog = qobject_cast<GenerateDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            child<QLineEdit>(*dialog, "text")->setText("E");
            generate ? dialog->generate() : dialog->reject();
        });
        const std::optional<BeaconPattern> made = runGenerateDialog();
        ASSERT_EQ(made.has_value(), generate);
        if (generate) {
            EXPECT_EQ(made->dotCount, 0);
            EXPECT_EQ(made->toneIndex[0], 8.0f);
        }
    }
}

TEST(PreviewDialog, ShowsTheGrabbersPictureOrTheReason) {
    BeaconPattern pattern = resetPattern();
    pattern.dotCount = 3;
    pattern.toneIndex = {1.0f, 8.0f, 0.0f, 16.0f};
    const PreviewDialog dialog(pattern);
    const auto made = preview::makeSpectrogram(pattern);
    ASSERT_TRUE(made);
    const preview::Picture drawn = preview::drawSpectrogram(*made, pattern);
    ASSERT_EQ(dialog.picture().size(), QSize(drawn.width, drawn.height));
    for (const int y : {0, drawn.height / 2, drawn.height - 1}) {
        for (const int x : {0, drawn.width / 2, drawn.width - 1}) {
            EXPECT_EQ(dialog.picture().pixel(x, y) & 0xFFFFFFu,
                      drawn.pixels[static_cast<std::size_t>(y * drawn.width + x)]);
        }
    }
    pattern.dotLength = 0;
    const PreviewDialog refused(pattern);
    EXPECT_TRUE(refused.picture().isNull());
    EXPECT_FALSE(refused.findChild<QLabel*>("caption")->text().isEmpty());
}

} // namespace
} // namespace vesk
