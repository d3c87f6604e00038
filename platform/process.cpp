// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/process.h"

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace vesk::platform {

bool startDetached(const std::string& program, const std::vector<std::string>& args) {
    if (program.empty()) {
        return false;
    }
    QStringList arguments;
    arguments.reserve(static_cast<qsizetype>(args.size()));
    for (const std::string& arg : args) {
        arguments.append(QString::fromStdString(arg));
    }
    return QProcess::startDetached(QString::fromStdString(program), arguments);
}

std::string findExecutable(const std::string& name) {
    if (name.empty()) {
        return {};
    }
    return QStandardPaths::findExecutable(QString::fromStdString(name)).toStdString();
}

} // namespace vesk::platform
