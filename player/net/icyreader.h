#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>

namespace lyrevane {

// Splits a stream that carries ICY metadata into its audio and its metadata blocks. The
// server sends `metaint` audio bytes, then one length byte (the block's size in units of 16
// bytes, 0 for none), then the block, and so on. Works on any slicing of the stream.
class IcyReader {
public:
    using BlockHandler = std::function<void(QByteArrayView block)>;

    // `metaint` of 0 (or less) means the stream carries no metadata: all bytes are audio.
    explicit IcyReader(qint64 metaint = 0);

    // Appends the audio in `bytes` to `audio` and calls `onBlock` for every metadata block
    // that is complete (empty blocks are skipped).
    void feed(QByteArrayView bytes, QByteArray& audio, const BlockHandler& onBlock);

    qint64 metaint() const { return metaint_; }

private:
    enum class State { Audio, Length, Block };

    qint64 metaint_;
    State state_ = State::Audio;
    qint64 audioLeft_ = 0;
    qsizetype blockLeft_ = 0;
    QByteArray block_;
};

}  // namespace lyrevane
