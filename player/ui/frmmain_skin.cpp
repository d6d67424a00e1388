// The main window's skin: set-up and save, the face colour on the body, the logo, and
// the Customise Skin dialog.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QWebEngineView>

#include "dialogs/dialogs.h"
#include "dialogs/frmcustomiseskin.h"
#include "dialogs/skinframe.h"
#include "platform/promptservice.h"
#include "skin/picture.h"
#include "skin/skinconfiguration.h"
#include "ui/frmmain.h"

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

QString frmMain::DefaultSkinFolder() {
    const QString programFolder = QCoreApplication::applicationDirPath();
    if (QFileInfo::exists(QDir(programFolder).filePath(u"captionbar.gif"_s))) {
        return programFolder;
    }
    return QDir::cleanPath(programFolder + u"/../share/lyrevane"_s);
}

void frmMain::SetUpSkin() {
    skin_->transform = LoadSkinSettings(services_.settings);
    const QStringList missing = skin_->SetUp(font(), skinFolder_);
    if (!frame_->Attach(*skin_) && !missing.isEmpty()) {
        QString text;
        for (const QString& path : missing) {
            text += u"Error loading picture "_s + path + u'\n';
        }
        ReportSkinProblem(text + u"The window keeps the desktop's frame."_s);
    }
    ApplySkinColours();
}

void frmMain::SaveSkin() {
    SaveSkinSettings(services_.settings, skin_->transform);
}

void frmMain::ApplySkinColours() {
    const QColor face = ToQColor(frame_->FaceColour());
    for (QWidget* widget : {static_cast<QWidget*>(client_), static_cast<QWidget*>(picPlayBar),
                            Picture1, static_cast<QWidget*>(cmdPlay),
                            static_cast<QWidget*>(cmdPause), static_cast<QWidget*>(cmdStop),
                            static_cast<QWidget*>(cmdHome), static_cast<QWidget*>(cmdMail)}) {
        setFace(widget, face);
    }
    // The window behind the menu bar and the frame wears the face colour too.
    setFace(this, face);
    // The brokers button, the volume slider, the status bar and the panes keep theirs.
    for (QWidget* own : {static_cast<QWidget*>(cmdBrokers), static_cast<QWidget*>(sldVolume),
                         static_cast<QWidget*>(sbStatusBar), static_cast<QWidget*>(webBrowser),
                         static_cast<QWidget*>(webAd)}) {
        if (own != nullptr) {  // the panes may come later, see BuildPanes
            KeepDesktopColours(*own);
            // Drawn over their own colour, not the face colour of the body behind them.
            own->setAutoFillBackground(true);
        }
    }

    int width = -1;
    int height = -1;
    const QString path = QDir(skinFolder_).filePath(u"Lyrevane.png"_s);
    const LoadedPicture logo = LoadScaledPicture(path, width, height, FromQColor(face), false);
    if (logo.error) {
        // The drawn logo stays; its transparent parts show the face colour.
        if (!logoProblemShown_) {
            logoProblemShown_ = true;
            ReportSkinProblem(logo.error->description);
        }
    } else {
        imgLogo->setPixmap(QPixmap::fromImage(logo.picture));
        imgLogo->resize(logo.picture.size());
        layout_.SetLogoSize(logo.picture.size());
        // At start-up the window is sized (and laid out) right after this.
        if (isVisible()) {
            layout_.Resize(client_->size(), isMinimized());
            ApplyLayout();
        }
    }
    update();
}

void frmMain::ReportSkinProblem(const QString& text) {
    // Problems found in one go (both images and the logo) share one message box.
    skinProblems_.append(text);
    if (skinProblems_.size() == 1) {
        QTimer::singleShot(0, this, [this] {
            const QString message = skinProblems_.join(u'\n');
            skinProblems_.clear();
            services_.prompts.ShowMessage(message, MessageIcon::Exclamation);
        });
    }
}

void frmMain::CustomizeSkin() {
    const std::unique_ptr<frmCustomiseSkin> dialog = OpenOwnedDialog<frmCustomiseSkin>(Dialogs());
    if (!dialog->Cancelled()) {
        skin_->transform = dialog->SkinConfiguration().transform;
        ReapplySkin();
    }
}

void frmMain::ReapplySkin() {
    frame_->Attach(*skin_);
    ApplySkinColours();
}

}  // namespace lyrevane
