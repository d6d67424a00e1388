#pragma once

#include <QSize>
#include <QString>

#include <optional>

namespace lyrevane {

class SettingsProvider;

inline constexpr QStringView kWindowSection = u"v1_0\\WindowSettings";
inline constexpr QStringView kPortalSection = u"v1_0\\Portal";

// The main window's stored size, splitter position and volume.
struct WindowSettings {
    static constexpr int kDefaultWidth = 640;
    static constexpr int kDefaultHeight = 480;
    static constexpr int kDefaultVolume = 75;

    QSize size{kDefaultWidth, kDefaultHeight};
    // Absent (or unreadable) means: the layout's default.
    std::optional<float> playBarBottom;
    int volume = kDefaultVolume;

    // Unreadable texts count as absent and give the defaults.
    static WindowSettings load(SettingsProvider& settings);
    void save(SettingsProvider& settings) const;
};

// Where the portal lives; built-in defaults unless the store says otherwise.
struct PortalConfig {
    QString baseUrl;
    QString contactEmail;

    static PortalConfig load(SettingsProvider& settings);

    // `path` on the portal's web server, e.g. "/player_interviews.shtml".
    QString pageUrl(QStringView path) const;
    QString startPageUrl() const { return pageUrl(u"/player_interviews.shtml"); }
    QString adPageUrl() const { return pageUrl(u"/player_creative.shtml"); }
    QString homePageUrl() const { return pageUrl(u"/"); }
    QString mailUrl() const;
    // The host name shown in the Home button's tool tip.
    QString domainName() const;
};

}  // namespace lyrevane
