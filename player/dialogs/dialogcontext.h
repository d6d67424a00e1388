#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace lyrevane {

class PromptService;
class SettingsProvider;
class SkinConfiguration;
class UrlOpener;
struct PortalConfig;

// What the main window's dialogs may use of the player, handed to each dialog by the window
// that opens it. Everything referred to outlives the dialogs.
struct DialogContext {
    QWidget& window;  // the dialogs' parent
    SettingsProvider& settings;
    PromptService& prompts;
    UrlOpener& opener;
    const PortalConfig& portal;
    SkinConfiguration& skin;
    // Re-reads the brokers menu once the Online Brokers dialog has saved the list.
    std::function<void()> reloadOnlineBrokers;
    // The media rules on an address; `quiet` refuses without a message.
    std::function<bool(const QString& url, bool quiet)> checkMediaUrl;
    // The listener's offset from GMT, as the schedule stores it.
    std::function<qint32()> gmtOffset;
};

}  // namespace lyrevane
