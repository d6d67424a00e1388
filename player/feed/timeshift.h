#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <deque>
#include <optional>

namespace lyrevane {

// What is known of the programme a live stream kept: where in its audio each title began (a
// title arrives with the bytes that follow it, which play only once the bytes before them
// have), and where the connection was lost and made again. Positions are byte offsets in the
// stream's audio, as its FeedBuffer counts them. Bounded: under a flood of titles the oldest
// entries merge, so that all the audio kept still has a title.
class TimeShift {
public:
    struct Entry {
        std::uint64_t position = 0;
        QDateTime at;  // when it arrived
        QString title;
        // A lost connection: from `at` until `back`, nothing arrived; its position is where
        // the audio after it begins.
        bool gap = false;
        QDateTime back;
        int merged = 0;  // later entries merged into this one
    };

    static constexpr std::size_t kMaxEntries = 2000;

    // A new stream: nothing known.
    void reset();

    // The network sent `title` before byte `position` of the stream.
    void noteTitle(std::uint64_t position, const QString& title, const QDateTime& at);
    // The connection was lost at `lost` and made again at `back`, the audio going on at
    // `position`.
    void noteGap(std::uint64_t position, const QDateTime& lost, const QDateTime& back);
    // Entries that began before `oldest` and have a later one at or before it are gone with
    // the audio they named.
    void forget(std::uint64_t oldest);

    // The title of what plays once `position` bytes of the stream were read, when it changed
    // since last asked.
    std::optional<QString> titleAt(std::uint64_t position);
    // Where the title playing at `position` began, when a title was known there.
    std::optional<std::uint64_t> titleStart(std::uint64_t position) const;
    const std::deque<Entry>& entries() const { return entries_; }

private:
    void add(Entry entry);

    std::deque<Entry> entries_;
    std::optional<QString> heard_;
};

}  // namespace lyrevane
