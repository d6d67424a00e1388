#include "dialogs/frmbroadcastscheduler.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/playersettings.h"
#include "dialogs/dialogcontext.h"
#include "dialogs/dialogs.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

QLineEdit* field(const QString& name, const QString& spoken, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setAccessibleName(spoken);
    return edit;
}

QLabel* label(const QString& caption, QWidget* buddy, QWidget* parent) {
    auto* l = new QLabel(caption, parent);
    l->setBuddy(buddy);
    return l;
}

}  // namespace

frmBroadcastScheduler::frmBroadcastScheduler(QWidget* parent) : ListEditorDialog(parent) {
    setObjectName(u"frmBroadcastScheduler"_s);
    setWindowTitle(u"Broadcast Scheduler"_s);
    Build();
}

frmBroadcastScheduler::~frmBroadcastScheduler() = default;

void frmBroadcastScheduler::Build() {
    BuildSchedulerFrame();
    cmdPreset = DescribedButton(u"Add QLV Preset"_s, u"cmdPreset"_s,
                                u"Add the Quillmoor live broadcast"_s, this);
    BuildOptionsFrame();
    cmdOK = DescribedButton(u"&OK"_s, u"cmdOK"_s, u"OK"_s, this);
    cmdOK->setDefault(true);                                                       // Enter
    cmdCancel = DescribedButton(u"&Cancel"_s, u"cmdCancel"_s, u"Cancel"_s, this);  // Esc: reject()

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(cmdPreset);
    bottom->addStretch();
    bottom->addWidget(cmdOK);
    bottom->addWidget(cmdCancel);
    auto* main = new QVBoxLayout(this);
    main->addWidget(fraScheduler);
    main->addWidget(fraOptions);
    main->addLayout(bottom);

    ChainTabs();
    resize(480, sizeHint().height());
}

void frmBroadcastScheduler::ChainTabs() {
    // Top to bottom, left to right.
    SetTabChain({cboBroadcastSelect,
                 txtName,
                 txtTime,
                 txtMedia,
                 chkDays[0],
                 chkDays[1],
                 chkDays[2],
                 chkDays[3],
                 chkDays[4],
                 chkDays[5],
                 chkDays[6],
                 chkRecord,
                 cmdNew,
                 cmdDelete,
                 cmdApply,
                 optAutoLaunch[0],
                 optAutoLaunch[1],
                 txtStartEarlierOffset,
                 cmdPreset,
                 cmdOK,
                 cmdCancel});
}

void frmBroadcastScheduler::BuildSchedulerFrame() {
    fraScheduler = new QGroupBox(this);
    fraScheduler->setObjectName(u"fraScheduler"_s);
    fraScheduler->setAccessibleName(u"Scheduled broadcasts"_s);
    cboBroadcastSelect = new QComboBox(fraScheduler);
    cboBroadcastSelect->setObjectName(u"cboBroadcastSelect"_s);
    cboBroadcastSelect->setAccessibleName(u"Scheduled broadcast"_s);
    cboBroadcastSelect->setEditable(false);
    txtName = field(u"txtName"_s, u"Name"_s, fraScheduler);
    txtTime = field(u"txtTime"_s, u"Time"_s, fraScheduler);
    txtTime->setToolTip(u"For example 15:00, 3:00 PM or 12/6/2026 3:00 PM"_s);
    txtMedia = field(u"txtMedia"_s, u"Media"_s, fraScheduler);
    QHBoxLayout* days = BuildDaysRow();
    cmdNew = DescribedButton(u"&New"_s, u"cmdNew"_s, u"New broadcast"_s, fraScheduler);
    cmdDelete = DescribedButton(u"&Delete"_s, u"cmdDelete"_s, u"Delete broadcast"_s, fraScheduler);
    cmdApply = DescribedButton(u"&Apply"_s, u"cmdApply"_s, u"Apply changes to this broadcast"_s,
                               fraScheduler);

    auto* grid = new QGridLayout(fraScheduler);
    grid->addWidget(cboBroadcastSelect, 0, 0, 1, 2);
    grid->addWidget(label(u"Na&me:"_s, txtName, fraScheduler), 1, 0);
    grid->addWidget(txtName, 1, 1);
    grid->addWidget(label(u"&Time:"_s, txtTime, fraScheduler), 2, 0);
    grid->addWidget(txtTime, 2, 1);
    grid->addWidget(label(u"M&edia:"_s, txtMedia, fraScheduler), 3, 0);
    grid->addWidget(txtMedia, 3, 1);
    grid->addWidget(label(u"&Start On:"_s, chkDays[0], fraScheduler), 4, 0);
    grid->addLayout(days, 4, 1);
    auto* editButtons = new QHBoxLayout;
    editButtons->addStretch();
    editButtons->addWidget(cmdNew);
    editButtons->addWidget(cmdDelete);
    editButtons->addWidget(cmdApply);
    grid->addLayout(editButtons, 5, 0, 1, 2);
}

