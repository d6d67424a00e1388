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

frmBroadcastScheduler::frmBroadcastScheduler(QWidget* parent)
    : ListEditorDialog(u"frmBroadcastScheduler"_s, tr("Broadcast Scheduler"), parent) {
    build();
}

frmBroadcastScheduler::~frmBroadcastScheduler() = default;

void frmBroadcastScheduler::build() {
    buildSchedulerFrame();
    cmdPreset = describedButton(tr("Add QLV Preset"), u"cmdPreset"_s,
                                tr("Add the Quillmoor live broadcast"), this);
    buildOptionsFrame();
    makeCloseButtons();

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(cmdPreset);
    bottom->addStretch();
    bottom->addWidget(cmdOK);
    bottom->addWidget(cmdCancel);
    auto* main = new QVBoxLayout(this);
    main->addWidget(fraScheduler);
    main->addWidget(fraOptions);
    main->addLayout(bottom);

    chainTabs();
    resize(480, sizeHint().height());
}

void frmBroadcastScheduler::chainTabs() {
    // Top to bottom, left to right.
    setTabChain({cboBroadcastSelect,
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

void frmBroadcastScheduler::buildSchedulerFrame() {
    fraScheduler = new QGroupBox(this);
    fraScheduler->setObjectName(u"fraScheduler"_s);
    fraScheduler->setAccessibleName(tr("Scheduled broadcasts"));
    cboBroadcastSelect =
        makeSelect(u"cboBroadcastSelect"_s, tr("Scheduled broadcast"), fraScheduler);
    txtName = namedField(u"txtName"_s, tr("Name"), fraScheduler);
    txtTime = namedField(u"txtTime"_s, tr("Time"), fraScheduler);
    txtTime->setToolTip(tr("For example 15:00, 3:00 PM or 12/6/2026 3:00 PM"));
    txtMedia = namedField(u"txtMedia"_s, tr("Media"), fraScheduler);
    QHBoxLayout* days = buildDaysRow();
    QHBoxLayout* editButtons =
        makeEditButtons(fraScheduler, tr("New broadcast"), tr("Delete broadcast"),
                        tr("Apply changes to this broadcast"));

    auto* grid = new QGridLayout(fraScheduler);
    grid->addWidget(cboBroadcastSelect, 0, 0, 1, 2);
    grid->addWidget(buddyLabel(tr("Na&me:"), txtName, fraScheduler), 1, 0);
    grid->addWidget(txtName, 1, 1);
    grid->addWidget(buddyLabel(tr("&Time:"), txtTime, fraScheduler), 2, 0);
    grid->addWidget(txtTime, 2, 1);
    grid->addWidget(buddyLabel(tr("M&edia:"), txtMedia, fraScheduler), 3, 0);
    grid->addWidget(txtMedia, 3, 1);
    grid->addWidget(buddyLabel(tr("&Start On:"), chkDays[0], fraScheduler), 4, 0);
    grid->addLayout(days, 4, 1);
    grid->addLayout(editButtons, 5, 0, 1, 2);
}

QHBoxLayout* frmBroadcastScheduler::buildDaysRow() {
    const QStringList dayCaptions = {tr("Sun"),   tr("Mon"), tr("Tue"), tr("Wed"),
                                     tr("Thurs"), tr("Fri"), tr("Sat")};
    const QStringList dayNames = {tr("Sunday"),   tr("Monday"), tr("Tuesday"), tr("Wednesday"),
                                  tr("Thursday"), tr("Friday"), tr("Saturday")};
    auto* days = new QHBoxLayout;
    for (int i = 0; i < 7; ++i) {
        auto* box = new QCheckBox(dayCaptions[i], fraScheduler);
        box->setObjectName(u"chkDays"_s + QString::number(i));
        box->setAccessibleName(dayCaptions[i]);
        box->setAccessibleDescription(tr("Start on %1").arg(dayNames[i]));
        chkDays.append(box);
        days->addWidget(box);
    }
    days->addStretch();
    chkRecord = new QCheckBox(tr("&Record"), fraScheduler);
    chkRecord->setObjectName(u"chkRecord"_s);
    chkRecord->setAccessibleName(tr("Record"));
    chkRecord->setAccessibleDescription(
        tr("Record the broadcast when the scheduler starts it, for up to 2 hours"));
    days->addWidget(chkRecord);
    return days;
}

void frmBroadcastScheduler::buildOptionsFrame() {
    fraOptions = new QGroupBox(tr("Options"), this);
    fraOptions->setObjectName(u"fraOptions"_s);
    fraOptions->setAccessibleName(tr("Options"));
    for (const auto& [caption, spoken] :
         {std::pair{tr("On"), tr("Auto launch on")}, std::pair{tr("Off"), tr("Auto launch off")}}) {
        auto* option = new QRadioButton(caption, fraOptions);
        option->setObjectName(u"optAutoLaunch"_s + QString::number(optAutoLaunch.size()));
        option->setAccessibleName(caption);
        option->setAccessibleDescription(spoken);
        optAutoLaunch.append(option);
    }
    txtStartEarlierOffset = namedField(u"txtStartEarlierOffset"_s, tr("Launch player"), fraOptions);
    txtStartEarlierOffset->setAccessibleDescription(tr("Minutes to launch the player early"));
    txtStartEarlierOffset->setMaximumWidth(60);
    auto* options = new QGridLayout(fraOptions);
    options->addWidget(buddyLabel(tr("A&uto Launch"), optAutoLaunch[0], fraOptions), 0, 0);
    auto* onOff = new QHBoxLayout;
    onOff->addWidget(optAutoLaunch[0]);
    onOff->addWidget(optAutoLaunch[1]);
    onOff->addStretch();
    options->addLayout(onOff, 0, 1);
    auto* offset = new QHBoxLayout;
    offset->addWidget(buddyLabel(tr("&Launch player"), txtStartEarlierOffset, fraOptions));
    offset->addWidget(txtStartEarlierOffset);
    offset->addWidget(new QLabel(tr("minutes before scheduled time."), fraOptions));
    offset->addStretch();
    options->addLayout(offset, 1, 0, 1, 2);
}

void frmBroadcastScheduler::setOwner(const DialogContext& owner) {
    attachOwnerSkin(*this, owner,
                    {cmdOK, cmdCancel, cmdPreset, fraOptions, fraScheduler, optAutoLaunch[0],
                     optAutoLaunch[1], cmdNew, cmdApply, cmdDelete, chkDays[0], chkDays[1],
                     chkDays[2], chkDays[3], chkDays[4], chkDays[5], chkDays[6], chkRecord});

    entries_ = std::make_unique<BroadcastEntries>(
        BroadcastEntries::Services{owner.settings, owner.prompts, owner.checkMediaUrl,
                                   owner.gmtOffset, [] { return QDateTime::currentDateTime(); },
                                   BroadcastEntries::presetMediaUrl(owner.portal.baseUrl)});
    entries_->load();
    entries_->currentOptions = [this] {
        return BroadcastEntries::Options{optAutoLaunch[0]->isChecked(),
                                         txtStartEarlierOffset->text()};
    };
    optAutoLaunch[entries_->loadedOptions().autoLaunch ? 0 : 1]->setChecked(true);
    txtStartEarlierOffset->setText(entries_->loadedOptions().startEarlierOffset);

    startEditing(*entries_, owner.prompts, cboBroadcastSelect);
    connect(cmdPreset, &QPushButton::clicked, this, [this] {
        model().addEntry(BroadcastEntries::kPresetName.toString(),
                         [this] { entries_->appendPreset(); });
    });
}

EntryFields frmBroadcastScheduler::fields() const {
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

void frmBroadcastScheduler::showFields(const EntryFields& fields) {
    txtName->setText(fields.texts.value(BroadcastEntries::NameField));
    txtTime->setText(fields.texts.value(BroadcastEntries::TimeField));
    txtMedia->setText(fields.texts.value(BroadcastEntries::MediaField));
    for (int i = 0; i < chkDays.size(); ++i) {
        chkDays[i]->setChecked((fields.checks & (1u << i)) != 0);
    }
    chkRecord->setChecked((fields.checks & BroadcastEntries::kRecordCheck) != 0);
}

void frmBroadcastScheduler::clearTexts() {
    txtName->clear();
    txtTime->clear();
    txtMedia->clear();
}

void frmBroadcastScheduler::focusField(int field) {
    QLineEdit* edits[] = {txtName, txtTime, txtMedia, txtStartEarlierOffset};
    if (field >= 0 && field < int(std::size(edits))) {
        edits[field]->setFocus();
        edits[field]->selectAll();
    }
}

}  // namespace lyrevane
