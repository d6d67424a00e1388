#pragma once

#include <QString>

namespace lyrevane {

inline constexpr QStringView kFeatureDisabledMessage = u"Feature disabled.";
inline constexpr QStringView kUnknownCommandMessage = u"Unknown command.";
inline constexpr QStringView kInvalidParametersMessage = u"The command's parameters are invalid.";
inline constexpr QStringView kPageNotAllowedMessage =
    u"This address cannot be opened: only web pages (http or https) are allowed.";
inline constexpr QStringView kMediaNotAllowedMessage =
    u"This address cannot be played: only network streams (http, https, mms, mmsh or rtsp) "
    u"are allowed.";

// What one command will do, judged from its text alone: the checks that need no prompt.
// The media source screening (checkMediaURL) comes after this and is not part of it.
struct CommandPlan {
    enum class Action {
        Browse,         // the main pane opens `page`
        Play,           // `media` is screened, then played
        BrowseAndPlay,  // `media` is screened, then the main pane opens `page` and it plays
        Schedule,       // "Feature disabled."; from the command line the program ends
        Refuse,         // `message` is shown and nothing else happens
    };
    Action action = Action::Refuse;
    QString page;         // decoded
    QString media;        // decoded, as the engine receives it
    QStringView message;  // for Refuse
};
CommandPlan planCommand(const QString& command, const QString& parameters);

// How start-up will go for a command line. `quiet` when running it can show no message
// box and cannot end the program: no command line, a text that is no command URL, or a
// "browse", "play" or "browseandplay" command whose URLs pass every check. `media` is the
// URL the command hands to the media engine (empty when it plays nothing). The `Lyrevane`
// program and the player's module both ask it.
struct StartPlan {
    bool quiet = false;
    QString media;
};
StartPlan planStart(const QString& commandLine);

}  // namespace lyrevane
