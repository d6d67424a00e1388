#pragma once

// Checks of a window's accessible tree, as a screen reader walks it.
#include <QAccessible>
#include <QAccessibleInterface>
#include <QStringList>
#include <QWidget>

#include <functional>

namespace lyrevane::testing {

// Roles of the controls a user operates.
inline bool IsControlRole(QAccessible::Role role) {
    switch (role) {
        case QAccessible::Button:
        case QAccessible::ButtonMenu:
        case QAccessible::ButtonDropDown:
        case QAccessible::CheckBox:
        case QAccessible::RadioButton:
        case QAccessible::ComboBox:
        case QAccessible::EditableText:
        case QAccessible::Slider:
        case QAccessible::SpinBox:
        case QAccessible::Link:
            return true;
        default:
            return false;
    }
}

// Visits every accessible node under `root` that is shown, without entering web pages
// (their content is the page author's).
inline void WalkAccessible(QWidget* root, const std::function<void(QAccessibleInterface*)>& visit) {
    std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
        if (node == nullptr || node->state().invisible) {
            return;
        }
        visit(node);
        if (node->role() == QAccessible::WebDocument || node->role() == QAccessible::Document) {
            return;
        }
        for (int i = 0; i < node->childCount(); ++i) {
            walk(node->child(i));
        }
    };
    walk(QAccessible::queryAccessibleInterface(root));
}

// The shown controls that a screen reader could not name, as "objectName (role n)".
inline QStringList NamelessControls(QWidget* root) {
    QStringList nameless;
    WalkAccessible(root, [&](QAccessibleInterface* node) {
        if (IsControlRole(node->role()) && node->text(QAccessible::Name).trimmed().isEmpty()) {
            const QObject* object = node->object();
            nameless.append((object ? object->objectName() : QStringLiteral("?")) +
                            QStringLiteral(" (role %1)").arg(int(node->role())));
        }
    });
    return nameless;
}

// The shown, enabled controls that Tab never reaches.
inline QStringList ControlsOutOfTabReach(QWidget* root) {
    QStringList unreachable;
    WalkAccessible(root, [&](QAccessibleInterface* node) {
        auto* widget = qobject_cast<QWidget*>(node->object());
        if (widget == nullptr || !IsControlRole(node->role()) || !widget->isEnabled()) {
            return;
        }
        if (!(widget->focusPolicy() & Qt::TabFocus)) {
            unreachable.append(widget->objectName());
        }
    });
    return unreachable;
}

}  // namespace lyrevane::testing
