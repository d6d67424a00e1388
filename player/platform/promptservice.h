#pragma once

#include <QString>

#include <optional>

namespace lyrevane {

// The caption of the player's main window and of every message box and input box.
inline constexpr QStringView kAppTitle = u"Quillmoor(tm) Vendrasel";

enum class MessageIcon { None, Information, Exclamation, Critical, Question };

// Modal questions and notices to the user. Implementations caption every box with
// kAppTitle and give message boxes a single OK button; questions have Yes and No.
class PromptService {
public:
    virtual ~PromptService() = default;
    virtual void showMessage(const QString& text, MessageIcon icon) = 0;
    // The typed answer, or nullopt when the user cancelled.
    virtual std::optional<QString> inputBox(const QString& prompt, const QString& defaultText) = 0;
    // A question with Yes and No buttons; true for Yes. Closing the box answers No.
    virtual bool askYesNo(const QString& text, MessageIcon icon) = 0;
};

}  // namespace lyrevane
