#include "engine/rundown.h"

#include "engine/nowplaying.h"

#include <QCoreApplication>

namespace lyrevane {

namespace {

QString agoText(const QDateTime& then, const QDateTime& now) {
    const qint64 minutes = then.secsTo(now) / 60;
    if (minutes < 1) {
        return QCoreApplication::translate("Rundown", "just now");
    }
    if (minutes < 60) {
        return QCoreApplication::translate("Rundown", "%1 min ago").arg(minutes);
    }
    return QCoreApplication::translate("Rundown", "%1 h %2 min ago")
        .arg(minutes / 60)
        .arg(minutes % 60);
}

QString clockText(const QDateTime& at) {
    return at.time().toString(QStringLiteral("HH:mm"));
}

}  // namespace

QList<RundownRow> rundownRows(const QList<MediaEngine::ProgrammeItem>& items,
                              std::chrono::milliseconds position, const QDateTime& now) {
    QList<RundownRow> rows;
    rows.reserve(items.size());
    qsizetype playing = -1;
    for (const MediaEngine::ProgrammeItem& item : items) {
        RundownRow row;
        row.at = item.at;
        row.gap = item.gap;
        if (item.gap) {
            row.text = QCoreApplication::translate("Rundown", "connection lost %1\u2013%2")
                           .arg(clockText(item.arrived), clockText(item.back));
        } else {
            QString title = item.title.isEmpty()
                                ? QCoreApplication::translate("Rundown", "(no title)")
                                : isolatedText(item.title);
            if (item.merged > 0) {
                title =
                    QCoreApplication::translate("Rundown", "%1 (and %n more)", nullptr, item.merged)
                        .arg(title);
            }
            row.text = clockText(item.arrived) + QStringLiteral("  ") + title +
                       QStringLiteral("  ") + agoText(item.arrived, now);
        }
        if (item.at <= position) {
            playing = rows.size();
        }
        rows.append(row);
    }
    // The title that plays: the last one begun, over any gap within it.
    while (playing > 0 && rows[playing].gap) {
        --playing;
    }
    if (playing >= 0) {
        rows[playing].playing = true;
    }
    return rows;
}

QString timelineText(std::chrono::milliseconds behind) {
    const QString text = behindLiveText(behind, false);
    return text.isEmpty() ? QCoreApplication::translate("Rundown", "Live") : text;
}

}  // namespace lyrevane
