#pragma once

// Checks of a window's accessible tree, as a screen reader walks it.
#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleInterface>
#include <QHash>
#include <QKeySequence>
#include <QLabel>
#include <QStatusBar>
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

// What the shown controls' labels fail to give: an accessible name that holds the visible
// label (a button's own text; for other controls, the label whose buddy they are), an access
// key on each buddy label and a buddy for each keyed label, and (with `keys`) access keys
// used only once. Labels are compared without "&" and a closing colon or dots.
inline QStringList LabelProblems(QWidget* root, bool keys = true) {
    QStringList problems;
    QHash<QString, QString> keyOwners;
    const auto label = [&](QWidget* control, QString text, bool named) {
        const QString key = QKeySequence::mnemonic(text).toString();
        if (keys && !key.isEmpty() && keyOwners.contains(key)) {
            problems.append(key + QStringLiteral(" twice: ") + keyOwners[key] + u' ' + text);
        }
        keyOwners.insert(key, text);
        text.remove(u'&');
        while (text.endsWith(u':') || text.endsWith(u'.')) {
            text.chop(1);
        }
        const QString name =
            QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
        if (named && !name.contains(text.trimmed())) {
            problems.append(control->objectName() + QStringLiteral(" is called ") + name);
        }
    };
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        if (button->isVisible() && !button->text().isEmpty()) {
            label(button, button->text(), true);
        }
    }
    for (QLabel* text : root->findChildren<QLabel*>()) {
        const bool keyed = !QKeySequence::mnemonic(text->text()).isEmpty();
        if (text->isVisible() && (keyed || text->buddy() != nullptr)) {
            if (keyed != (text->buddy() != nullptr)) {
                problems.append(text->text() + QStringLiteral(": a key without a buddy or back"));
            }
            label(text->buddy() ? text->buddy() : text, text->text(),
                  qobject_cast<QAbstractButton*>(text->buddy()) == nullptr);
        }
    }
    return problems;
}

// The shown texts that a screen reader would not hear: labels (other than a control's
// caption) whose accessible name does not hold what they show, a text cut short to fit
// included, and status bars not named by their message.
inline QStringList UnspokenTexts(QWidget* root) {
    QStringList unspoken;
    const auto spoken = [](QWidget* widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    };
    for (QLabel* label : root->findChildren<QLabel*>()) {
        QString shown = label->text();
        shown.chop(shown.endsWith(QChar(0x2026)) ? 1 : 0);
        if (label->isVisible() && label->buddy() == nullptr && !spoken(label).contains(shown)) {
            unspoken.append(label->objectName() + u' ' + spoken(label));
        }
    }
    for (QStatusBar* bar : root->findChildren<QStatusBar*>()) {
        if (spoken(bar) != bar->currentMessage()) {
            unspoken.append(bar->objectName() + u' ' + spoken(bar));
        }
    }
    return unspoken;
}

}  // namespace lyrevane::testing
