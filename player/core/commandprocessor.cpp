#include "commandprocessor.h"

#include "commandurl.h"
#include "mediasourcecheck.h"
#include "platform.h"
#include "playbackcontroller.h"
#include "promptservice.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

CommandProcessor::CommandProcessor(PromptService& prompts, BrowserPane& mainPane,
                                   PlaybackController& playback,
                                   std::function<void()> unloadMainWindow)
    : prompts_(prompts),
      mainPane_(mainPane),
      playback_(playback),
      unloadMainWindow_(std::move(unloadMainWindow)) {}

bool CommandProcessor::ExecuteCommand(const QString& command, const QString& parameters,
                                      bool fromCommandLine) {
    if (command == u"browse"_s) {
        Browse(parameters);
    } else if (command == u"play"_s) {
        Play(parameters);
    } else if (command == u"browseandplay"_s) {
        BrowseAndPlay(parameters);
    } else if (command == u"schedule"_s) {
        Exclaim(kFeatureDisabledMessage);
        if (fromCommandLine && unloadMainWindow_) {
            unloadMainWindow_();
        }
        return false;
    } else {
        Exclaim(kUnknownCommandMessage);
    }
    return true;
}

void CommandProcessor::Browse(const QString& parameters) {
    const QString page = UnescapeURL(parameters);
    if (!IsCommandPageUrl(page)) {
        Exclaim(kPageNotAllowedMessage);
        return;
    }
    mainPane_.Navigate(page);
}

void CommandProcessor::Play(const QString& parameters) {
    const QString media = UnescapeURL(parameters);
    if (!IsCommandMediaUrl(media)) {
        Exclaim(kMediaNotAllowedMessage);
        return;
    }
    if (CheckMediaURL(media, prompts_)) {
        playback_.OpenMedia(media);
    }
}

void CommandProcessor::BrowseAndPlay(const QString& parameters) {
    const std::optional<BrowseAndPlayParts> parts = MatchBrowseAndPlay(parameters);
    if (!parts) {
        Exclaim(kInvalidParametersMessage);
        return;
    }
    // Each part is decoded by itself, so escaped "&" inside either URL stay intact.
    const QString page = UnescapeURL(parts->page);
    const QString media = UnescapeURL(parts->media);
    if (!IsCommandPageUrl(page)) {
        Exclaim(kPageNotAllowedMessage);
        return;
    }
    if (!IsCommandMediaUrl(media)) {
        Exclaim(kMediaNotAllowedMessage);
        return;
    }
    if (!CheckMediaURL(media, prompts_)) {
        return;
    }
    mainPane_.Navigate(page);
    playback_.OpenMedia(media);
}

void CommandProcessor::Exclaim(QStringView text) {
    prompts_.ShowMessage(text.toString(), MessageIcon::Exclamation);
}

}  // namespace lyrevane
