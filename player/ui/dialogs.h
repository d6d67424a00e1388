#pragma once

#include <QDialog>

#include <memory>

#include "frmmain.h"

namespace lyrevane {

// Opens one of the main window's dialogs the common way: a fresh instance every time
// (it loads its own data), its Owner set to the main window, shown modally over it.
// Returns once the dialog has closed, handing it back so that the caller can read
// what it reports (for example whether it was cancelled).
// `Dialog` is a QDialog with a constructor taking the parent widget and a
// `SetOwner(frmMain&)` operation.
template <typename Dialog>
std::unique_ptr<Dialog> OpenOwnedDialog(frmMain& owner) {
    auto dialog = std::make_unique<Dialog>(&owner);
    dialog->SetOwner(owner);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->exec();
    return dialog;
}

}  // namespace lyrevane
