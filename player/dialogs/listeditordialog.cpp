#include "dialogs/listeditordialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>

#include "dialogs/dialogs.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

ListEditorDialog::ListEditorDialog(const QString& name, const QString& title, QWidget* parent)
    : QDialog(parent) {
    setObjectName(name);
    setWindowTitle(title);
}

ListEditorDialog::~ListEditorDialog() = default;

QComboBox* ListEditorDialog::makeSelect(const QString& name, const QString& spoken,
                                        QWidget* frame) {
    auto* select = new QComboBox(frame);
    select->setObjectName(name);
    select->setAccessibleName(spoken);
    select->setEditable(false);
    return select;
}

QHBoxLayout* ListEditorDialog::makeEditButtons(QWidget* frame, const QString& newText,
                                               const QString& deleteText,
                                               const QString& applyText) {
    cmdNew = describedButton(tr("&New"), u"cmdNew"_s, newText, frame);
    cmdDelete = describedButton(tr("&Delete"), u"cmdDelete"_s, deleteText, frame);
    cmdApply = describedButton(tr("&Apply"), u"cmdApply"_s, applyText, frame);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(cmdNew);
    row->addWidget(cmdDelete);
    row->addWidget(cmdApply);
    return row;
}

void ListEditorDialog::makeCloseButtons() {
    cmdOK = describedButton(tr("&OK"), u"cmdOK"_s, tr("OK"), this);
    cmdOK->setDefault(true);
    cmdCancel = describedButton(tr("&Cancel"), u"cmdCancel"_s, tr("Cancel"), this);
}

void ListEditorDialog::startEditing(ListEntries& entries, PromptService& prompts,
                                    QComboBox* select) {
    select_ = select;
    model_ =
        std::make_unique<ListEditorModel>(entries, static_cast<ListEditorView&>(*this), prompts);
    askFirst_ = model_->load();  // asked before the dialog shows
    connect(select, &QComboBox::activated, this, [this](int index) { model_->select(index); });
    connect(cmdNew, &QPushButton::clicked, this, [this] { model_->newEntry(); });
    connect(cmdDelete, &QPushButton::clicked, this, [this] { model_->deleteEntry(); });
    connect(cmdApply, &QPushButton::clicked, this, [this] { model_->apply(); });
    connect(cmdOK, &QPushButton::clicked, this, [this] { model_->ok(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { model_->cancel(); });
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
