#pragma once

#include <QDialog>

#include <memory>

#include "core/listeditor.h"

class QComboBox;
class QPushButton;

namespace lyrevane {

// What the list editors share: the model behind the list, the empty-list question asked
// before the dialog shows, Cancel, Esc and the close box going through the model, the list
// shown in the drop-down, and the wiring of the buttons every editor has. An editor adds
// its fields (fields, showFields, clearTexts, focusField) and its own buttons.
class ListEditorDialog : public QDialog, protected ListEditorView {
public:
    using QDialog::QDialog;
    ~ListEditorDialog() override;

    // Cancel, Esc and the close box.
    void reject() override;
    // Before the dialog shows: asks about an empty list (New or close); false when the
    // answer closed the dialog.
    bool askBeforeShowing();

protected:
    struct Controls {
        QComboBox* select = nullptr;
        QPushButton* newEntry = nullptr;
        QPushButton* deleteEntry = nullptr;
        QPushButton* apply = nullptr;
        QPushButton* ok = nullptr;
        QPushButton* cancel = nullptr;
    };

    // Makes the model over `entries` (loaded already), fills the list and connects the
    // controls to it; call once, before showing. `entries` outlives the dialog's editing.
    void startEditing(ListEntries& entries, PromptService& prompts, const Controls& controls);
    ListEditorModel& model() { return *model_; }

    // ListEditorView
    void showList(const QStringList& items, int selected) override;
    void closeEditor(bool saved) override;

private:
    QComboBox* select_ = nullptr;
    std::unique_ptr<ListEditorModel> model_;
    bool askFirst_ = false;
};

}  // namespace lyrevane
