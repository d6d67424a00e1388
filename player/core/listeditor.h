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

    virtual int count() const = 0;
    virtual QString nameAt(int index) const = 0;
    virtual EntryFields fieldsAt(int index) const = 0;
    // Copies validated fields into entry `index`.
    virtual void store(int index, const EntryFields& fields) = 0;
    virtual void remove(int index) = 0;

    // The checks after the name's uniqueness. Shows its own message unless `quiet`
    // and returns the field to focus on failure; nullopt when the fields pass.
    virtual std::optional<int> checkFields(const EntryFields& fields, bool quiet) = 0;

    // New: the name of the entry it appends and the entry itself.
    virtual QString newEntryName() const = 0;
    virtual void appendNewEntry() = 0;

    // Texts of the editor's messages.
    virtual QString duplicateNameMessage() const = 0;
    // New (or another add) refused while an entry already has the new entry's name.
    virtual QString nameTakenMessage(const QString& name) const = 0;
    virtual QString noEntriesQuestion() const = 0;

    // OK: a field (not an entry field) that must be corrected before anything is done,
    // shown with its message; nullopt when saving may go on.
    virtual std::optional<int> fieldBlockingSave() { return std::nullopt; }
    // Writes the whole table; false (after telling the user) when it was not stored.
    virtual bool save() = 0;
};

// The widgets as the model drives them.
class ListEditorView {
public:
    virtual ~ListEditorView() = default;
    // The drop-down list's items and selected position (-1: none). Setting them is not
    // reported back as a user's choice.
    virtual void showList(const QStringList& items, int selected) = 0;
    virtual EntryFields fields() const = 0;
    virtual void showFields(const EntryFields& fields) = 0;
    // Empties the text fields; the check boxes keep their state.
    virtual void clearTexts() = 0;
    virtual void focusField(int field) = 0;
    virtual void closeEditor(bool saved) = 0;
};

// The editing rules that the list editors share: one drop-down list of names, one set
// of fields showing the selected entry, a commit of the fields on every change of
// selection, New, Delete, Apply, OK and Cancel, and the questions on an empty list.
//
// Selecting a list position from code runs commitEntry at once, nested; selecting the
// position that is already selected runs nothing. A failed validation puts the
// selection back with Reverting set, which re-enters commitEntry once: it validates
// quietly, fails, selects the same position again (nothing) and ends.
class ListEditorModel {
public:
    static constexpr int kNameField = 0;

    ListEditorModel(ListEntries& entries, ListEditorView& view, PromptService& prompts);

    // Fills the list from the entries and shows the first one. True when the list is
    // empty and offerFirstEntry() should run once the editor is shown.
    bool load();
    // The empty-list question at loading: Yes runs New, No closes without saving.
    void offerFirstEntry();

    // The user chose a list position.
    void select(int index);
    // The selection handler; false when the shown entry failed validation.
    bool commitEntry();
    bool validateEntry();

    void apply() { commitEntry(); }
    void newEntry();
    // New's steps for any kind of entry: the shown entry is validated and committed;
    // refused while an entry is named `name`; otherwise `append` adds the entry to the
    // entries and it is selected.
    void addEntry(const QString& name, const std::function<void()>& append);
    void deleteEntry();
    void ok();
    void cancel();

    int currentIndex() const { return currentIndex_; }
    int selectedIndex() const { return selected_; }
    bool reverting() const { return reverting_; }
    const QStringList& items() const { return items_; }
    bool closed() const { return closed_; }

private:
    bool hasEntryNamed(const QString& name) const;
    void askOnEmptyList(bool afterDelete);
    void closeWindow(bool saved);

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
