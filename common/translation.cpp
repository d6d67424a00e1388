#include "common/translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

bool installTranslation(QTranslator& translator) {
    const QString folder = QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                           u"/../share/lyrevane/translations"_s);
    return translator.load(QLocale(), u"lyrevane"_s, u"_"_s, folder) &&
           QCoreApplication::installTranslator(&translator);
}

}  // namespace lyrevane
