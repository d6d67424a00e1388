#pragma once

#include <QCoreApplication>
#include <QString>

class QLabel;
class QStatusBar;
class QWidget;

namespace lyrevane {

class MediaEngine;
class SpokenName;
class TickingField;

// The window's status bar: the player's status texts on the left, what the station
// plays on the right.
class StatusLine final {
    Q_DECLARE_TR_FUNCTIONS(StatusLine)

public:
    explicit StatusLine(QWidget* parent);

    void setStatusText(const QString& text);
    int height() const;
    // Shows the engine's station and title (or its reconnection, how far behind live it
    // plays) elided to the field, and the recording's length beside it; returns the whole
    // text, the recording's length first.
    QString showNowPlaying(const MediaEngine& engine);
    // The window's tooltip for `nowPlaying`: the program's title and that text, as plain
    // text that markup from a server neither shows nor loads; empty for an empty text.
    static QString windowToolTip(const QString& nowPlaying);

    QStatusBar* sbStatusBar = nullptr;
    QLabel* lblNowPlaying = nullptr;
    TickingField* fldRecording = nullptr;

private:
    QString shownText_;
    // The names a screen reader reads: the status text, the whole now-playing text.
    SpokenName* spokenStatus_ = nullptr;
    SpokenName* spokenNowPlaying_ = nullptr;
};

}  // namespace lyrevane
