#include "ui/statusline.h"

#include <QLabel>
#include <QStatusBar>
#include <QTextDocument>

#include "engine/mediaengine.h"
#include "engine/nowplaying.h"
#include "platform/promptservice.h"
#include "ui/spokenname.h"
#include "ui/tickingfield.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// "first · second", or whichever of the two is not empty.
QString joined(const QString& first, const QString& second) {
    if (first.isEmpty() || second.isEmpty()) {
        return first + second;
    }
    return first + u" \u00b7 "_s + second;
}

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
    // A screen reader reads each bar's text as its name, the bar's role as its description.
    sbStatusBar->setAccessibleDescription(tr("Status"));
    spokenStatus_ = new SpokenName(sbStatusBar);
    // What the station says it plays, on the right; the status texts keep the left.
    lblNowPlaying = new QLabel(sbStatusBar);
    lblNowPlaying->setObjectName(u"lblNowPlaying"_s);
    lblNowPlaying->setAccessibleDescription(tr("Now playing"));
    spokenNowPlaying_ = new SpokenName(lblNowPlaying);
    lblNowPlaying->setTextFormat(Qt::PlainText);
    lblNowPlaying->setMaximumWidth(320);
    // How long the programme has been recorded, beside it; it changes every second.
    fldRecording = new TickingField(sbStatusBar);
    fldRecording->setObjectName(u"fldRecording"_s);
    fldRecording->setAccessibleDescription(u"How long the programme has been recorded"_s);
    sbStatusBar->addPermanentWidget(fldRecording);
    sbStatusBar->addPermanentWidget(lblNowPlaying);
}

void StatusLine::setStatusText(const QString& text) {
    sbStatusBar->showMessage(text);
    spokenStatus_->say(text);
}

int StatusLine::height() const {
    return sbStatusBar->sizeHint().height();
}

QString StatusLine::showNowPlaying(const MediaEngine& engine) {
    // While a dropped stream is reconnected, since when and why; then the station again.
    QString text = isolatedText(engine.reconnecting());
    if (text.isEmpty()) {
        text = joined(
            behindLiveText(engine.behindLive(), engine.keepingStopped(), engine.catchingUp()),
            nowPlayingText(engine.stationName(), engine.nowPlaying()));
    }
    // A recording goes on across reconnections, and so does its field.
    const QString recording = recordingText(engine.recordingSeconds());
    fldRecording->setText(recording);
    // The recording's seconds change alone most of the time: the field beside them is laid
    // out again only when its own text changes.
    if (text != shownText_) {
        shownText_ = text;
        const QFontMetrics metrics(lblNowPlaying->font());
        lblNowPlaying->setText(
            metrics.elidedText(text, Qt::ElideRight, lblNowPlaying->maximumWidth()));
        lblNowPlaying->setToolTip(plainToolTip(text));
        spokenNowPlaying_->say(text);  // whole, as the tooltip shows it
    }
    return joined(recording, text);
}

QString StatusLine::windowToolTip(const QString& nowPlaying) {
    return nowPlaying.isEmpty() ? QString()
                                : plainToolTip(kAppTitle.toString() + u"\n"_s + nowPlaying);
}

}  // namespace lyrevane
