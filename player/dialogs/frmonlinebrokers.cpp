#include "dialogs/frmonlinebrokers.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/playersettings.h"
#include "dialogs/dialogcontext.h"
#include "dialogs/dialogs.h"
#include "skin/artwork.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

frmOnlineBrokers::frmOnlineBrokers(QWidget* parent)
    : ListEditorDialog(u"frmOnlineBrokers"_s, tr("Online Brokers"), parent) {
    buildInfo();
    buildBrokersFrame();
    makeCloseButtons();

    auto* info = new QHBoxLayout;
    info->addWidget(picInfo, 0, Qt::AlignTop);
    info->addWidget(lblInfo2, 1);
    auto* left = new QVBoxLayout;
    left->addLayout(info);
    left->addWidget(fraOnlineBrokers);
    auto* main = new QHBoxLayout(this);
    main->addLayout(left, 1);
    main->addLayout(buttonColumn({cmdOK, cmdCancel}));

    setTabChain({cboBrokerSelect, txtName, txtURL, cmdNew, cmdDelete, cmdApply, cmdOK, cmdCancel});
    resize(460, sizeHint().height());
}

void frmOnlineBrokers::buildInfo() {
    picInfo = new QFrame(this);
    picInfo->setObjectName(u"picInfo"_s);
    cmdInfo = new QToolButton(picInfo);
    cmdInfo->setObjectName(u"cmdInfo"_s);
    cmdInfo->setAccessibleName(tr("Online Brokers"));
    cmdInfo->setIcon(glyphIcon(Glyph::Brokers, 32));
    cmdInfo->setIconSize(QSize(32, 32));
    cmdInfo->setAutoRaise(true);
    cmdInfo->setFocusPolicy(Qt::NoFocus);  // a picture only; it does nothing
    auto* picLayout = new QVBoxLayout(picInfo);
    picLayout->setContentsMargins(4, 4, 4, 4);
    picLayout->addWidget(cmdInfo);
    picLayout->addStretch();

    lblInfo2 = new QLabel(
        tr("You can now plug directly into your online brokers from within Quillmoor(tm) "
           "Vendrasel! Clicking the lightning bolt button on the control bar will bring up a "
           "popup menu from which you can select an online broker to use. Please configure your "
           "online brokers in this dialog."),
        this);
    lblInfo2->setObjectName(u"lblInfo2"_s);
    lblInfo2->setWordWrap(true);
}

void frmOnlineBrokers::buildBrokersFrame() {
    fraOnlineBrokers = new QGroupBox(u"Frame1"_s, this);
    fraOnlineBrokers->setObjectName(u"fraOnlineBrokers"_s);
    fraOnlineBrokers->setAccessibleName(tr("Online brokers"));
    cboBrokerSelect = makeSelect(u"cboBrokerSelect"_s, tr("Online broker"), fraOnlineBrokers);
    txtName = namedField(u"txtName"_s, tr("Name"), fraOnlineBrokers);
    txtURL = namedField(u"txtURL"_s, tr("URL"), fraOnlineBrokers);
    QLabel* lblName = buddyLabel(tr("Na&me:"), txtName, fraOnlineBrokers);
    lblName->setObjectName(u"lblInfo0"_s);
    QLabel* lblUrl = buddyLabel(tr("&URL:"), txtURL, fraOnlineBrokers);
    lblUrl->setObjectName(u"lblInfo1"_s);
    QHBoxLayout* editButtons =
        makeEditButtons(fraOnlineBrokers, tr("New online broker"), tr("Delete online broker"),
                        tr("Apply changes to this broker"));

    auto* grid = new QGridLayout(fraOnlineBrokers);
    grid->addWidget(cboBrokerSelect, 0, 0, 1, 2);
    grid->addWidget(lblName, 1, 0);
    grid->addWidget(txtName, 1, 1);
    grid->addWidget(lblUrl, 2, 0);
    grid->addWidget(txtURL, 2, 1);
    grid->addLayout(editButtons, 3, 0, 1, 2);
}

frmOnlineBrokers::~frmOnlineBrokers() = default;

void frmOnlineBrokers::setOwner(const DialogContext& owner) {
    attachOwnerSkin(*this, owner,
                    {picInfo, cmdOK, cmdCancel, fraOnlineBrokers, cmdNew, cmdApply, cmdDelete});
    cmdInfo->setToolTip(owner.portal.domainName());

    entries_ = std::make_unique<BrokerEntries>(
        BrokerEntries::Services{owner.settings, owner.prompts, owner.reloadOnlineBrokers});
    entries_->load();
    startEditing(*entries_, owner.prompts, cboBrokerSelect);
}

EntryFields frmOnlineBrokers::fields() const {
    return {{txtName->text(), txtURL->text()}, 0};
}

void frmOnlineBrokers::showFields(const EntryFields& fields) {
    txtName->setText(fields.texts.value(BrokerEntries::NameField));
    txtURL->setText(fields.texts.value(BrokerEntries::UrlField));
}

void frmOnlineBrokers::clearTexts() {
    txtName->clear();
    txtURL->clear();
}

void frmOnlineBrokers::focusField(int field) {
    QLineEdit* edit = field == BrokerEntries::UrlField ? txtURL : txtName;
    edit->setFocus();
    edit->selectAll();
}

}  // namespace lyrevane
