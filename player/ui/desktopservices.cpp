#include "desktopservices.h"

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
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

QWidget* DialogPromptService::ownerIfShown() const {
    return owner_ && owner_->isVisible() ? owner_.data() : nullptr;
}

void DialogPromptService::ShowMessage(const QString& text, MessageIcon icon) {
    QMessageBox box(boxIcon(icon), kAppTitle.toString(), text, QMessageBox::Ok, ownerIfShown());
    box.exec();
}

std::optional<QString> DialogPromptService::InputBox(const QString& prompt,
                                                     const QString& defaultText) {
    bool ok = false;
    QString answer = QInputDialog::getText(ownerIfShown(), kAppTitle.toString(), prompt,
                                           QLineEdit::Normal, defaultText, &ok);
    if (!ok) {
        return std::nullopt;
    }
    return answer;
}

void DesktopUrlOpener::OpenExternally(const QString& url) {
    QDesktopServices::openUrl(QUrl(url, QUrl::TolerantMode));
}

}  // namespace lyrevane
