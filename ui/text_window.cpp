// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit.h"

#include "ui/toolkit_detail.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>

// A window that shows a long text to read (the manual): one per owner, above it, closed with it.
namespace vesk::ui {

void textWindowShow(Window owner, const std::string& caption, const std::string& text) {
    QWidget* parent = detail::dialogWidget(owner);
    if (QApplication::instance() == nullptr) {
        return;
    }
    const QString name = QStringLiteral("textWindow");
    QDialog* window = parent != nullptr ? parent->findChild<QDialog*>(name) : nullptr;
    if (window == nullptr) {
        window = new QDialog(parent);
        window->setObjectName(name);
        window->setAttribute(Qt::WA_DeleteOnClose);
        auto* view = new QPlainTextEdit(window);
        view->setObjectName(QStringLiteral("text"));
        view->setReadOnly(true);
        view->setLineWrapMode(QPlainTextEdit::NoWrap);
        view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, window);
        QObject::connect(buttons, &QDialogButtonBox::rejected, window, &QDialog::close);
        auto* layout = new QVBoxLayout(window);
        layout->addWidget(view);
        layout->addWidget(buttons);
        // 84 columns and 40 lines where the screen has room for them.
        const QFontMetrics metrics(view->font());
        QSize size(metrics.horizontalAdvance(QLatin1Char('M')) * 84 + 40,
                   metrics.lineSpacing() * 40 + 60);
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
        }
        window->resize(size);
    }
    window->setWindowTitle(QString::fromStdString(caption));
    window->findChild<QPlainTextEdit*>(QStringLiteral("text"))
        ->setPlainText(QString::fromStdString(text));
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace vesk::ui
