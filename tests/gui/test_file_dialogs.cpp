// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit.h"

#include "tests/gui/shown_windows.h"
#include "ui/messages.h"
#include "ui/toolkit_detail.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace vesk::ui {
namespace {

using namespace vesk::msg;

// Types `name` and returns the Open or Save button, as the operator would press it.
QPushButton* typeName(QFileDialog* chooser, const QString& name) {
    chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(name);
    auto* box = chooser->findChild<QDialogButtonBox*>();
    QPushButton* open = box->button(QDialogButtonBox::Open);
    return open != nullptr ? open : box->button(QDialogButtonBox::Save);
}

class FileDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        QFile existing(folder_.filePath(QStringLiteral("beacon.txt")));
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        existing.write(" 100 \r\n");
    }
    std::string dir() const { return QDir(folder_.path()).canonicalPath().toStdString(); }
    QTemporaryDir folder_;
};

TEST_F(FileDialogs, FiltersBecomeQtFilters) {
    for (const auto& [given, qt] : std::initializer_list<std::pair<std::string, std::string>>{
             {"text-Files (*.txt)|*.txt", "text-Files (*.txt)"},
             {"Wave file(.wav)|*.wav", "Wave file(.wav) (*.wav)"},
             {"Sounds|*.wav;*.Wav| All |*.*|", "Sounds (*.wav *.Wav);;All (*.*)"},
             {"|*.scp", "(*.scp)"},
             {"description without pattern", ""}}) {
        EXPECT_EQ(detail::qtFileFilter(given), qt) << given;
    }
}

TEST_F(FileDialogs, OpenTakesOnlyAnExistingFileAndCancelGivesTheNameBack) {
    for (const bool cancel : {false, true}) {
        QString shown; // caption, filters and the name offered
        bool openableWhenMissing = true;
        whenShown<QFileDialog>([&](QFileDialog* chooser) {
            shown = chooser->windowTitle() + "|" + chooser->nameFilters().join(";;") + "|" +
                    chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
            openableWhenMissing = typeName(chooser, QStringLiteral("missing.txt"))->isEnabled();
            QPushButton* open = typeName(chooser, QStringLiteral("beacon.txt"));
            cancel ? chooser->reject() : open->click();
        });
        std::string name = "keep.txt";
        std::uint32_t flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_LONGNAMES;
        EXPECT_EQ(openFileDialog(0, "Choose tone file", name, dir(), "text-Files (*.txt)|*.txt",
                                 "txt", flags),
                  cancel ? 0 : 1);
        EXPECT_EQ(name, cancel ? "keep.txt" : dir() + "/beacon.txt");
        EXPECT_FALSE(openableWhenMissing);
        EXPECT_EQ(shown, "Choose tone file|text-Files (*.txt)|keep.txt");
    }
}

TEST_F(FileDialogs, SaveAddsTheDefaultExtensionAndAsksBeforeReplacing) {
    for (const auto& [typed, extension, flags, asks, chosen] :
         {std::tuple{"night", "txt", OFN_OVERWRITEPROMPT, false, "/night.txt"},
          std::tuple{"night", "", OFN_OVERWRITEPROMPT, false, "/night"},
          std::tuple{"beacon.txt", "", OFN_OVERWRITEPROMPT, true, "/beacon.txt"},
          std::tuple{"beacon.txt", "", OFN_LONGNAMES, false, "/beacon.txt"}}) {
        SCOPED_TRACE(std::string(typed) + " " + std::to_string(flags));
        bool asked = false;
        whenShown<QFileDialog>([&](QFileDialog* chooser) {
            EXPECT_EQ(chooser->acceptMode(), QFileDialog::AcceptSave);
            if (asks) {
                whenShown<QMessageBox>([&](QMessageBox* box) {
                    asked = true;
                    box->button(QMessageBox::Yes)->click();
                });
            }
            typeName(chooser, QString::fromUtf8(typed))->click();
        });
        std::string name;
        std::uint32_t given = flags;
        EXPECT_EQ(saveFileDialog(0, "Save file as:", name, dir(), "Text file(.txt)|*.txt",
                                 extension, given),
                  1);
        EXPECT_EQ(asked, asks);
        EXPECT_EQ(name, dir() + chosen);
    }
}

TEST_F(FileDialogs, TheHookAnswersInsteadOfAWindow) {
    for (const bool confirm : {true, false}) {
        std::string seen, name = "given";
        setFileDialogHook([&](const std::string& caption, std::string& fileName) {
            seen = caption + "|" + fileName;
            fileName = "/tmp/chosen.scp";
            return confirm;
        });
        std::uint32_t flags = 0;
        EXPECT_EQ(openFileDialog(0, "Choose tone file", name, "", "", "", flags), confirm ? 1 : 0);
        // Whatever the hook wrote, a cancel gives the name back.
        EXPECT_EQ(seen + "|" + name, confirm ? "Choose tone file|given|/tmp/chosen.scp"
                                             : "Choose tone file|given|given");
    }
    setFileDialogHook({});
}

} // namespace
} // namespace vesk::ui
