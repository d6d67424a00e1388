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
// is its last two labels, or three under a common second-level suffix ("co.uk").
QString SiteOf(const QUrl& url);

// How a command requested by `initiator` (the origin of the frame that started the
// navigation; empty or "null" when opaque) relates to `topPage`, the URL the main pane
// showed when the command was asked for.
CommandOrigin JudgeCommandOrigin(const QUrl& topPage, const QUrl& initiator);

}  // namespace lyrevane
