#include "devices/audio_tools.h"

#include "ui/messages.h"
#include "ui/toolkit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace vesk {
namespace {

// PATH is pointed at a folder of fake tools. Each fake writes its arguments, one a line, to
// <name>.<pid>.args in the output folder, then waits (at most 30 s) for a "release" file there
// before it writes <name>.<pid>.finished, so a caller that waited for it would be caught.
class AudioTools : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bin_.isValid());
        ASSERT_TRUE(out_.isValid());
        const char* path = std::getenv("PATH");
        savedPath_ = path != nullptr ? path : "";
        setenv("PATH", bin_.path().toLocal8Bit().constData(), 1);
        ui::setMessageBoxRecorder(
            [this](const ui::MessageBoxRecord& record) { boxes_.push_back(record); });
    }

    void TearDown() override {
        QFile release(out_.filePath("release"));
        release.open(QIODevice::WriteOnly);
        release.close();
        // Let the fakes finish before their folder goes away.
        for (int i = 0; i < 100 && finishedCount() < argsFiles().size(); ++i) {
            QTest::qWait(50);
        }
        setenv("PATH", savedPath_.c_str(), 1);
        ui::setMessageBoxRecorder(nullptr);
    }

    void addFake(const QString& name) {
        const QString script = QStringLiteral("#!/bin/sh\n"
                                              "PATH=/usr/bin:/bin\n"
                                              "out='%1'/\"$(basename \"$0\").$$\"\n"
                                              "for a in \"$@\"; do printf '%s\\n' \"$a\"; done "
                                              "> \"$out.tmp\"\n"
                                              "mv \"$out.tmp\" \"$out.args\"\n"
                                              "i=0\n"
                                              "while [ ! -e '%1/release' ] && [ $i -lt 300 ]; do\n"
                                              "  sleep 0.1; i=$((i+1))\n"
                                              "done\n"
                                              ": > \"$out.finished\"\n")
                                   .arg(out_.path());
        writeExecutable(name, script.toUtf8());
    }

    // An executable file the system cannot run: its interpreter does not exist.
    void addBroken(const QString& name) { writeExecutable(name, "#!/nonexistent/shell\n"); }

    void writeExecutable(const QString& name, const QByteArray& content) {
        QFile file(bin_.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QStringList argsFiles() const {
        return QDir(out_.path()).entryList({"*.args"}, QDir::Files, QDir::Name);
    }
    qsizetype finishedCount() const {
        return QDir(out_.path()).entryList({"*.finished"}, QDir::Files).size();
    }

    // Waits until `count` more fakes have written their arguments (at most 10 s) and returns
    // the files of those not returned before.
    QStringList waitForStarts(qsizetype count) {
        const qsizetype wanted = seen_.size() + count;
        for (int i = 0; i < 200 && argsFiles().size() < wanted; ++i) {
            QTest::qWait(50);
        }
        QStringList fresh;
        for (const QString& file : argsFiles()) {
            if (!seen_.contains(file)) {
                fresh.append(file);
                seen_.append(file);
            }
        }
        return fresh;
    }

    // Program name and arguments of a started fake.
    std::pair<std::string, std::vector<std::string>> started(const QString& argsFile) const {
        QFile file(out_.filePath(argsFile));
        std::vector<std::string> arguments;
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : file.readAll().split('\n')) {
                if (!line.isEmpty()) {
                    arguments.push_back(line.toStdString());
                }
            }
        }
        return {argsFile.section('.', 0, 0).toStdString(), arguments};
    }

    QTemporaryDir bin_;
    QTemporaryDir out_;
    std::string savedPath_;
    QStringList seen_;
    std::vector<ui::MessageBoxRecord> boxes_;
};

using Started = std::pair<std::string, std::vector<std::string>>;

TEST_F(AudioTools, NothingInstalledSaysWhatToInstall) {
    openMixer();
    openAudioDevices();
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0].text,
              "No audio mixer program was found.\nInstall pavucontrol (apt-get install "
              "pavucontrol).");
    EXPECT_EQ(boxes_[0].caption, "Mixer");
    EXPECT_EQ(boxes_[0].style, msg::MB_OK | msg::MB_ICONINFORMATION);
    EXPECT_EQ(boxes_[1].text,
              "No audio device settings program was found.\nInstall pavucontrol (apt-get "
              "install pavucontrol).");
    EXPECT_EQ(boxes_[1].caption, "Audio Devices");
    EXPECT_EQ(boxes_[1].style, msg::MB_OK | msg::MB_ICONINFORMATION);
}

TEST_F(AudioTools, PavucontrolOpensOnTheMatchingTabWithoutWaiting) {
    addFake("pavucontrol");
    openMixer();
    // Had the call waited for the tool, the fake would have finished by now.
    EXPECT_EQ(finishedCount(), 0);
    const QStringList files = waitForStarts(1);
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(started(files[0]), (Started{"pavucontrol", {"--tab=1"}}));

    openAudioDevices();
    EXPECT_EQ(finishedCount(), 0);
    const QStringList second = waitForStarts(1);
    ASSERT_EQ(second.size(), 1);
    EXPECT_EQ(started(second[0]), (Started{"pavucontrol", {"--tab=3"}}));
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(AudioTools, RunningTwiceStartsTwoProcesses) {
    addFake("pavucontrol");
    openMixer();
    openMixer();
    EXPECT_EQ(waitForStarts(2).size(), 2);
}

TEST_F(AudioTools, FallsBackInOrder) {
    const struct {
        std::vector<QString> installed;
        Started mixer;
        Started devices;
    } cases[] = {
        {{"pavucontrol-qt", "gnome-control-center"},
         {"pavucontrol-qt", {}},
         {"pavucontrol-qt", {}}},
        {{"gnome-control-center", "kcmshell5"},
         {"gnome-control-center", {"sound"}},
         {"gnome-control-center", {"sound"}}},
        {{"kcmshell5", "mate-volume-control"},
         {"kcmshell5", {"kcm_pulseaudio"}},
         {"kcmshell5", {"kcm_pulseaudio"}}},
        {{"cinnamon-settings"}, {"cinnamon-settings", {"sound"}}, {"cinnamon-settings", {"sound"}}},
    };
    for (const auto& c : cases) {
        for (const QString& name : QDir(bin_.path()).entryList(QDir::Files)) {
            QFile::remove(bin_.filePath(name));
        }
        for (const QString& name : c.installed) {
            addFake(name);
        }
        openMixer();
        QStringList files = waitForStarts(1);
        ASSERT_EQ(files.size(), 1);
        EXPECT_EQ(started(files[0]), c.mixer);
        openAudioDevices();
        files = waitForStarts(1);
        ASSERT_EQ(files.size(), 1);
        EXPECT_EQ(started(files[0]), c.devices);
    }
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(AudioTools, AToolThatWillNotStartGivesWayToTheNext) {
    addBroken("pavucontrol");
    addFake("gnome-control-center");
    openAudioDevices();
    const QStringList files = waitForStarts(1);
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(started(files[0]), (Started{"gnome-control-center", {"sound"}}));
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(AudioTools, OnlyABrokenToolIsReported) {
    addBroken("pavucontrol");
    openMixer();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, "The audio mixer program pavucontrol could not be started.");
    EXPECT_EQ(boxes_[0].caption, "Mixer");
    EXPECT_EQ(boxes_[0].style, msg::MB_OK | msg::MB_ICONWARNING);
}

} // namespace
} // namespace vesk
