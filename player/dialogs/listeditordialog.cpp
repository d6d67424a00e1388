#include "dialogs/listeditordialog.h"

#include <QComboBox>
#include <QPushButton>
#include <QSignalBlocker>

namespace lyrevane {

ListEditorDialog::~ListEditorDialog() = default;

void ListEditorDialog::startEditing(ListEntries& entries, PromptService& prompts,
                                    const Controls& controls) {
    select_ = controls.select;
    model_ =
        std::make_unique<ListEditorModel>(entries, static_cast<ListEditorView&>(*this), prompts);
    askFirst_ = model_->load();  // asked before the dialog shows
    connect(controls.select, &QComboBox::activated, this,
            [this](int index) { model_->select(index); });
    connect(controls.newEntry, &QPushButton::clicked, this, [this] { model_->newEntry(); });
    connect(controls.deleteEntry, &QPushButton::clicked, this, [this] { model_->deleteEntry(); });
    connect(controls.apply, &QPushButton::clicked, this, [this] { model_->apply(); });
    connect(controls.ok, &QPushButton::clicked, this, [this] { model_->ok(); });
    connect(controls.cancel, &QPushButton::clicked, this, [this] { model_->cancel(); });
}

bool ListEditorDialog::askBeforeShowing() {
    if (askFirst_) {
        askFirst_ = false;
        model_->offerFirstEntry();
    }
    return !model_->closed();
}

void ListEditorDialog::reject() {
    if (model_ && !model_->closed()) {
        model_->cancel();  // closes through closeEditor
        return;
    }
    QDialog::reject();
}

// The items are rebuilt only when they changed, and neither they nor the selection are
// reported as the user's choice.
void ListEditorDialog::showList(const QStringList& items, int selected) {
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

void ListEditorDialog::closeEditor(bool saved) {
    QDialog::done(saved ? QDialog::Accepted : QDialog::Rejected);
}

}  // namespace lyrevane
