#include "core/listeditor.h"

#include <QCoreApplication>

#include "platform/promptservice.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

ListEditorModel::ListEditorModel(ListEntries& entries, ListEditorView& view, PromptService& prompts)
    : entries_(entries), view_(view), prompts_(prompts) {}

bool ListEditorModel::Load() {
    items_.clear();
    for (int i = 0; i < entries_.Count(); ++i) {
        items_.append(entries_.NameAt(i));
    }
    reverting_ = false;
    currentIndex_ = -1;
    selected_ = -1;
    view_.ShowList(items_, selected_);
    if (items_.isEmpty()) {
        return true;
    }
    Select(0);
    return false;
}

void ListEditorModel::OfferFirstEntry() {
    if (!closed_ && items_.isEmpty()) {
        AskOnEmptyList(false);
    }
}

void ListEditorModel::Select(int index) {
    // Choosing the position that is already selected changes nothing, so no handler runs.
    if (closed_ || index == selected_ || index < -1 || index >= items_.size()) {
        return;
    }
    selected_ = index;
    view_.ShowList(items_, selected_);
    CommitEntry();
}

bool ListEditorModel::CommitEntry() {
    if (currentIndex_ >= 0) {
        if (!ValidateEntry()) {
            // Put the selection back; the fields keep the user's text. When the user had
            // chosen another entry this re-enters here once, fails quietly and stops.
            reverting_ = true;
            Select(currentIndex_);
            reverting_ = false;
            return false;
        }
        const EntryFields fields = view_.Fields();
        entries_.Store(currentIndex_, fields);
        items_[currentIndex_] = entries_.NameAt(currentIndex_);
    }
    currentIndex_ = selected_;
    view_.ShowList(items_, selected_);
    if (currentIndex_ >= 0) {
        view_.ShowFields(entries_.FieldsAt(currentIndex_));
    }
    return true;
}

bool ListEditorModel::ValidateEntry() {
    const EntryFields fields = view_.Fields();
    const QString name = fields.texts.value(kNameField);
    for (int i = 0; i < entries_.Count(); ++i) {
        // Letter case counts: "Alpha" and "ALPHA" are different names here.
        if (i != currentIndex_ && entries_.NameAt(i) == name) {
            if (!reverting_) {
                prompts_.ShowMessage(entries_.DuplicateNameMessage(), MessageIcon::Exclamation);
                view_.FocusField(kNameField);
            }
            return false;
        }
    }
    if (const std::optional<int> field = entries_.CheckFields(fields, reverting_)) {
        if (!reverting_) {
            view_.FocusField(*field);
        }
        return false;
    }
    return true;
}

bool ListEditorModel::HasEntryNamed(const QString& name) const {
    for (int i = 0; i < entries_.Count(); ++i) {
        if (entries_.NameAt(i) == name) {
            return true;
        }
    }
    return false;
}

void ListEditorModel::New() {
    AddEntry(entries_.NewEntryName(), [this] { entries_.AppendNewEntry(); });
}

void ListEditorModel::AddEntry(const QString& name, const std::function<void()>& append) {
    if (closed_) {
        return;
    }
    if (currentIndex_ >= 0) {
        if (!ValidateEntry() || !CommitEntry()) {
            return;
        }
    }
    if (HasEntryNamed(name)) {
        prompts_.ShowMessage(entries_.NameTakenMessage(name), MessageIcon::Exclamation);
        return;
    }
    append();
    items_.append(entries_.NameAt(entries_.Count() - 1));
    // Selecting it commits the shown entry again and shows the new one.
    Select(int(items_.size()) - 1);
}

void ListEditorModel::Delete() {
    const int p = selected_;
    if (closed_ || p < 0 || p >= items_.size()) {
        return;
    }
    // The uncommitted field contents are dropped with the entry; no confirmation.
    entries_.Remove(p);
    items_.removeAt(p);
    selected_ = -1;
    view_.ClearTexts();
    currentIndex_ = -1;
    view_.ShowList(items_, selected_);
    if (items_.isEmpty()) {
        AskOnEmptyList(true);
        return;
    }
    // The entry that moved up into p, or the new last one.
    Select(p < items_.size() ? p : p - 1);
}

void ListEditorModel::AskOnEmptyList(bool afterDelete) {
    if (prompts_.AskYesNo(entries_.NoEntriesQuestion(), MessageIcon::Exclamation)) {
        New();
        return;
    }
    if (!afterDelete) {
        Close(false);
        return;
    }
    if (prompts_.AskYesNo(
            QCoreApplication::translate("ListEditor", "Would you like to save your changes?"),
            MessageIcon::Question)) {
        Ok();
    } else {
        Close(false);
    }
}

void ListEditorModel::Ok() {
    if (closed_) {
        return;
    }
    if (const std::optional<int> field = entries_.FieldBlockingSave()) {
        view_.FocusField(*field);
        return;
    }
    // The outcome does not matter: an invalid shown entry keeps its last committed values.
    CommitEntry();
    if (!entries_.Save()) {
        return;  // the user was told; the editor stays open with everything in it
    }
    Close(true);
}

void ListEditorModel::Cancel() {
    if (!closed_) {
        Close(false);
    }
}

void ListEditorModel::Close(bool saved) {
    closed_ = true;
    view_.CloseEditor(saved);
}

}  // namespace lyrevane
