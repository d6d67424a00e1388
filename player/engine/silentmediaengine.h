#pragma once

#include "engine/mediaengine.h"

namespace lyrevane {

// Stands in where no media library is built in, or none is wanted: it keeps the URL and the
// volume it is given and plays nothing. Engines that only pretend (in tests) build on it.
class SilentMediaEngine : public MediaEngine {
public:
    void setUrl(const QString& url) override { url_ = url; }
    QString url() const override { return url_; }
    void play() override {}
    void pause() override {}
    void stop() override {}
    bool isAvailable(Control) const override { return false; }
    void setVolume(int volume) override { volume_ = volume; }
    int volume() const override { return volume_; }
    int openState() const override { return OpenUndefined; }
    int playState() const override { return PlayUndefined; }
    int errorCount() const override { return 0; }
    QString errorDescription(int) const override { return {}; }

private:
    QString url_;
    int volume_ = 50;
};

}  // namespace lyrevane
