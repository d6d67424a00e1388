#pragma once

#include <memory>

#include "early/drawingenvironment.h"

namespace lyrevane {

class EarlyConnection;

// What the small `Lyrevane` program hands to the player it loads: the work it did in its
// first milliseconds, before the toolkit's and the browser engine's libraries were loaded.
struct LaunchHandoff {
    // The command line's stream, being connected to; empty when not connected early.
    std::shared_ptr<EarlyConnection> early;
    // How the window draws, as set in the environment before any thread started.
    drawingenvironment::Choice drawing;
};

}  // namespace lyrevane

// The player's entry point in its module, found by this name.
extern "C" {
using LyrevanePlayerMainFunction = int (*)(int argc, char** argv, lyrevane::LaunchHandoff* handoff);
}
#define LYREVANE_PLAYER_MAIN_SYMBOL "LyrevanePlayerMain"
