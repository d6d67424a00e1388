#include "dialogs/frmabout.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/version.h"
#include "core/playersettings.h"
#include "core/systeminfo.h"
#include "dialogs/dialogcontext.h"
#include "dialogs/dialogs.h"
#include "platform/platform.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

constexpr int kTextWidth = 380;

QLabel* infoLabel(const QString& text, int element, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(u"lblInfo"_s + QString::number(element));
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(true);
    l->setFixedWidth(kTextWidth);  // wrapped text gets the height it needs
    return l;
}

void makeBold(QLabel* label) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
}

QFrame* lineOf(QColor colour, int element, QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setObjectName(u"Line1_"_s + QString::number(element));
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, colour);
    line->setPalette(palette);
    return line;
}

}  // namespace

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(u"frmAbout"_s);
    setWindowTitle(tr("About Quillmoor(tm) Vendrasel"));

    picIcon = new QLabel(this);
    picIcon->setObjectName(u"picIcon"_s);
    picIcon->setAccessibleName(tr("Quillmoor(tm) Vendrasel icon"));
    picIcon->setPixmap(QApplication::windowIcon().pixmap(48, 48));
    picIcon->setFixedSize(52, 52);
    picIcon->setAlignment(Qt::AlignCenter);
    buildTexts();
    buildLowerPart();
    layOut();

    setTabOrder(cmdOK, cmdSysInfo);
    setTabOrder(cmdSysInfo, lblInfo[3]);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::startSysInfo);
}

void frmAbout::buildTexts() {
    const QString texts[] = {
        tr("Quillmoor(tm) Vendrasel"),
        tr("Version %1").arg(QLatin1StringView(version::kFull)),
        tr("Copyright (c) 2026 Quillmoor Media. All rights reserved."),
        QString(),  // the contact address, from the owner
        tr("Every trading day Quillmoor broadcasts an hour of live radio for small-cap "
           "traders: commentary on the markets as they move, the day's news, and guests from "
           "companies and trading desks. Vendrasel starts it for you at air time."),
        tr("The Quillmoor Floor is where small-cap traders meet to share research and ideas. "
           "It produces the live programme and keeps its interviews for you to hear again."),
        tr("Quillmoor:"),
        tr("The Quillmoor Floor:"),
    };
    for (int i = 0; i < 8; ++i) {
        lblInfo.append(infoLabel(texts[i], i, this));
    }
    makeBold(lblInfo[0]);
    makeBold(lblInfo[6]);
    makeBold(lblInfo[7]);
    QFont title = lblInfo[0]->font();
    title.setPointSizeF(title.pointSizeF() * 1.3);
    lblInfo[0]->setFont(title);

    // The address: blue, underlined, the only label that acts on a click (or Enter).
    lblInfo[3]->setTextFormat(Qt::RichText);
    lblInfo[3]->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    lblInfo[3]->setFocusPolicy(Qt::StrongFocus);
    lblInfo[3]->setCursor(Qt::PointingHandCursor);
}

void frmAbout::buildLowerPart() {
    Line1 = {lineOf(Qt::white, 0, this), lineOf(QColor(128, 128, 128), 1, this)};

    lblDisclaimer = new QLabel(
        tr("Warning: Quillmoor(tm) Vendrasel is protected by copyright law. Copying or "
           "distributing this program, in whole or in part, without the written permission of "
           "Quillmoor Media is prohibited and will be prosecuted to the full extent of the law."),
        this);
    lblDisclaimer->setObjectName(u"lblDisclaimer"_s);
    lblDisclaimer->setWordWrap(true);
    lblDisclaimer->setFixedWidth(kTextWidth - 40);

    cmdOK = new QPushButton(tr("OK"), this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setAccessibleName(tr("OK"));
    cmdOK->setDefault(true);  // Enter; Esc closes the dialog as well
    cmdSysInfo = new QPushButton(tr("&System Info..."), this);
    cmdSysInfo->setObjectName(u"cmdSysInfo"_s);
    cmdSysInfo->setAccessibleName(tr("System Info"));
}

void frmAbout::layOut() {
    auto* text = new QVBoxLayout;
    for (int i : {0, 1, 2, 3}) {
        text->addWidget(lblInfo[i]);
    }
    text->addSpacing(8);
    for (int i : {6, 4, 7, 5}) {
        text->addWidget(lblInfo[i]);
    }
    auto* top = new QHBoxLayout;
    top->addWidget(picIcon, 0, Qt::AlignTop);
    top->addLayout(text, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblDisclaimer, 1);
    bottom->addLayout(buttonColumn({cmdOK, cmdSysInfo}));
    auto* main = new QVBoxLayout(this);
    main->addLayout(top);
    main->addSpacing(6);
    main->addWidget(Line1[1]);
    main->setSpacing(0);
    main->addWidget(Line1[0]);
    main->addSpacing(8);
    main->addLayout(bottom);
    main->setSizeConstraint(QLayout::SetFixedSize);
}

void frmAbout::setOwner(const DialogContext& owner) {
    owner_.emplace(owner);
    attachOwnerSkin(*this, owner, {cmdOK, cmdSysInfo});
    const PortalConfig& portal = owner.portal;
    lblInfo[3]->setText(
        u"<a href=\"mailto\" style=\"color:#0000ff; text-decoration:underline\">"_s +
        portal.contactEmail.toHtmlEscaped() + u"</a>"_s);
    lblInfo[3]->setAccessibleName(tr("E-mail %1").arg(portal.contactEmail));
    connect(lblInfo[3], &QLabel::linkActivated, this,
            [this] { owner_->opener.openExternally(owner_->portal.mailUrl()); });
}

void frmAbout::startSysInfo() {
    if (owner_) {
        lyrevane::startSysInfo(owner_->settings, owner_->prompts);
    }
}

}  // namespace lyrevane
