#include "ui/toolkit.h"

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
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace vesk::ui {
namespace {

using namespace vesk::msg;

// Waits for a modal window of type T to come up, then acts on it from inside its own loop.
template <class T> void whenModal(std::function<void(T*)> act, int tries = 300) {
    QTimer::singleShot(10, qApp, [act, tries] {
        auto* widget = qobject_cast<T*>(QApplication::activeModalWidget());
        if (widget != nullptr && widget->isVisible()) {
            act(widget);
        } else if (tries > 0) {
            whenModal<T>(act, tries - 1);
        } else {
            ADD_FAILURE() << "no modal window came up";
        }
    });
}

QLineEdit* nameEdit(QFileDialog* chooser) {
    return chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

// The Open or Save button, as the operator would press it.
QAbstractButton* acceptButton(QFileDialog* chooser) {
    auto* box = chooser->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    for (QAbstractButton* button : box ? box->buttons() : QList<QAbstractButton*>{}) {
        if (box->buttonRole(button) == QDialogButtonBox::AcceptRole) {
            return button;
        }
    }
    ADD_FAILURE() << "no Open or Save button";
    return new QPushButton(chooser);
}

class FileDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.isValid());
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
        QString caption, preselected;
        QStringList filters;
        bool openableWhenMissing = true;
        whenModal<QFileDialog>([&](QFileDialog* chooser) {
            caption = chooser->windowTitle();
            filters = chooser->nameFilters();
            preselected = nameEdit(chooser)->text();
            nameEdit(chooser)->setText(QStringLiteral("missing.txt"));
            openableWhenMissing = acceptButton(chooser)->isEnabled();
            nameEdit(chooser)->setText(QStringLiteral("beacon.txt"));
            cancel ? chooser->reject() : acceptButton(chooser)->click();
        });
        std::string name = "keep.txt";
        std::uint32_t flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_LONGNAMES;
        EXPECT_EQ(openFileDialog(0, "Choose tone file", name, dir(), "text-Files (*.txt)|*.txt",
                                 "txt", flags),
                  cancel ? 0 : 1);
        EXPECT_EQ(name, cancel ? "keep.txt" : dir() + "/beacon.txt");
        EXPECT_FALSE(openableWhenMissing);
        EXPECT_EQ(caption, "Choose tone file");
        EXPECT_EQ(filters, QStringList{"text-Files (*.txt)"});
        EXPECT_EQ(preselected, "keep.txt");
    }
}

TEST_F(FileDialogs, SaveAddsTheDefaultExtensionAndAsksBeforeReplacing) {
    struct Case {
        QString typed;
        std::string extension;
        std::uint32_t flags;
        bool asks;
        std::string chosen;
    };
    for (const Case& c : {Case{"night", "txt", OFN_OVERWRITEPROMPT, false, "/night.txt"},
                          Case{"night", "", OFN_OVERWRITEPROMPT, false, "/night"},
                          Case{"beacon.txt", "", OFN_OVERWRITEPROMPT, true, "/beacon.txt"},
                          Case{"beacon.txt", "", OFN_LONGNAMES, false, "/beacon.txt"}}) {
        SCOPED_TRACE(c.typed.toStdString() + " " + std::to_string(c.flags));
        bool asked = false;
        whenModal<QFileDialog>([&](QFileDialog* chooser) {
            EXPECT_EQ(chooser->acceptMode(), QFileDialog::AcceptSave);
            nameEdit(chooser)->setText(c.typed);
            if (c.asks) {
                whenModal<QMessageBox>([&](QMessageBox* box) {
                    asked = true;
                    box->button(QMessageBox::Yes)->click();
                });
            }
            acceptButton(chooser)->click();
        });
        std::string name;
        std::uint32_t flags = c.flags;
        EXPECT_EQ(saveFileDialog(0, "Save file as:", name, dir(), "Text file(.txt)|*.txt",
                                 c.extension, flags),
                  1);
        EXPECT_EQ(asked, c.asks);
        EXPECT_EQ(name, dir() + c.chosen);
    }
}

TEST_F(FileDialogs, TheHookAnswersInsteadOfAWindow) {
    std::string seenCaption, seenName;
    bool confirm = true;
    setFileDialogHook([&](const std::string& caption, std::string& fileName) {
        seenCaption = caption;
        seenName = fileName;
        fileName = "/tmp/chosen.scp";
        return confirm;
    });
    std::string name = "given";
    std::uint32_t flags = 0;
    EXPECT_EQ(saveFileDialog(0, "Save file as:", name, "", "Text file(.scp)|*.scp", "", flags), 1);
    EXPECT_EQ(seenCaption, "Save file as:");
    EXPECT_EQ(seenName, "given");
    EXPECT_EQ(name, "/tmp/chosen.scp");
    confirm = false;
    name = "given";
    EXPECT_EQ(openFileDialog(0, "Choose tone file", name, "", "", "", flags), 0);
    EXPECT_EQ(name, "given"); // whatever the hook wrote, a cancel gives the name back
    setFileDialogHook({});
}

} // namespace
} // namespace vesk::ui
