#pragma once

// Checks of a window's accessible tree, as a screen reader walks it.
#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleInterface>
#include <QHash>
#include <QKeySequence>
#include <QLabel>
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

// A visible label as it should be spoken: no access-key marker, no closing colon or dots.
inline QString SpokenLabel(QString text) {
    text.remove(u'&');
    while (text.endsWith(u':') || text.endsWith(u'.')) {
        text.chop(1);
    }
    return text.trimmed();
}

// The shown controls with a visible label (their own text, or a label whose buddy they
// are) whose accessible name does not contain it, as "objectName: name / label". A button
// is labelled by its own text; a label in front of it only gives its group an access key.
inline QStringList MislabelledControls(QWidget* root) {
    QStringList wrong;
    const auto check = [&wrong](QWidget* control, const QString& label) {
        const QString name =
            QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
        if (!name.contains(SpokenLabel(label))) {
            wrong.append(control->objectName() + QStringLiteral(": ") + name +
                         QStringLiteral(" / ") + SpokenLabel(label));
        }
    };
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        if (button->isVisible() && !button->text().isEmpty()) {
            check(button, button->text());
        }
    }
    for (QLabel* label : root->findChildren<QLabel*>()) {
        auto* buddy = label->buddy();
        if (label->isVisible() && buddy != nullptr &&
            qobject_cast<QAbstractButton*>(buddy) == nullptr) {
            check(buddy, label->text());
        }
    }
    return wrong;
}

// Access keys of the shown buttons and buddy labels used more than once, labels with an
// access key but no buddy (the key would do nothing) and buddy labels without a key.
inline QStringList ClashingAccessKeys(QWidget* root) {
    QStringList problems;
    QHash<QString, QString> owners;
    const auto note = [&](const QObject* owner, const QString& text) {
        const QString key = QKeySequence::mnemonic(text).toString();
        if (key.isEmpty()) {
            return;
        }
        if (owners.contains(key)) {
            problems.append(key + QStringLiteral(": ") + owners[key] + QStringLiteral(", ") +
                            owner->objectName() + u' ' + text);
        }
        owners.insert(key, owner->objectName() + u' ' + text);
    };
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        if (button->isVisible()) {
            note(button, button->text());
        }
    }
    for (QLabel* label : root->findChildren<QLabel*>()) {
        const bool keyed = !QKeySequence::mnemonic(label->text()).isEmpty();
        if (label->isVisible() && keyed != (label->buddy() != nullptr)) {
            problems.append((keyed ? QStringLiteral("no buddy: ") : QStringLiteral("no key: ")) +
                            label->text());
        }
        if (!label->isVisible() || !keyed) {
            continue;
        }
        note(label, label->text());
    }
    return problems;
}

}  // namespace lyrevane::testing
