#pragma once

#include <QDialog>
#include <QList>

#include <initializer_list>
#include <memory>

#include "dialogs/dialogcontext.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace lyrevane {

// A dialog's push button: a screen reader says its caption without the access-key mark,
// and `description` says what it does.
QPushButton* describedButton(const QString& caption, const QString& name,
                             const QString& description, QWidget* parent);
// A text field named `name`, which a screen reader calls `spoken`.
QLineEdit* namedField(const QString& name, const QString& spoken, QWidget* parent);
// The caption of `buddy`: its access key moves the focus there.
QLabel* buddyLabel(const QString& caption, QWidget* buddy, QWidget* parent);
// `buttons` one below the other, from the top.
QVBoxLayout* buttonColumn(std::initializer_list<QWidget*> buttons);
// Tab moves through `widgets` in the order given.
void setTabChain(std::initializer_list<QWidget*> widgets);

// Skins a dialog that the main window owns: its frame from the owner's skin
// configuration, and the face colour on the dialog and on `faceColourWidgets` (in the
// order given); the dialog's text takes the skin's text colour. Each dialog calls it
// from setOwner. Without the skin images the dialog keeps the desktop's frame.
void attachOwnerSkin(QDialog& dialog, const DialogContext& owner,
                     const QList<QWidget*>& faceColourWidgets);
// `widget` keeps the desktop's background and button colours whatever its parent wears.
void keepDesktopColours(QWidget& widget);

// Opens one of the main window's dialogs the common way: a fresh instance every time
// (it loads its own data), given the main window's context, shown modally over it.
// Returns once the dialog has closed, handing it back so that the caller can read
// what it reports (for example whether it was cancelled).
// `Dialog` is a QDialog with a constructor taking the parent widget and a
// `setOwner(const DialogContext&)` operation.
template <typename Dialog>
std::unique_ptr<Dialog> openOwnedDialog(const DialogContext& owner) {
    auto dialog = std::make_unique<Dialog>(&owner.window);
    dialog->setOwner(owner);
    // A question about the dialog's data comes before it shows: an answer may close it.
    if constexpr (requires { dialog->askBeforeShowing(); }) {
        if (!dialog->askBeforeShowing()) {
            return dialog;
        }
    }
    dialog->setWindowModality(Qt::WindowModal);
    dialog->exec();
    return dialog;
}

}  // namespace lyrevane
