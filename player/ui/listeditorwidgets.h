#pragma once

#include <QComboBox>
#include <QSignalBlocker>
#include <QStringList>

namespace lyrevane {

// Puts a list editor's items and selection into its drop-down list without reporting
// them as the user's choice; the items are rebuilt only when they changed.
inline void ShowListItems(QComboBox* combo, const QStringList& items, int selected) {
    const QSignalBlocker blocker(combo);
    QStringList shown;
    for (int i = 0; i < combo->count(); ++i) {
        shown.append(combo->itemText(i));
    }
    if (shown != items) {
        combo->clear();
        combo->addItems(items);
    }
    combo->setCurrentIndex(selected);
}

}  // namespace lyrevane
