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

void typeName(QFileDialog* chooser, const QString& name) {
    auto* edit = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    edit->setText(name);
}

QAbstractButton* acceptButton(QFileDialog* chooser) {
    auto* buttons = chooser->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    if (buttons != nullptr) {
        for (QAbstractButton* button : buttons->buttons()) {
            if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole) {
                return button;
            }
        }
    }
    ADD_FAILURE() << "no Open or Save button";
    return new QPushButton(chooser);
}

// Presses Open or Save, as the operator would.
void confirm(QFileDialog* chooser) {
    QAbstractButton* button = acceptButton(chooser);
    ASSERT_TRUE(button->isEnabled());
    button->click();
}

void press(QMessageBox* box, QMessageBox::StandardButton which) {
    QAbstractButton* button = box->button(which);
    ASSERT_NE(button, nullptr);
    button->click();
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
    const std::pair<std::string, std::string> cases[] = {
        {"text-Files (*.txt)|*.txt", "text-Files (*.txt)"},
        {"Text file(.txt)|*.txt", "Text file(.txt) (*.txt)"},
        {"Wave file(.wav)|*.wav", "Wave file(.wav) (*.wav)"},
        {"Sounds|*.wav;*.Wav| All |*.*|", "Sounds (*.wav *.Wav);;All (*.*)"},
        {"|*.scp", "(*.scp)"},
        {"description without pattern", ""},
        {"", ""},
    };
    for (const auto& [windows, qt] : cases) {
        EXPECT_EQ(detail::qtFileFilter(windows), qt) << windows;
    }
}

TEST_F(FileDialogs, OpenAcceptsAnExistingFileAndGivesItsFullPath) {
    QString caption;
    QStringList filters;
    QString preselected;
    whenModal<QFileDialog>([&](QFileDialog* chooser) {
        caption = chooser->windowTitle();
        filters = chooser->nameFilters();
        preselected = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
        typeName(chooser, QStringLiteral("beacon.txt"));
        confirm(chooser);
    });
    std::string name = "beacon.txt";
    std::uint32_t flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_LONGNAMES;
    EXPECT_NE(openFileDialog(0, "Choose tone file", name, dir(), "text-Files (*.txt)|*.txt", "txt",
                             flags),
              0);
    EXPECT_EQ(name, dir() + "/beacon.txt");
    EXPECT_EQ(flags, OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_LONGNAMES);
    EXPECT_EQ(caption, "Choose tone file");
    EXPECT_EQ(filters, QStringList{"text-Files (*.txt)"});
    EXPECT_EQ(preselected, "beacon.txt");
}

TEST_F(FileDialogs, OpenRefusesAMissingFileAndCancelGivesTheNameBack) {
    bool openableWhenMissing = true;
    bool openableWhenPresent = false;
    whenModal<QFileDialog>([&](QFileDialog* chooser) {
        typeName(chooser, QStringLiteral("missing.txt"));
        openableWhenMissing = acceptButton(chooser)->isEnabled();
        typeName(chooser, QStringLiteral("beacon.txt"));
        openableWhenPresent = acceptButton(chooser)->isEnabled();
        chooser->reject();
    });
    std::string name = "keep.txt";
    std::uint32_t flags = OFN_FILEMUSTEXIST;
    EXPECT_EQ(openFileDialog(0, "Choose tone file", name, dir(), "text-Files (*.txt)|*.txt", "txt",
                             flags),
              0);
    EXPECT_FALSE(openableWhenMissing);
    EXPECT_TRUE(openableWhenPresent);
    EXPECT_EQ(name, "keep.txt");
}

TEST_F(FileDialogs, SaveAddsTheDefaultExtensionAndAsksBeforeReplacing) {
    struct Case {
        QString typed;
        std::string extension;
        std::uint32_t flags;
        bool asks;
        std::string chosen;
    };
    const Case cases[] = {
        {"night", "txt", OFN_OVERWRITEPROMPT, false, "/night.txt"},
        {"night", "", OFN_OVERWRITEPROMPT | OFN_LONGNAMES, false, "/night"},
        {"beacon.txt", "", OFN_OVERWRITEPROMPT | OFN_LONGNAMES, true, "/beacon.txt"},
        {"beacon.txt", "", OFN_LONGNAMES, false, "/beacon.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString() + " " + std::to_string(c.flags));
        bool asked = false;
        whenModal<QFileDialog>([&](QFileDialog* chooser) {
            EXPECT_EQ(chooser->acceptMode(), QFileDialog::AcceptSave);
            typeName(chooser, c.typed);
            if (c.asks) {
                whenModal<QMessageBox>([&](QMessageBox* box) {
                    asked = true;
                    press(box, QMessageBox::Yes);
                });
            }
            confirm(chooser);
        });
        std::string name;
        std::uint32_t flags = c.flags;
        EXPECT_NE(saveFileDialog(0, "Save file as:", name, dir(), "Text file(.txt)|*.txt",
                                 c.extension, flags),
                  0);
        EXPECT_EQ(asked, c.asks);
        EXPECT_EQ(name, dir() + c.chosen);
    }
}

TEST_F(FileDialogs, SaveCancelledLeavesTheNameAlone) {
    whenModal<QFileDialog>([](QFileDialog* chooser) { chooser->reject(); });
    std::string name = "unchanged";
    std::uint32_t flags = OFN_OVERWRITEPROMPT;
    EXPECT_EQ(saveFileDialog(0, "Save file as:", name, dir(), "Wave file(.wav)|*.wav", "", flags),
              0);
    EXPECT_EQ(name, "unchanged");
}

TEST_F(FileDialogs, TheHookAnswersInsteadOfAWindow) {
    std::string seenCaption;
    std::string seenName;
    bool confirm = true;
    setFileDialogHook([&](const std::string& caption, std::string& fileName) {
        seenCaption = caption;
        seenName = fileName;
        fileName = "/tmp/chosen.scp";
        return confirm;
    });
    std::string name = "given";
    std::uint32_t flags = 0;
    EXPECT_NE(saveFileDialog(0, "Save file as:", name, "", "Text file(.scp)|*.scp", "", flags), 0);
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
