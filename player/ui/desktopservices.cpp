#include "ui/desktopservices.h"

#include <QApplication>
#include <QDesktopServices>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

namespace lyrevane {

namespace {

QMessageBox::Icon boxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Exclamation:
            return QMessageBox::Warning;
        case MessageIcon::Critical:
            return QMessageBox::Critical;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

QWidget* DialogPromptService::ownerIfShown() const {
    return owner_ && owner_->isVisible() ? owner_.data() : nullptr;
}

QWidget* DialogPromptService::boxParent() const {
    // Over an open modal dialog (an editor of the main window), else over the window.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        return modal;
    }
    return ownerIfShown();
}

void DialogPromptService::showMessage(const QString& text, MessageIcon icon) {
    QMessageBox box(boxIcon(icon), kAppTitle.toString(), text, QMessageBox::Ok, boxParent());
    // Messages quote URLs and servers' words: never taken as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool DialogPromptService::askYesNo(const QString& text, MessageIcon icon) {
    QMessageBox box(boxIcon(icon), kAppTitle.toString(), text, QMessageBox::Yes | QMessageBox::No,
                    boxParent());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> DialogPromptService::inputBox(const QString& prompt,
                                                     const QString& defaultText) {
    bool ok = false;
    QString answer = QInputDialog::getText(ownerIfShown(), kAppTitle.toString(), prompt,
                                           QLineEdit::Normal, defaultText, &ok);
    if (!ok) {
        return std::nullopt;
    }
    return answer;
}

void DesktopUrlOpener::openExternally(const QString& url) {
    QDesktopServices::openUrl(QUrl(url, QUrl::TolerantMode));
}

}  // namespace lyrevane
