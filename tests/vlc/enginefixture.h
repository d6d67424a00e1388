#pragma once

#include "enginetest.h"

#include <gtest/gtest.h>

#include <memory>

namespace lyrevane::testing {

// Test media (generated once per run) served from 127.0.0.1, with playlists pointing
// at it.
class EngineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

    static QString url(const QString& path) { return server_->url(path); }
    // Sets `path` of the test server on `engine` and waits for it to play.
    static bool startPlaying(MediaEngine& engine, const QString& path) {
        engine.setUrl(url(path));
        return reaches(engine, MediaEngine::Playing);
    }
    // Paths requested from the server since the test began.
    QStringList requests() const { return server_->requests().mid(firstRequest_); }
    // Paths the player looked at itself since the test began.
    QStringList looks() const { return server_->looks().mid(firstLook_); }

    static std::unique_ptr<QTemporaryDir> media_;
    static std::unique_ptr<StreamServer> server_;
    static int refusedPort_;
    qsizetype firstRequest_ = 0;
    qsizetype firstLook_ = 0;
};

}  // namespace lyrevane::testing
