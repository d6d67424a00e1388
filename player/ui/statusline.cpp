#include "ui/statusline.h"

#include <QLabel>
#include <QStatusBar>
#include <QTextDocument>

#include "engine/mediaengine.h"
#include "engine/nowplaying.h"
#include "platform/promptservice.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// Tooltips guess rich text: what a server sent is made plain text, so that markup in a
// title neither shows nor loads anything.
QString plainToolTip(const QString& text) {
    return text.isEmpty() ? QString() : Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
}

}  // namespace

StatusLine::StatusLine(QWidget* parent) {
    sbStatusBar = new QStatusBar(parent);
    sbStatusBar->setObjectName(u"sbStatusBar"_s);
    sbStatusBar->setSizeGripEnabled(false);
    sbStatusBar->setAccessibleName(u"Status"_s);
    // What the station says it plays, on the right; the status texts keep the left.
    lblNowPlaying = new QLabel(sbStatusBar);
    lblNowPlaying->setObjectName(u"lblNowPlaying"_s);
    lblNowPlaying->setAccessibleName(u"Now playing"_s);
    lblNowPlaying->setTextFormat(Qt::PlainText);
    lblNowPlaying->setMaximumWidth(320);
    sbStatusBar->addPermanentWidget(lblNowPlaying);
}

void StatusLine::SetStatusText(const QString& text) {
    sbStatusBar->showMessage(text);
}

int StatusLine::Height() const {
    return sbStatusBar->sizeHint().height();
}

QString StatusLine::ShowNowPlaying(const MediaEngine& engine) {
    // While a dropped stream is reconnected, since when and why; then the station again.
    QString text = IsolatedText(engine.reconnecting());
    if (text.isEmpty()) {
        text = NowPlayingText(engine.stationName(), engine.nowPlaying());
        const QString behind = BehindLiveText(engine.behindLive(), engine.keepingStopped());
        for (const QString& part : {behind, RecordingText(engine.recordingSeconds())}) {
            if (!part.isEmpty()) {
                text = text.isEmpty() ? part : part + u" \u00b7 "_s + text;
            }
        }
    }
    const QFontMetrics metrics(lblNowPlaying->font());
    lblNowPlaying->setText(metrics.elidedText(text, Qt::ElideRight, lblNowPlaying->maximumWidth()));
    lblNowPlaying->setToolTip(plainToolTip(text));
    return text;
}

QString StatusLine::WindowToolTip(const QString& nowPlaying) {
    return nowPlaying.isEmpty() ? QString()
                                : plainToolTip(kAppTitle.toString() + u"\n"_s + nowPlaying);
}

}  // namespace lyrevane
