#include "dialogs/dialogs.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/skinframe.h"
#include "skin/skinconfiguration.h"

namespace lyrevane {

QPushButton* describedButton(const QString& caption, const QString& name,
                             const QString& description, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAccessibleName(QString(caption).remove(u'&'));
    button->setAccessibleDescription(description);
    return button;
}

QLineEdit* namedField(const QString& name, const QString& spoken, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setAccessibleName(spoken);
    return edit;
}

QLabel* buddyLabel(const QString& caption, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    return label;
}

QVBoxLayout* buttonColumn(std::initializer_list<QWidget*> buttons) {
    auto* column = new QVBoxLayout;
    for (QWidget* button : buttons) {
        column->addWidget(button);
    }
    column->addStretch();
    return column;
}

void setTabChain(std::initializer_list<QWidget*> widgets) {
    QWidget* previous = nullptr;
    for (QWidget* widget : widgets) {
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, widget);
        }
        previous = widget;
    }
}

void attachOwnerSkin(QDialog& dialog, const DialogContext& owner,
                     const QList<QWidget*>& faceColourWidgets) {
    auto* frame = new SkinFrame(dialog, SkinFrame::Style{});
    frame->attach(owner.skin);
    const QColor face = toQColor(frame->faceColour());
    QPalette palette = dialog.palette();
    palette.setColor(QPalette::Window, face);
    palette.setColor(QPalette::WindowText, toQColor(frame->textColour()));
    dialog.setPalette(palette);
    dialog.setAutoFillBackground(true);
    for (QWidget* widget : faceColourWidgets) {
        QPalette own = widget->palette();
        own.setColor(QPalette::Window, face);
        own.setColor(QPalette::Button, face);
        widget->setPalette(own);
        widget->setAutoFillBackground(true);
    }
}

void keepDesktopColours(QWidget& widget) {
    const QPalette desktop = QApplication::palette(&widget);
    QPalette palette = widget.palette();
    for (const QPalette::ColorRole role : {QPalette::Window, QPalette::Button}) {
        for (const QPalette::ColorGroup group :
             {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            palette.setColor(group, role, desktop.color(group, role));
        }
    }
    widget.setPalette(palette);
}

}  // namespace lyrevane
