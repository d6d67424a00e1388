#include "dialogs/listeditordialog.h"

#include <QComboBox>
#include <QPushButton>
#include <QSignalBlocker>

namespace lyrevane {

ListEditorDialog::~ListEditorDialog() = default;

void ListEditorDialog::StartEditing(ListEntries& entries, PromptService& prompts,
                                    const Controls& controls) {
    select_ = controls.select;
    model_ =
        std::make_unique<ListEditorModel>(entries, static_cast<ListEditorView&>(*this), prompts);
    askFirst_ = model_->Load();  // asked before the dialog shows
    connect(controls.select, &QComboBox::activated, this,
            [this](int index) { model_->Select(index); });
    connect(controls.newEntry, &QPushButton::clicked, this, [this] { model_->New(); });
    connect(controls.deleteEntry, &QPushButton::clicked, this, [this] { model_->Delete(); });
    connect(controls.apply, &QPushButton::clicked, this, [this] { model_->Apply(); });
    connect(controls.ok, &QPushButton::clicked, this, [this] { model_->Ok(); });
    connect(controls.cancel, &QPushButton::clicked, this, [this] { model_->Cancel(); });
}

bool ListEditorDialog::AskBeforeShowing() {
    if (askFirst_) {
        askFirst_ = false;
        model_->OfferFirstEntry();
    }
    return !model_->Closed();
}

void ListEditorDialog::reject() {
    if (model_ && !model_->Closed()) {
        model_->Cancel();  // closes through CloseEditor
        return;
    }
    QDialog::reject();
}

// The items are rebuilt only when they changed, and neither they nor the selection are
// reported as the user's choice.
void ListEditorDialog::ShowList(const QStringList& items, int selected) {
    const QSignalBlocker blocker(select_);
    QStringList shown;
    for (int i = 0; i < select_->count(); ++i) {
        shown.append(select_->itemText(i));
    }
    if (shown != items) {
        select_->clear();
        select_->addItems(items);
    }
    select_->setCurrentIndex(selected);
}

void ListEditorDialog::CloseEditor(bool saved) {
    QDialog::done(saved ? QDialog::Accepted : QDialog::Rejected);
}

}  // namespace lyrevane
