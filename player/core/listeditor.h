#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace lyrevane {

class PromptService;

// What the editing fields show for one entry: the texts in a fixed order, the name
// first, and the ticked check boxes as bits (bit i for box i).
struct EntryFields {
    QStringList texts;
    quint32 checks = 0;
    bool operator==(const EntryFields&) const = default;
};

// The entries one editor works on, and what differs between the editors: the fields,
// the checks beyond the name's uniqueness, the new entry, and what OK saves.
// Implementations own the in-memory table; position p is list position p.
class ListEntries {
public:
    virtual ~ListEntries() = default;

    virtual int Count() const = 0;
    virtual QString NameAt(int index) const = 0;
    virtual EntryFields FieldsAt(int index) const = 0;
    // Copies validated fields into entry `index`.
    virtual void Store(int index, const EntryFields& fields) = 0;
    virtual void Remove(int index) = 0;

    // The checks after the name's uniqueness. Shows its own message unless `quiet`
    // and returns the field to focus on failure; nullopt when the fields pass.
    virtual std::optional<int> CheckFields(const EntryFields& fields, bool quiet) = 0;

    // New: the name of the entry it appends and the entry itself.
    virtual QString NewEntryName() const = 0;
    virtual void AppendNewEntry() = 0;

    // Texts of the editor's messages.
    virtual QString DuplicateNameMessage() const = 0;
    // New (or another add) refused while an entry already has the new entry's name.
    virtual QString NameTakenMessage(const QString& name) const = 0;
    virtual QString NoEntriesQuestion() const = 0;

    // OK: a field (not an entry field) that must be corrected before anything is done,
    // shown with its message; nullopt when saving may go on.
    virtual std::optional<int> FieldBlockingSave() { return std::nullopt; }
    // Writes the whole table; false (after telling the user) when it was not stored.
    virtual bool Save() = 0;
};

// The widgets as the model drives them.
class ListEditorView {
public:
    virtual ~ListEditorView() = default;
    // The drop-down list's items and selected position (-1: none). Setting them is not
    // reported back as a user's choice.
    virtual void ShowList(const QStringList& items, int selected) = 0;
    virtual EntryFields Fields() const = 0;
    virtual void ShowFields(const EntryFields& fields) = 0;
    // Empties the text fields; the check boxes keep their state.
    virtual void ClearTexts() = 0;
    virtual void FocusField(int field) = 0;
    virtual void CloseEditor(bool saved) = 0;
};

// The editing rules that the list editors share: one drop-down list of names, one set
// of fields showing the selected entry, a commit of the fields on every change of
// selection, New, Delete, Apply, OK and Cancel, and the questions on an empty list.
//
// Selecting a list position from code runs CommitEntry at once, nested; selecting the
// position that is already selected runs nothing. A failed validation puts the
// selection back with Reverting set, which re-enters CommitEntry once: it validates
// quietly, fails, selects the same position again (nothing) and ends.
class ListEditorModel {
public:
    static constexpr int kNameField = 0;

    ListEditorModel(ListEntries& entries, ListEditorView& view, PromptService& prompts);

    // Fills the list from the entries and shows the first one. True when the list is
    // empty and OfferFirstEntry() should run once the editor is shown.
    bool Load();
    // The empty-list question at loading: Yes runs New, No closes without saving.
    void OfferFirstEntry();

    // The user chose a list position.
    void Select(int index);
    // The selection handler; false when the shown entry failed validation.
    bool CommitEntry();
    bool ValidateEntry();

    void Apply() { CommitEntry(); }
    void New();
    // New's steps for any kind of entry: the shown entry is validated and committed;
    // refused while an entry is named `name`; otherwise `append` adds the entry to the
    // entries and it is selected.
    void AddEntry(const QString& name, const std::function<void()>& append);
    void Delete();
    void Ok();
    void Cancel();

    int CurrentIndex() const { return currentIndex_; }
    int SelectedIndex() const { return selected_; }
    bool Reverting() const { return reverting_; }
    const QStringList& Items() const { return items_; }
    bool Closed() const { return closed_; }

private:
    bool HasEntryNamed(const QString& name) const;
    void AskOnEmptyList(bool afterDelete);
    void Close(bool saved);

    ListEntries& entries_;
    ListEditorView& view_;
    PromptService& prompts_;
    QStringList items_;
    int selected_ = -1;
    int currentIndex_ = -1;
    bool reverting_ = false;
    bool closed_ = false;
};

}  // namespace lyrevane
