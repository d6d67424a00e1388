#pragma once

#include <QString>
#include <QUrl>

namespace lyrevane {

// Who asked the main pane for a "lyrev:" command, judged against the page shown on top.
enum class CommandOrigin {
    SameSite,   // the top page itself or a frame of its site: the command runs
    Opaque,     // a sandboxed frame or a document with no origin of its own
    OtherSite,  // a frame or window of another site
};

// The site of a URL: its scheme and registrable host. An address is its own site; a name
// is its registrable domain by the Public Suffix List ("portal.github.io", "example.co.uk").
QString siteOf(const QUrl& url);

// How a command requested by `initiator` (the origin of the frame that started the
// navigation; empty or "null" when opaque) relates to `topPage`, the URL the main pane
// showed when the command was asked for.
CommandOrigin judgeCommandOrigin(const QUrl& topPage, const QUrl& initiator);

// Which new windows a pane may open: one per click or key press of the user, and only
// when the browser engine, too, saw the request come from the user.
class NewWindowGate {
public:
    enum class Verdict {
        Open,
        NotFromTheUser,    // a script opened it on its own
        OneAlreadyOpened,  // the click or key press has had its window
    };
    void userInput() { inputUnused_ = true; }
    Verdict ask(bool userInitiated) {
        if (!userInitiated) {
            return Verdict::NotFromTheUser;
        }
        if (!inputUnused_) {
            return Verdict::OneAlreadyOpened;
        }
        inputUnused_ = false;
        return Verdict::Open;
    }

private:
    bool inputUnused_ = false;
};

}  // namespace lyrevane
