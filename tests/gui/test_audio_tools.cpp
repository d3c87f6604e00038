// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/audio_tools.h"
#include "tests/core/scratch_folder.h"

#include "ui/messages.h"
#include "ui/toolkit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace vesk {
namespace {

// PATH is pointed at a folder of fake tools. A fake writes "<name> <arguments>" to
// <name>.<pid>.run, then waits (at most 30 s) for a "release" file before it writes
// <name>.<pid>.finished: a caller that waited for it would find that file at once.
class AudioTools : public ::testing::Test {
protected:
    void SetUp() override {
        ui::setMessageBoxRecorder([this](const ui::MessageBoxRecord& r) {
            boxes_.push_back(r.caption + ": " + r.text + " " + std::to_string(r.style));
        });
    }
    void TearDown() override {
        QFile(out_.filePath("release")).open(QIODevice::WriteOnly);
        for (int i = 0; i < 100 && files("*.finished").size() < files("*.run").size(); ++i) {
            QTest::qWait(50);
        }
        ui::setMessageBoxRecorder(nullptr);
    }

    // A runnable fake, or one whose interpreter does not exist.
    void install(const QString& name, bool runnable = true) {
        const QString script = QStringLiteral(
            "#!/bin/sh\nPATH=/usr/bin:/bin\nout='%1'/\"$(basename \"$0\").$$\"\n"
            "echo \"$(basename \"$0\") $*\" > \"$out.tmp\" && mv \"$out.tmp\" \"$out.run\"\n"
            "i=0; while [ ! -e '%1/release' ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i+1)); done\n"
            ": > \"$out.finished\"\n");
        QFile file(bin_.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(runnable ? script.arg(out_.path()).toUtf8() : "#!/nonexistent/shell\n");
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QStringList files(const QString& pattern) const {
        return QDir(out_.path()).entryList({pattern}, QDir::Files, QDir::Name);
    }

    // The command lines of the fakes started so far, once `count` have started (at most 10 s).
    std::vector<std::string> runs(qsizetype count) const {
        for (int i = 0; i < 200 && files("*.run").size() < count; ++i) {
            QTest::qWait(50);
        }
        std::vector<std::string> lines;
        for (const QString& name : files("*.run")) {
            QFile file(out_.filePath(name));
            file.open(QIODevice::ReadOnly);
            lines.push_back(file.readAll().trimmed().toStdString());
        }
        return lines;
    }

    QTemporaryDir bin_, out_;
    const EnvOverride path_{"PATH", bin_.path().toStdString()};
    std::vector<std::string> boxes_;
};

// Tools in order of precedence; "!" marks a broken one (its interpreter is missing), which is
// passed over. Expected: the started command line, or "caption: text style" of a message box.
// A started tool is left running: the call never waits for it.
TEST_F(AudioTools, FirstInstalledToolThatStartsIsUsed) {
    const std::string hint = "\nInstall pavucontrol (apt-get install pavucontrol). 64";
    const struct {
        std::vector<QString> tools;
        void (*command)();
        std::string expected;
    } cases[] = {
        {{"pavucontrol", "pavucontrol-qt"}, openMixer, "pavucontrol --tab=1"},
        {{"pavucontrol", "pavucontrol-qt"}, openAudioDevices, "pavucontrol --tab=3"},
        {{"pavucontrol-qt", "gnome-control-center"}, openMixer, "pavucontrol-qt"},
        {{"gnome-control-center", "kcmshell5"}, openAudioDevices, "gnome-control-center sound"},
        {{"kcmshell5", "mate-volume-control"}, openMixer, "kcmshell5 kcm_pulseaudio"},
        {{"mate-volume-control", "cinnamon-settings"}, openAudioDevices, "mate-volume-control"},
        {{"cinnamon-settings"}, openMixer, "cinnamon-settings sound"},
        {{"!pavucontrol", "gnome-control-center"}, openAudioDevices, "gnome-control-center sound"},
        {{"!pavucontrol"},
         openMixer,
         "Mixer: The audio mixer program pavucontrol could not be "
         "started. 48"},
        {{}, openMixer, "Mixer: No audio mixer program was found." + hint},
        {{}, openAudioDevices, "Audio Devices: No audio device settings program was found." + hint},
    };
    for (const auto& c : cases) {
        for (const QString& name : QDir(bin_.path()).entryList(QDir::Files)) {
            QFile::remove(bin_.filePath(name));
        }
        for (const QString& name : c.tools) {
            install(name.startsWith('!') ? name.mid(1) : name, !name.startsWith('!'));
        }
        boxes_.clear();
        const std::size_t before = runs(0).size();
        c.command();
        EXPECT_TRUE(files("*.finished").empty()) << "waited for " << c.expected;
        if (c.expected.find(": ") != std::string::npos) {
            EXPECT_EQ(boxes_, std::vector<std::string>{c.expected});
            continue;
        }
        const std::vector<std::string> lines = runs(static_cast<qsizetype>(before) + 1);
        ASSERT_EQ(lines.size(), before + 1);
        EXPECT_NE(std::find(lines.begin(), lines.end(), c.expected), lines.end()) << c.expected;
        EXPECT_TRUE(boxes_.empty());
    }
}

} // namespace
} // namespace vesk
