#include "feed/timeshift.h"

#include <algorithm>
#include <utility>

namespace lyrevane {

void TimeShift::reset() {
    entries_.clear();
    heard_.reset();
}

void TimeShift::add(Entry entry) {
    if (entries_.size() >= kMaxEntries) {
        // The second oldest merges into the oldest: its audio plays under the oldest title.
        entries_.front().merged += 1 + entries_[1].merged;
        entries_.erase(entries_.begin() + 1);
    }
    // A position never goes back within a stream; one that does (a new stream) starts over.
    if (!entries_.empty() && entries_.back().position > entry.position) {
        entries_.clear();
    }
    entries_.push_back(std::move(entry));
}

void TimeShift::noteTitle(std::uint64_t position, const QString& title, const QDateTime& at) {
    Entry entry;
    entry.position = position;
    entry.at = at;
    entry.title = title;
    add(std::move(entry));
}

void TimeShift::noteGap(std::uint64_t position, const QDateTime& lost, const QDateTime& back) {
    Entry entry;
    entry.position = position;
    entry.at = lost;
    entry.back = back;
    entry.gap = true;
    // The title goes on after the gap.
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        if (!it->gap) {
            entry.title = it->title;
            break;
        }
    }
    add(std::move(entry));
}

void TimeShift::forget(std::uint64_t oldest) {
    while (entries_.size() > 1 && entries_[1].position <= oldest) {
        entries_.pop_front();
    }
}

std::optional<QString> TimeShift::titleAt(std::uint64_t position) {
    const auto after =
        std::upper_bound(entries_.begin(), entries_.end(), position,
                         [](std::uint64_t at, const Entry& entry) { return at < entry.position; });
    if (after == entries_.begin()) {
        return std::nullopt;
    }
    const QString& title = std::prev(after)->title;
    if (heard_ == title) {
        return std::nullopt;
    }
    heard_ = title;
    return title;
}

std::optional<std::uint64_t> TimeShift::titleStart(std::uint64_t position) const {
    auto it =
        std::upper_bound(entries_.begin(), entries_.end(), position,
                         [](std::uint64_t at, const Entry& entry) { return at < entry.position; });
    // Back over the gaps within the title, to where it began.
    while (it != entries_.begin()) {
        --it;
        if (!it->gap) {
            return it->position;
        }
    }
    return std::nullopt;
}

}  // namespace lyrevane
