#pragma once

#include <QCoreApplication>
#include <QList>

#include <memory>

#include "core/broadcastentries.h"
#include "dialogs/listeditordialog.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace lyrevane {

struct DialogContext;

// "Broadcast Scheduler": the editor of the schedule that LyrevaneScheduler runs. It loads
// the whole schedule when its owner is set, edits it in memory, and on OK rewrites it
// and raises the scheduler's reload flag. Cancel, Esc and the close box discard it all.
class frmBroadcastScheduler final : public ListEditorDialog {
    Q_DECLARE_TR_FUNCTIONS(frmBroadcastScheduler)

public:
    explicit frmBroadcastScheduler(QWidget* parent = nullptr);
    ~frmBroadcastScheduler() override;

    // Loads the schedule through the owner's store and services; call once, before showing.
    void setOwner(const DialogContext& owner);

private:
    // The widgets, known outside by their object names.
    QComboBox* cboBroadcastSelect = nullptr;
    QLineEdit* txtName = nullptr;
    QLineEdit* txtTime = nullptr;
    QLineEdit* txtMedia = nullptr;
    QList<QCheckBox*> chkDays;  // index i is bit i of the day mask, Sunday first
    QCheckBox* chkRecord = nullptr;
    QPushButton* cmdPreset = nullptr;
    QGroupBox* fraScheduler = nullptr;
    QGroupBox* fraOptions = nullptr;
    QList<QRadioButton*> optAutoLaunch;  // "On", "Off"
    QLineEdit* txtStartEarlierOffset = nullptr;

    // ListEditorView
    EntryFields fields() const override;
    void showFields(const EntryFields& fields) override;
    void clearTexts() override;
    void focusField(int field) override;

    // The layout, built in steps: the schedule's group, its row of days, the options,
    // the tab order.
    void build();
    void buildSchedulerFrame();
    QHBoxLayout* buildDaysRow();
    void buildOptionsFrame();
    void chainTabs();

    std::unique_ptr<BroadcastEntries> entries_;
};

}  // namespace lyrevane
