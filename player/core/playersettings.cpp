#include "core/playersettings.h"

#include <QUrl>

#include <algorithm>
#include <cmath>

#include "common/settingsprovider.h"
#include "common/typedvalues.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

constexpr int kLargestWindowSide = 32767;

QString read(SettingsProvider& settings, QStringView section, QStringView key) {
    return settings.readSetting(kAppName, section, key);
}

int readSide(SettingsProvider& settings, QStringView key, int fallback) {
    const auto value = parseInt32(read(settings, kWindowSection, key));
    return value && *value > 0 && *value <= kLargestWindowSide ? *value : fallback;
}

// Whole pixel counts as plain digits ("200", never "2e+02"); fractions in the
// shortest single-precision form.
QString formatPixels(float value) {
    if (std::nearbyint(value) == value && std::abs(value) < 1e7F) {
        return QString::number(qint64(value));
    }
    return formatSingle(value);
}

}  // namespace

WindowSettings WindowSettings::load(SettingsProvider& settings) {
    WindowSettings result;
    result.size = QSize(readSide(settings, u"Width", kDefaultWidth),
                        readSide(settings, u"Height", kDefaultHeight));
    result.playBarBottom = parseSingle(read(settings, kWindowSection, u"PlayBarBottom"));
    if (const auto volume = parseInt32(read(settings, kWindowSection, u"Volume"))) {
        result.volume = std::clamp(*volume, 0, 100);
    }
    return result;
}

void WindowSettings::save(SettingsProvider& settings) const {
    settings.writeSettings(kAppName, kWindowSection,
                           {{u"Width"_s, QString::number(size.width())},
                            {u"Height"_s, QString::number(size.height())},
                            {u"PlayBarBottom"_s, formatPixels(playBarBottom.value_or(0.0F))},
                            {u"Volume"_s, QString::number(volume)}});
}

PortalConfig PortalConfig::load(SettingsProvider& settings) {
    PortalConfig config;
    config.baseUrl = settings.readSetting(kAppName, kPortalSection, u"BaseURL",
                                          u"http://www.quillmoor.example"_s);
    config.contactEmail = settings.readSetting(kAppName, kPortalSection, u"ContactEmail",
                                               u"info@quillmoor.example"_s);
    return config;
}

QString PortalConfig::pageUrl(QStringView path) const {
    QString base = baseUrl;
    while (base.endsWith(u'/')) {
        base.chop(1);
    }
    return base + path.toString();
}

QString PortalConfig::mailUrl() const {
    return u"mailto:"_s + contactEmail;
}

QString PortalConfig::domainName() const {
    return QUrl(baseUrl).host();
}

}  // namespace lyrevane
