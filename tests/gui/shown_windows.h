// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Windows that come up inside a modal loop of their own: found, then acted on from that loop.
#include <QApplication>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

namespace vesk {

// The child of `window` named `name`; a failure when there is none.
template <class T> T* child(QWidget& window, const char* name) {
    T* found = window.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// The visible top-level window of type T (titled `title`, when one is given), or nullptr.
template <class T = QWidget> T* visibleTopLevel(const QString& title = {}) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* found = qobject_cast<T*>(widget);
        if (found != nullptr && found->isVisible() &&
            (title.isEmpty() || found->windowTitle() == title)) {
            return found;
        }
    }
    return nullptr;
}

// Runs `act` on the first visible T (titled `title`, when one is given), looked for every
// 10 ms for at most 3 s; the wait ends with `context`.
template <class T>
void whenShown(std::function<void(T*)> act, QObject* context = qApp, const QString& title = {},
               int tries = 300) {
    QTimer::singleShot(10, context, [act, context, title, tries] {
        if (T* window = visibleTopLevel<T>(title)) {
            act(window);
        } else if (tries > 0) {
            whenShown<T>(act, context, title, tries - 1);
        } else {
            ADD_FAILURE() << "no " << T::staticMetaObject.className() << " " << title.toStdString()
                          << " came up";
        }
    });
}

} // namespace vesk
