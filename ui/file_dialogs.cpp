// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit.h"

#include "ui/messages.h"
#include "ui/toolkit_detail.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QStringList>

#include <utility>

namespace vesk::ui {

namespace {

FileDialogAnswer& hook() {
    static FileDialogAnswer instance;
    return instance;
}

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::int32_t runChooser(bool save, Window owner, const std::string& caption, std::string& fileName,
                        const std::string& initialDirectory, const std::string& filter,
                        const std::string& defaultExtension, std::uint32_t flags) {
    if (hook()) {
        std::string answer = fileName;
        if (!hook()(caption, answer)) {
            return 0; // cancelled: the given name stays
        }
        fileName = answer;
        return 1;
    }
    if (QApplication::instance() == nullptr) {
        return 0;
    }
    const QString directory = initialDirectory.empty()
                                  ? QDir::currentPath()
                                  : QFile::decodeName(initialDirectory.c_str());
    QWidget* ownerWindow = detail::dialogWidget(owner);
    QFileDialog chooser(ownerWindow, fromUtf8(caption), directory,
                        fromUtf8(detail::qtFileFilter(filter)));
    // Modal to its owner alone (exec() alone would hold back every window).
    chooser.setWindowModality(ownerWindow != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
    // Qt's own chooser works the same under every platform plugin, offscreen included.
    chooser.setOption(QFileDialog::DontUseNativeDialog, true);
    chooser.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    chooser.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (save && !(flags & msg::OFN_OVERWRITEPROMPT)) {
        chooser.setOption(QFileDialog::DontConfirmOverwrite, true);
    }
    QString suffix = fromUtf8(defaultExtension);
    while (suffix.startsWith(QLatin1Char('.'))) {
        suffix.remove(0, 1);
    }
    chooser.setDefaultSuffix(suffix);
    if (!fileName.empty()) {
        chooser.selectFile(QFile::decodeName(fileName.c_str()));
    }
    const detail::ForeignModalScope scope;
    if (chooser.exec() != QDialog::Accepted) {
        return 0;
    }
    const QStringList chosen = chooser.selectedFiles();
    if (chosen.isEmpty()) {
        return 0;
    }
    fileName = QFile::encodeName(QDir::toNativeSeparators(chosen.first())).toStdString();
    return 1;
}

} // namespace

namespace detail {

std::string qtFileFilter(const std::string& filter) {
    const QStringList parts = fromUtf8(filter).split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        QString patterns = parts[i + 1].trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        patterns = patterns.simplified();
        if (patterns.isEmpty()) {
            continue;
        }
        const QString bracketed = QLatin1Char('(') + patterns + QLatin1Char(')');
        // "text-Files (*.txt)" already names its pattern; Qt takes the last bracket group.
        entries << (description.endsWith(bracketed) ? description
                    : description.isEmpty()         ? bracketed
                                                    : description + QLatin1Char(' ') + bracketed);
    }
    const QByteArray joined = entries.join(QStringLiteral(";;")).toUtf8();
    return std::string(joined.constData(), static_cast<std::size_t>(joined.size()));
}

} // namespace detail

std::int32_t openFileDialog(Window owner, const std::string& caption, std::string& fileName,
                            const std::string& initialDirectory, const std::string& filter,
                            const std::string& defaultExtension, std::uint32_t& flags) {
    return runChooser(false, owner, caption, fileName, initialDirectory, filter, defaultExtension,
                      flags);
}

std::int32_t saveFileDialog(Window owner, const std::string& caption, std::string& fileName,
                            const std::string& initialDirectory, const std::string& filter,
                            const std::string& defaultExtension, std::uint32_t& flags) {
    return runChooser(true, owner, caption, fileName, initialDirectory, filter, defaultExtension,
                      flags);
}

void setFileDialogHook(FileDialogAnswer answer) {
    hook() = std::move(answer);
}

} // namespace vesk::ui
