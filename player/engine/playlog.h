#pragma once

#include "engine/vlcmessages.h"

#include <QString>
#include <QStringList>

namespace lyrevane {

// The error lines the media library logged about the current entry, and the reasons they give
// in plain words: since the entry opened (across reconnections; cleared again once its audio
// plays, from when they explain a drop) and since the current reconnection attempt opened.
// A bounded number of each is kept.
class PlayLog {
public:
    void note(const QString& line, bool forEntry, bool forAttempt) {
        if (forEntry && entry_.size() < kMaxLines) {
            entry_.append(line);
        }
        if (forAttempt && attempt_.size() < kMaxLines) {
            attempt_.append(line);
        }
    }
    void clear() { entry_.clear(); }
    void clearAttempt() { attempt_.clear(); }

    QString openFailure(const QString& name) const {
        return vlcmessages::openFailure(entry_, name);
    }
    QString connectionLost(const QString& name, const QString& fallbackReason = {}) const {
        return vlcmessages::connectionLost(entry_, name, fallbackReason);
    }
    QString reason(const QString& fallbackReason) const {
        return vlcmessages::reason(entry_, fallbackReason);
    }
    QString attemptReason() const { return vlcmessages::reason(attempt_); }

private:
    static constexpr qsizetype kMaxLines = 32;

    QStringList entry_;
    QStringList attempt_;
};

}  // namespace lyrevane
