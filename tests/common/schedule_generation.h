#pragma once

#include "common/schedule.h"

namespace lyrevane::testing {

// A schedule whose every value names its generation, so that a read mixing two
// rewrites is detected. The number of broadcasts and their names vary too.
inline Schedule generation(int g) {
    Schedule s;
    s.AutoLaunchEnabled = g % 2 == 0;
    s.StartEarlierOffset = qint16(g % 1000);
    const int count = 3 + g % 5;
    for (int i = 0; i < count; ++i) {
        Broadcast b;
        b.Name = QStringLiteral("G%1_B%2").arg(g % 7).arg(i);
        b.Time = datevalue::fromParts(datevalue::referenceDay(), QTime(i, g % 60));
        b.MediaURL = QStringLiteral("http://gen.example/%1/%2").arg(g).arg(i);
        b.Days = qint16(g % 127 + 1);
        b.LastActive = datevalue::fromDate(QDate(2026, 1, 1).addDays(g % 300));
        s.Broadcasts.append(b);
    }
    return s;
}

// The generation a read schedule belongs to: 0 for an empty store, -1 when the
// schedule mixes generations or misses keys.
inline int checkGeneration(const Schedule& s) {
    if (s.Broadcasts.isEmpty()) {
        return 0;
    }
    const QString url = s.Broadcasts.front().MediaURL;
    const QStringList parts = url.split(u'/');
    if (parts.size() != 5) {
        return -1;
    }
    bool ok = false;
    const int g = parts[3].toInt(&ok);
    if (!ok) {
        return -1;
    }
    Schedule expected = generation(g);
    for (Broadcast& b : expected.Broadcasts) {
        b.LastActive = datevalue::fromDate(QDate(2026, 1, 1).addDays(g % 300));
    }
    return s == expected ? g : -1;
}

}  // namespace lyrevane::testing
