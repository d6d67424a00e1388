#include "core/listeditor.h"

#include <QCoreApplication>

#include "platform/promptservice.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

ListEditorModel::ListEditorModel(ListEntries& entries, ListEditorView& view, PromptService& prompts)
    : entries_(entries), view_(view), prompts_(prompts) {}

bool ListEditorModel::load() {
    items_.clear();
    for (int i = 0; i < entries_.count(); ++i) {
        items_.append(entries_.nameAt(i));
    }
    reverting_ = false;
    currentIndex_ = -1;
    selected_ = -1;
    view_.showList(items_, selected_);
    if (items_.isEmpty()) {
        return true;
    }
    select(0);
    return false;
}

void ListEditorModel::offerFirstEntry() {
    if (!closed_ && items_.isEmpty()) {
        askOnEmptyList(false);
    }
}

void ListEditorModel::select(int index) {
    // Choosing the position that is already selected changes nothing, so no handler runs.
    if (closed_ || index == selected_ || index < -1 || index >= items_.size()) {
        return;
    }
    selected_ = index;
    view_.showList(items_, selected_);
    commitEntry();
}

bool ListEditorModel::commitEntry() {
    if (currentIndex_ >= 0) {
        if (!validateEntry()) {
            // Put the selection back; the fields keep the user's text. When the user had
            // chosen another entry this re-enters here once, fails quietly and stops.
            reverting_ = true;
            select(currentIndex_);
            reverting_ = false;
            return false;
        }
        const EntryFields fields = view_.fields();
        entries_.store(currentIndex_, fields);
        items_[currentIndex_] = entries_.nameAt(currentIndex_);
    }
    currentIndex_ = selected_;
    view_.showList(items_, selected_);
    if (currentIndex_ >= 0) {
        view_.showFields(entries_.fieldsAt(currentIndex_));
    }
    return true;
}

bool ListEditorModel::validateEntry() {
    const EntryFields fields = view_.fields();
    const QString name = fields.texts.value(kNameField);
    for (int i = 0; i < entries_.count(); ++i) {
        // Letter case counts: "Alpha" and "ALPHA" are different names here.
        if (i != currentIndex_ && entries_.nameAt(i) == name) {
            if (!reverting_) {
                prompts_.showMessage(entries_.duplicateNameMessage(), MessageIcon::Exclamation);
                view_.focusField(kNameField);
            }
            return false;
        }
    }
    if (const std::optional<int> field = entries_.checkFields(fields, reverting_)) {
        if (!reverting_) {
            view_.focusField(*field);
        }
        return false;
    }
    return true;
}

bool ListEditorModel::hasEntryNamed(const QString& name) const {
    for (int i = 0; i < entries_.count(); ++i) {
        if (entries_.nameAt(i) == name) {
            return true;
        }
    }
    return false;
}

void ListEditorModel::newEntry() {
    addEntry(entries_.newEntryName(), [this] { entries_.appendNewEntry(); });
}

void ListEditorModel::addEntry(const QString& name, const std::function<void()>& append) {
    if (closed_) {
        return;
    }
    if (currentIndex_ >= 0) {
        if (!validateEntry() || !commitEntry()) {
            return;
        }
    }
    if (hasEntryNamed(name)) {
        prompts_.showMessage(entries_.nameTakenMessage(name), MessageIcon::Exclamation);
        return;
    }
    append();
    items_.append(entries_.nameAt(entries_.count() - 1));
    // Selecting it commits the shown entry again and shows the new one.
    select(int(items_.size()) - 1);
}

void ListEditorModel::deleteEntry() {
    const int p = selected_;
    if (closed_ || p < 0 || p >= items_.size()) {
        return;
    }
    // The uncommitted field contents are dropped with the entry; no confirmation.
    entries_.remove(p);
    items_.removeAt(p);
    selected_ = -1;
    view_.clearTexts();
    currentIndex_ = -1;
    view_.showList(items_, selected_);
    if (items_.isEmpty()) {
        askOnEmptyList(true);
        return;
    }
    // The entry that moved up into p, or the new last one.
    select(p < items_.size() ? p : p - 1);
}

void ListEditorModel::askOnEmptyList(bool afterDelete) {
    if (prompts_.askYesNo(entries_.noEntriesQuestion(), MessageIcon::Exclamation)) {
        newEntry();
        return;
    }
    if (!afterDelete) {
        closeWindow(false);
        return;
    }
    if (prompts_.askYesNo(
            QCoreApplication::translate("ListEditor", "Would you like to save your changes?"),
            MessageIcon::Question)) {
        ok();
    } else {
        closeWindow(false);
    }
}

void ListEditorModel::ok() {
    if (closed_) {
        return;
    }
    if (const std::optional<int> field = entries_.fieldBlockingSave()) {
        view_.focusField(*field);
        return;
    }
    // The outcome does not matter: an invalid shown entry keeps its last committed values.
    commitEntry();
    if (!entries_.save()) {
        return;  // the user was told; the editor stays open with everything in it
    }
    closeWindow(true);
}

void ListEditorModel::cancel() {
    if (!closed_) {
        closeWindow(false);
    }
}

void ListEditorModel::closeWindow(bool saved) {
    closed_ = true;
    view_.closeEditor(saved);
}

}  // namespace lyrevane
