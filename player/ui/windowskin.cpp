#include "ui/windowskin.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>

#include "dialogs/dialogs.h"
#include "dialogs/skinframe.h"
#include "platform/promptservice.h"
#include "skin/picture.h"
#include "skin/skinconfiguration.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// `widget` paints its background (and, for buttons, its face) in `colour`; children
// that set no colour of their own inherit it.
void setFace(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    palette.setColor(QPalette::Button, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

}  // namespace

WindowSkin::WindowSkin(QWidget& window, SettingsProvider& settings, PromptService& prompts)
    : window_(window),
      settings_(settings),
      prompts_(prompts),
      skin_(std::make_unique<SkinConfiguration>()),
      frame_(new SkinFrame(window, SkinFrame::Style{.minimiseButton = true,
                                                    .maximiseButton = true,
                                                    .icon = true,
                                                    .resizable = true,
                                                    .doubleClickMaximises = true})),
      folder_(defaultFolder()) {}

WindowSkin::~WindowSkin() = default;

QString WindowSkin::defaultFolder() {
    const QString programFolder = QCoreApplication::applicationDirPath();
    if (QFileInfo::exists(QDir(programFolder).filePath(u"captionbar.gif"_s))) {
        return programFolder;
    }
    return QDir::cleanPath(programFolder + u"/../share/lyrevane"_s);
}

void WindowSkin::setUp() {
    skin_->transform = loadSkinSettings(settings_);
    const QStringList missing = skin_->setUp(window_.font(), folder_);
    if (!frame_->attach(*skin_) && !missing.isEmpty()) {
        QString text;
        for (const QString& path : missing) {
            text += tr("Error loading picture %1").arg(path) + u'\n';
        }
        reportProblem(text + tr("The window keeps the desktop's frame."));
    }
}

void WindowSkin::save() {
    saveSkinSettings(settings_, skin_->transform);
}

void WindowSkin::reattach() {
    frame_->attach(*skin_);
}

void WindowSkin::paint(const QList<QWidget*>& faced, const QList<QWidget*>& own) {
    const QColor face = toQColor(frame_->faceColour());
    for (QWidget* widget : faced) {
        setFace(widget, face);
    }
    // The window behind the menu bar and the frame wears the face colour too.
    setFace(&window_, face);
    for (QWidget* widget : own) {
        if (widget != nullptr) {
            keepDesktopColours(*widget);
            // Drawn over their own colour, not the face colour of the body behind them.
            widget->setAutoFillBackground(true);
        }
    }
}

std::optional<QSize> WindowSkin::loadLogo(QLabel& logo) {
    int width = -1;
    int height = -1;
    const QString path = QDir(folder_).filePath(u"Lyrevane.png"_s);
    const QColor face = toQColor(frame_->faceColour());
    const LoadedPicture loaded = loadScaledPicture(path, width, height, fromQColor(face), false);
    if (loaded.error) {
        // The drawn logo stays; its transparent parts show the face colour.
        if (!logoProblemShown_) {
            logoProblemShown_ = true;
            reportProblem(loaded.error->description);
        }
        return std::nullopt;
    }
    logo.setPixmap(QPixmap::fromImage(loaded.picture));
    logo.resize(loaded.picture.size());
    return loaded.picture.size();
}

void WindowSkin::reportProblem(const QString& text) {
    // Problems found in one go (both images and the logo) share one message box.
    problems_.append(text);
    if (problems_.size() == 1) {
        QTimer::singleShot(0, this, [this] {
            const QString message = problems_.join(u'\n');
            problems_.clear();
            prompts_.showMessage(message, MessageIcon::Exclamation);
        });
    }
}

}  // namespace lyrevane
