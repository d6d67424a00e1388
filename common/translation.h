#pragma once

#include <QTranslator>

namespace lyrevane {

// Installs the translation for the user's locale, when one is installed: the folder
// share/lyrevane/translations beside the program's own folder holds one
// lyrevane_<language>.qm per language (translations/CMakeLists.txt). Without one the texts stay
// as written, in English. `translator` must live as long as the application object.
bool installTranslation(QTranslator& translator);

}  // namespace lyrevane
