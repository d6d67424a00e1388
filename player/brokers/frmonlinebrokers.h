#pragma once

#include <QDialog>

#include <memory>

#include "brokerentries.h"
#include "listeditor.h"

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace lyrevane {

class frmMain;

// "Online Brokers": the editor of the brokers behind the play bar's lightning button.
// OK rewrites the list and has the main window rebuild its brokers menu at once.
class frmOnlineBrokers final : public QDialog, private ListEditorView {
public:
    explicit frmOnlineBrokers(QWidget* parent = nullptr);
    ~frmOnlineBrokers() override;

    // Loads the brokers through the owner's store; call once, before showing.
    void SetOwner(frmMain& owner);

    QFrame* picInfo = nullptr;
    QToolButton* cmdInfo = nullptr;
    QLabel* lblInfo2 = nullptr;
    QGroupBox* fraOnlineBrokers = nullptr;
    QComboBox* cboBrokerSelect = nullptr;
    QLineEdit* txtName = nullptr;
    QLineEdit* txtURL = nullptr;
    QPushButton* cmdNew = nullptr;
    QPushButton* cmdDelete = nullptr;
    QPushButton* cmdApply = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    void reject() override;
    // Before the dialog shows: asks about an empty list (New or close); false when the
    // answer closed the dialog.
    bool AskBeforeShowing();

private:
    // ListEditorView
    void ShowList(const QStringList& items, int selected) override;
    EntryFields Fields() const override;
    void ShowFields(const EntryFields& fields) override;
    void ClearTexts() override;
    void FocusField(int field) override;
    void CloseEditor(bool saved) override;

    std::unique_ptr<BrokerEntries> entries_;
    std::unique_ptr<ListEditorModel> model_;
    bool askFirst_ = false;
};

}  // namespace lyrevane
