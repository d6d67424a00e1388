#pragma once

// A window's or dialog's widget or action found by its object name, the name the layout and
// the accessibility tests know it by; the test fails when there is none.
#include <gtest/gtest.h>

#include <QAction>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QString>

namespace lyrevane::testing {

template <typename T>
T* named(const QObject& owner, const QString& name) {
    T* found = owner.findChild<T*>(name);
    if (found == nullptr) {
        ADD_FAILURE() << "no " << T::staticMetaObject.className() << " named "
                      << name.toStdString();
    }
    return found;
}

template <typename T>
T* named(const QObject& owner, const char* name) {
    return named<T>(owner, QString::fromLatin1(name));
}

// The main window's broker entries, in their popup's order.
inline QList<QAction*> brokerEntries(const QObject& window) {
    QList<QAction*> found;
    if (const QMenu* popup = named<QMenu>(window, "mnuOnlineBrokers")) {
        for (QAction* action : popup->actions()) {
            if (action->objectName() == u"mnuOnlineBrokersEntry") {
                found.append(action);
            }
        }
    }
    return found;
}

}  // namespace lyrevane::testing