QHBoxLayout* frmBroadcastScheduler::BuildDaysRow() {
    const QStringList dayCaptions = {u"Sun"_s,   u"Mon"_s, u"Tue"_s, u"Wed"_s,
                                     u"Thurs"_s, u"Fri"_s, u"Sat"_s};
    const QStringList dayNames = {u"Sunday"_s,   u"Monday"_s, u"Tuesday"_s, u"Wednesday"_s,
                                  u"Thursday"_s, u"Friday"_s, u"Saturday"_s};
    auto* days = new QHBoxLayout;
    for (int i = 0; i < 7; ++i) {
        auto* box = new QCheckBox(dayCaptions[i], fraScheduler);
        box->setObjectName(u"chkDays"_s + QString::number(i));
        box->setAccessibleName(dayCaptions[i]);
        box->setAccessibleDescription(u"Start on "_s + dayNames[i]);
        chkDays.append(box);
        days->addWidget(box);
    }
    days->addStretch();
    chkRecord = new QCheckBox(u"&Record"_s, fraScheduler);
    chkRecord->setObjectName(u"chkRecord"_s);
    chkRecord->setAccessibleName(u"Record"_s);
    chkRecord->setAccessibleDescription(
        u"Record the broadcast when the scheduler starts it, for up to 2 hours"_s);
    days->addWidget(chkRecord);
    return days;
}

void frmBroadcastScheduler::BuildOptionsFrame() {
    fraOptions = new QGroupBox(u"Options"_s, this);
    fraOptions->setObjectName(u"fraOptions"_s);
    fraOptions->setAccessibleName(u"Options"_s);
    for (const auto& [caption, spoken] :
         {std::pair{u"On"_s, u"Auto launch on"_s}, std::pair{u"Off"_s, u"Auto launch off"_s}}) {
        auto* option = new QRadioButton(caption, fraOptions);
        option->setObjectName(u"optAutoLaunch"_s + QString::number(optAutoLaunch.size()));
        option->setAccessibleName(caption);
        option->setAccessibleDescription(spoken);
        optAutoLaunch.append(option);
    }
    txtStartEarlierOffset = field(u"txtStartEarlierOffset"_s, u"Launch player"_s, fraOptions);
    txtStartEarlierOffset->setAccessibleDescription(u"Minutes to launch the player early"_s);
    txtStartEarlierOffset->setMaximumWidth(60);
    auto* options = new QGridLayout(fraOptions);
    options->addWidget(label(u"A&uto Launch"_s, optAutoLaunch[0], fraOptions), 0, 0);
    auto* onOff = new QHBoxLayout;
    onOff->addWidget(optAutoLaunch[0]);
    onOff->addWidget(optAutoLaunch[1]);
    onOff->addStretch();
    options->addLayout(onOff, 0, 1);
    auto* offset = new QHBoxLayout;
    offset->addWidget(label(u"&Launch player"_s, txtStartEarlierOffset, fraOptions));
    offset->addWidget(txtStartEarlierOffset);
    offset->addWidget(new QLabel(u"minutes before scheduled time."_s, fraOptions));
    offset->addStretch();
    options->addLayout(offset, 1, 0, 1, 2);
}

void frmBroadcastScheduler::SetOwner(const DialogContext& owner) {
    AttachOwnerSkin(*this, owner,
                    {cmdOK, cmdCancel, cmdPreset, fraOptions, fraScheduler, optAutoLaunch[0],
                     optAutoLaunch[1], cmdNew, cmdApply, cmdDelete, chkDays[0], chkDays[1],
                     chkDays[2], chkDays[3], chkDays[4], chkDays[5], chkDays[6], chkRecord});

    entries_ = std::make_unique<BroadcastEntries>(
        BroadcastEntries::Services{owner.settings, owner.prompts, owner.checkMediaUrl,
                                   owner.gmtOffset, [] { return QDateTime::currentDateTime(); },
                                   BroadcastEntries::PresetMediaUrl(owner.portal.baseUrl)});
    entries_->Load();
    entries_->currentOptions = [this] {
        return BroadcastEntries::Options{optAutoLaunch[0]->isChecked(),
                                         txtStartEarlierOffset->text()};
    };
    optAutoLaunch[entries_->LoadedOptions().autoLaunch ? 0 : 1]->setChecked(true);
    txtStartEarlierOffset->setText(entries_->LoadedOptions().startEarlierOffset);

    StartEditing(*entries_, owner.prompts,
                 {cboBroadcastSelect, cmdNew, cmdDelete, cmdApply, cmdOK, cmdCancel});
    connect(cmdPreset, &QPushButton::clicked, this, [this] {
        Model().AddEntry(BroadcastEntries::kPresetName.toString(),
                         [this] { entries_->AppendPreset(); });
    });
}

EntryFields frmBroadcastScheduler::Fields() const {
    EntryFields fields{{txtName->text(), txtTime->text(), txtMedia->text()}, 0};
    for (int i = 0; i < chkDays.size(); ++i) {
        if (chkDays[i]->isChecked()) {
            fields.checks |= 1u << i;
        }
    }
    if (chkRecord->isChecked()) {
        fields.checks |= BroadcastEntries::kRecordCheck;
    }
    return fields;
}

void frmBroadcastScheduler::ShowFields(const EntryFields& fields) {
    txtName->setText(fields.texts.value(BroadcastEntries::NameField));
    txtTime->setText(fields.texts.value(BroadcastEntries::TimeField));
    txtMedia->setText(fields.texts.value(BroadcastEntries::MediaField));
    for (int i = 0; i < chkDays.size(); ++i) {
        chkDays[i]->setChecked((fields.checks & (1u << i)) != 0);
    }
    chkRecord->setChecked((fields.checks & BroadcastEntries::kRecordCheck) != 0);
}

void frmBroadcastScheduler::ClearTexts() {
    txtName->clear();
    txtTime->clear();
    txtMedia->clear();
}

void frmBroadcastScheduler::FocusField(int field) {
    QLineEdit* edits[] = {txtName, txtTime, txtMedia, txtStartEarlierOffset};
    if (field >= 0 && field < int(std::size(edits))) {
        edits[field]->setFocus();
        edits[field]->selectAll();
    }
}

}  // namespace lyrevane
