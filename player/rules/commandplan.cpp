#include "rules/commandplan.h"

#include "platform/promptservice.h"
#include "rules/commandurl.h"
#include "rules/mediasourcecheck.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// Stands in where a check is asked to stay quiet.
class NoPrompts final : public PromptService {
public:
    void showMessage(const QString&, MessageIcon) override {}
    std::optional<QString> inputBox(const QString&, const QString&) override {
        return std::nullopt;
    }
    bool askYesNo(const QString&, MessageIcon) override { return false; }
};

CommandPlan refuse(QStringView message) {
    return {CommandPlan::Action::Refuse, {}, {}, message};
}

}  // namespace

CommandPlan planCommand(const QString& command, const QString& parameters) {
    using Action = CommandPlan::Action;
    if (command == u"browse"_s) {
        const QString page = unescapeURL(parameters);
        if (!isCommandPageUrl(page)) {
            return refuse(kPageNotAllowedMessage);
        }
        return {Action::Browse, page, {}, {}};
    }
    if (command == u"play"_s) {
        const QString media = unescapeURL(parameters);
        if (!isCommandMediaUrl(media)) {
            return refuse(kMediaNotAllowedMessage);
        }
        return {Action::Play, {}, media, {}};
    }
    if (command == u"browseandplay"_s) {
        const std::optional<BrowseAndPlayParts> parts = matchBrowseAndPlay(parameters);
        if (!parts) {
            return refuse(kInvalidParametersMessage);
        }
        // Each part is decoded by itself, so escaped "&" inside either URL stay intact.
        const QString page = unescapeURL(parts->page);
        const QString media = unescapeURL(parts->media);
        if (!isCommandPageUrl(page)) {
            return refuse(kPageNotAllowedMessage);
        }
        if (!isCommandMediaUrl(media)) {
            return refuse(kMediaNotAllowedMessage);
        }
        return {Action::BrowseAndPlay, page, media, {}};
    }
    if (command == u"schedule"_s) {
        return {Action::Schedule, {}, {}, {}};
    }
    return refuse(kUnknownCommandMessage);
}

StartPlan planStart(const QString& commandLine) {
    const std::optional<CommandUrl> command = matchCommandUrl(commandLine);
    if (!command) {
        // An empty command line, or one that is no command: start-up runs nothing.
        return {true, {}};
    }
    const CommandPlan plan = planCommand(command->command, command->parameters);
    switch (plan.action) {
        case CommandPlan::Action::Browse:
            return {true, {}};
        case CommandPlan::Action::Play:
        case CommandPlan::Action::BrowseAndPlay: {
            NoPrompts silent;
            if (checkMediaURL(plan.media, silent, true)) {
                return {true, plan.media};
            }
            return {};
        }
        case CommandPlan::Action::Schedule:
        case CommandPlan::Action::Refuse:
            break;
    }
    return {};
}

}  // namespace lyrevane
