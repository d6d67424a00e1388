#pragma once

#include <QString>
#include <QStringView>

#include <gtest/gtest.h>

#include <utility>

namespace lyrevane::testing {

// Checks that `read` (a stored skin setting by key) gives the texts the first-run skin
// transform is stored as.
template <typename Read>
void expectFirstRunSkinTexts(Read read) {
    const std::pair<QStringView, QString> texts[] = {
        {u"Colourise", QStringLiteral("True")},    {u"Hue", QStringLiteral("1.47")},
        {u"Saturation", QStringLiteral("0.34")},   {u"AdjustRGB", QStringLiteral("True")},
        {u"PercentRed", QStringLiteral("-0.13")},  {u"PercentGreen", QStringLiteral("-0.12")},
        {u"PercentBlue", QStringLiteral("-0.09")},
    };
    for (const auto& [key, text] : texts) {
        EXPECT_EQ(read(key), text) << key.toString().toStdString();
    }
}

}  // namespace lyrevane::testing
