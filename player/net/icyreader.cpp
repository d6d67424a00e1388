#include "net/icyreader.h"

#include <algorithm>

namespace lyrevane {

IcyReader::IcyReader(qint64 metaint)
    : metaint_(std::max<qint64>(metaint, 0)), audioLeft_(metaint_) {}

void IcyReader::feed(QByteArrayView bytes, QByteArray& audio, const BlockHandler& onBlock) {
    if (metaint_ == 0) {
        audio.append(bytes);
        return;
    }
    while (!bytes.isEmpty()) {
        switch (state_) {
            case State::Audio: {
                const qsizetype n =
                    static_cast<qsizetype>(std::min<qint64>(audioLeft_, bytes.size()));
                audio.append(bytes.first(n));
                bytes = bytes.sliced(n);
                audioLeft_ -= n;
                if (audioLeft_ == 0) {
                    state_ = State::Length;
                }
                break;
            }
            case State::Length:
                blockLeft_ = static_cast<qsizetype>(static_cast<unsigned char>(bytes.front())) * 16;
                bytes = bytes.sliced(1);
                block_.clear();
                if (blockLeft_ == 0) {
                    state_ = State::Audio;
                    audioLeft_ = metaint_;
                } else {
                    state_ = State::Block;
                }
                break;
            case State::Block: {
                const qsizetype n = std::min(blockLeft_, bytes.size());
                block_.append(bytes.first(n));
                bytes = bytes.sliced(n);
                blockLeft_ -= n;
                if (blockLeft_ == 0) {
                    state_ = State::Audio;
                    audioLeft_ = metaint_;
                    if (onBlock) {
                        onBlock(block_);
                    }
                    block_.clear();
                }
                break;
            }
        }
    }
}

}  // namespace lyrevane
