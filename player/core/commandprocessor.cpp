#include "core/commandprocessor.h"

#include "core/playbackcontroller.h"
#include "platform/platform.h"
#include "platform/promptservice.h"
#include "rules/mediasourcecheck.h"

namespace lyrevane {

CommandProcessor::CommandProcessor(PromptService& prompts, BrowserPane& mainPane,
                                   PlaybackController& playback,
                                   std::function<void()> unloadMainWindow)
    : prompts_(prompts),
      mainPane_(mainPane),
      playback_(playback),
      unloadMainWindow_(std::move(unloadMainWindow)) {}

bool CommandProcessor::executeCommand(const QString& command, const QString& parameters,
                                      bool fromCommandLine) {
    const CommandPlan plan = planCommand(command, parameters);
    switch (plan.action) {
        case CommandPlan::Action::Browse:
            mainPane_.navigate(plan.page);
            break;
        case CommandPlan::Action::Play:
            if (checkMediaURL(plan.media, prompts_)) {
                playback_.openMedia(plan.media);
            }
            break;
        case CommandPlan::Action::BrowseAndPlay:
            // A refused source opens neither the page nor the media.
            if (checkMediaURL(plan.media, prompts_)) {
                mainPane_.navigate(plan.page);
                playback_.openMedia(plan.media);
            }
            break;
        case CommandPlan::Action::Schedule:
            exclaim(kFeatureDisabledMessage);
            if (fromCommandLine && unloadMainWindow_) {
                unloadMainWindow_();
            }
            return false;
        case CommandPlan::Action::Refuse:
            exclaim(plan.message);
            break;
    }
    return true;
}

void CommandProcessor::exclaim(QStringView text) {
    prompts_.showMessage(text.toString(), MessageIcon::Exclamation);
}

}  // namespace lyrevane
