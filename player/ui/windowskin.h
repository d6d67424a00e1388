#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QSize>
#include <QStringList>

#include <memory>
#include <optional>

class QLabel;
class QWidget;

namespace lyrevane {

class PromptService;
class SettingsProvider;
class SkinConfiguration;
class SkinFrame;

// The main window's skin: the drawn frame, the skin's colour transforms kept in the
// settings, the face colour on the window's body and the skin folder's logo. A problem
// with a skin file is said once, after the current call has returned.
class WindowSkin final : public QObject {
    Q_DECLARE_TR_FUNCTIONS(WindowSkin)

public:
    // Puts the drawn frame on `window`.
    WindowSkin(QWidget& window, SettingsProvider& settings, PromptService& prompts);
    ~WindowSkin() override;

    // Shared by reference with the dialogs, which may edit it.
    SkinConfiguration& configuration() { return *skin_; }
    // Its face and text colours dress the dialogs too.
    const SkinFrame& frame() const { return *frame_; }
    // Where the skin files are: next to the program, else in its data folder.
    static QString defaultFolder();

    // Reads the transforms from the settings and attaches the skin; without its images
    // the window keeps the desktop's frame, and says so.
    void setUp();
    void save();
    // After the transforms have been edited: the frame takes them again.
    void reattach();
    // The face colour on `faced` (in order) and on the window; `own` (nulls skipped) keep
    // the desktop's colours and fill their background with them.
    void paint(const QList<QWidget*>& faced, const QList<QWidget*>& own);
    // Shows the skin folder's logo, drawn on the face colour, in `logo`, and returns its
    // size; none when the file cannot be loaded (said the first time only).
    std::optional<QSize> loadLogo(QLabel& logo);

private:
    // Problems found in one go share one message box.
    void reportProblem(const QString& text);

    QWidget& window_;
    SettingsProvider& settings_;
    PromptService& prompts_;
    std::unique_ptr<SkinConfiguration> skin_;
    SkinFrame* frame_ = nullptr;
    const QString folder_;
    bool logoProblemShown_ = false;
    QStringList problems_;  // waiting to be shown
};

}  // namespace lyrevane
