// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit_internal.h"

#include "ui/messages.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

// Menus: popups built as items are added, bars built when attached to a dialog, and the
// commands their items post.
namespace vesk::ui {

using namespace vesk::msg;
using namespace internal;

namespace {

template <class Fn> void forEachMenuItem(Menu menu, const Fn& fn, int depth = 0) {
    auto& menus = registry().menus;
    auto it = menus.find(menu);
    if (it == menus.end() || depth > 16) {
        return;
    }
    for (MenuItem& item : it->second.items) {
        fn(item);
        if (item.submenu != 0) {
            forEachMenuItem(item.submenu, fn, depth + 1);
        }
    }
}

bool isCommand(const MenuItem& item) {
    return item.submenu == 0 && item.text != "-";
}

// A command item chosen in any way (mouse, keyboard, code) posts its command to the dialog
// whose bar holds the menu at that time. Like the platform, the command is queued: the menu
// has closed when it runs.
void connectCommand(QAction* action, Menu menu, std::int32_t commandId) {
    QObject::connect(action, &QAction::triggered, action, [menu, commandId] {
        auto& menus = registry().menus;
        auto it = menus.find(menu);
        if (it != menus.end() && it->second.attachedTo != 0) {
            postMessage(it->second.attachedTo, WM_COMMAND,
                        makeWParam(static_cast<std::uint32_t>(commandId), 0), 0);
        }
    });
}

// Puts an item of `menu` on screen at the end of `target` (a popup or a bar): a separator, its
// submenu under the item's text, or a command.
QAction* addItemAction(QWidget& target, Menu menu, const MenuItem& item) {
    auto& menus = registry().menus;
    auto sub = menus.find(item.submenu);
    QMenu* popup = item.submenu != 0 && sub != menus.end() ? sub->second.popup.data() : nullptr;
    QAction* action = nullptr;
    if (item.text == "-") {
        action = new QAction(&target);
        action->setSeparator(true);
    } else if (popup != nullptr) {
        popup->setTitle(fromUtf8(item.text));
        action = popup->menuAction();
    } else {
        action = new QAction(fromUtf8(item.text), &target);
        connectCommand(action, menu, item.commandId);
    }
    target.addAction(action);
    action->setEnabled(item.enabled);
    return action;
}

// Marks `menu` and the menus below it as shown in `dialog`'s bar.
void attachMenuTree(Menu menu, Window dialog, int depth = 0) {
    auto& menus = registry().menus;
    auto it = menus.find(menu);
    if (it == menus.end() || depth > 16) {
        return;
    }
    it->second.attachedTo = dialog;
    for (const MenuItem& item : it->second.items) {
        if (item.submenu != 0) {
            attachMenuTree(item.submenu, dialog, depth + 1);
        }
    }
}

// Builds the dialog's bar afresh from its menu; items marked right-justified go to a second bar
// in the top right corner. The client area keeps its size.
void buildMenuBar(DialogRecord& rec) {
    if (!rec.window) {
        return;
    }
    QWidget* clientWidget = rec.client;
    const QSize client = clientWidget != nullptr ? clientWidget->size() : QSize();
    delete rec.bar;
    rec.bar = nullptr;
    rec.cornerBar = nullptr; // owned by the bar
    auto& menus = registry().menus;
    auto it = menus.find(rec.menu);
    if (it != menus.end()) {
        attachMenuTree(rec.menu, rec.handle);
        auto* bar = new QMenuBar(rec.window);
        bar->setNativeMenuBar(false);
        QMenuBar* corner = nullptr;
        for (MenuItem& item : it->second.items) {
            QMenuBar* target = bar;
            if (item.rightJustified) {
                if (!corner) {
                    corner = new QMenuBar(bar);
                    corner->setNativeMenuBar(false);
                }
                target = corner;
            }
            item.action = addItemAction(*target, rec.menu, item);
        }
        if (corner) {
            bar->setCornerWidget(corner, Qt::TopRightCorner);
        }
        rec.bar = bar;
        rec.cornerBar = corner;
        bar->show();
    }
    if (rec.client) {
        setClientSize(rec, client);
    }
}

} // namespace

namespace internal {

const MenuItem* findMenuItem(Menu menu, std::uint32_t low, int depth) {
    auto& menus = registry().menus;
    auto it = menus.find(menu);
    if (it == menus.end() || depth > 16) {
        return nullptr;
    }
    for (const MenuItem& item : it->second.items) {
        if (item.submenu != 0) {
            if (const MenuItem* found = findMenuItem(item.submenu, low, depth + 1)) {
                return found;
            }
        } else if (item.text != "-" && loWord(static_cast<std::uint32_t>(item.commandId)) == low) {
            return &item;
        }
    }
    return nullptr;
}

void detachMenus(Window dialog) {
    for (auto& [menu, record] : registry().menus) {
        if (record.attachedTo == dialog) {
            record.attachedTo = 0;
        }
    }
}

} // namespace internal

Menu menuNew(bool bar) {
    if (QCoreApplication::instance() == nullptr) {
        return 0;
    }
    const Menu handle = newHandle();
    if (handle == 0) {
        return 0;
    }
    MenuRecord record;
    record.bar = bar;
    if (!bar) {
        // Menus live as long as the program: handles are never reused.
        record.popup = new QMenu();
    }
    registry().menus.emplace(handle, std::move(record));
    return handle;
}

void menuAdd(Menu menu, const std::string& text, std::int32_t commandId, Menu submenu, bool enabled,
             Handler itemHandler, bool rightJustified) {
    auto& menus = registry().menus;
    auto it = menus.find(menu);
    if (it == menus.end() || submenu == menu) {
        return;
    }
    MenuItem item;
    item.text = text;
    item.commandId = commandId;
    item.submenu = menus.count(submenu) != 0 ? submenu : 0;
    item.enabled = enabled;
    item.handler = std::move(itemHandler);
    item.rightJustified = rightJustified;
    MenuRecord& record = it->second;
    if (QMenu* popup = record.bar ? nullptr : record.popup.data()) {
        item.action = addItemAction(*popup, menu, item);
    }
    record.items.push_back(std::move(item));
    if (record.bar && record.attachedTo != 0) {
        if (auto rec = findDialog(record.attachedTo)) {
            buildMenuBar(*rec);
        }
    }
}

void menuAttach(Window dialog, Menu bar) {
    auto rec = findDialog(dialog);
    if (!rec || rec->destroying) {
        return;
    }
    auto& menus = registry().menus;
    auto it = menus.find(bar);
    rec->menu = it != menus.end() && it->second.bar ? bar : 0;
    if (rec->menu != 0) {
        it->second.attachedTo = dialog;
    }
    buildMenuBar(*rec);
}

void menuEnable(Window dialog, std::int32_t commandId, bool enabled) {
    auto rec = findDialog(dialog);
    if (!rec || rec->menu == 0) {
        return;
    }
    forEachMenuItem(rec->menu, [&](MenuItem& item) {
        if (isCommand(item) && item.commandId == commandId) {
            item.enabled = enabled;
            if (item.action) {
                item.action->setEnabled(enabled);
            }
        }
    });
}

bool menuIsEnabled(Window dialog, std::int32_t commandId) {
    auto rec = findDialog(dialog);
    if (!rec || rec->menu == 0) {
        return false;
    }
    bool enabled = false;
    bool found = false;
    forEachMenuItem(rec->menu, [&](const MenuItem& item) {
        if (!found && isCommand(item) && item.commandId == commandId) {
            found = true;
            enabled = item.enabled;
        }
    });
    return enabled;
}

} // namespace vesk::ui
