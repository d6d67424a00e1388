#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <gtest/gtest.h>

#include <memory>
#include <utility>

namespace lyrevane::testing {

// Serves a new `Adaptor` at `path` on `bus` under the name `service`. The adaptor is made
// on an object that `owner` keeps, followed by `args`.
template <typename Adaptor, typename... Args>
Adaptor* serveOnBus(QDBusConnection bus, std::unique_ptr<QObject>& owner, const QString& path,
                    const QString& service, Args&&... args) {
    owner = std::make_unique<QObject>();
    auto* adaptor = new Adaptor(owner.get(), std::forward<Args>(args)...);
    EXPECT_TRUE(bus.registerObject(path, owner.get(), QDBusConnection::ExportAdaptors));
    EXPECT_TRUE(bus.registerService(service));
    return adaptor;
}

}  // namespace lyrevane::testing
