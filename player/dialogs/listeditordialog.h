#pragma once

#include <QCoreApplication>
#include <QDialog>

#include <memory>

#include "core/listeditor.h"

class QComboBox;
class QHBoxLayout;
class QPushButton;

namespace lyrevane {

// What the list editors share: the model behind the list, the empty-list question asked
// before the dialog shows, Cancel, Esc and the close box going through the model, the list
// shown in the drop-down, and the buttons every editor has, made and wired here. An editor
// adds its fields (fields, showFields, clearTexts, focusField) and its own buttons.
class ListEditorDialog : public QDialog, protected ListEditorView {
    Q_DECLARE_TR_FUNCTIONS(ListEditorDialog)

public:
    // The dialog known as `name`, titled `title`.
    ListEditorDialog(const QString& name, const QString& title, QWidget* parent);
    ~ListEditorDialog() override;

    // Cancel, Esc and the close box.
    void reject() override;
    // Before the dialog shows: asks about an empty list (New or close); false when the
    // answer closed the dialog.
    bool askBeforeShowing();

protected:
    // The drop-down of the entries, in `frame`, named `name` and spoken as `spoken`.
    QComboBox* makeSelect(const QString& name, const QString& spoken, QWidget* frame);
    // New, Delete and Apply in `frame`, each described by its text, in a row of their own,
    // to the right.
    QHBoxLayout* makeEditButtons(QWidget* frame, const QString& newText, const QString& deleteText,
                                 const QString& applyText);
    // OK (the default button, for Enter) and Cancel (Esc too: reject()).
    void makeCloseButtons();

    // Makes the model over `entries` (loaded already), fills `select` and connects it and
    // the buttons to the model; call once, before showing. `entries` outlives the
    // dialog's editing.
    void startEditing(ListEntries& entries, PromptService& prompts, QComboBox* select);
    ListEditorModel& model() { return *model_; }

    // ListEditorView
    void showList(const QStringList& items, int selected) override;
    void closeEditor(bool saved) override;

    // The buttons every editor has, known outside by their object names.
    QPushButton* cmdNew = nullptr;
    QPushButton* cmdDelete = nullptr;
    QPushButton* cmdApply = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

private:
    QComboBox* select_ = nullptr;
    std::unique_ptr<ListEditorModel> model_;
    bool askFirst_ = false;
};

}  // namespace lyrevane
