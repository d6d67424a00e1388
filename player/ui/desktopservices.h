#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/platform.h"
#include "platform/promptservice.h"

namespace lyrevane {

// Message boxes and input boxes captioned with the application title, over the main
// window once it is shown.
class DialogPromptService final : public PromptService {
public:
    void setOwner(QWidget* owner) { owner_ = owner; }
    void showMessage(const QString& text, MessageIcon icon) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& defaultText) override;
    bool askYesNo(const QString& text, MessageIcon icon) override;

private:
    QWidget* ownerIfShown() const;
    QWidget* boxParent() const;
    QPointer<QWidget> owner_;
};

// The desktop's default browser and mail program.
class DesktopUrlOpener final : public UrlOpener {
public:
    void openExternally(const QString& url) override;
};

}  // namespace lyrevane
