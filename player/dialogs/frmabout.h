#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QList>

#include <optional>

#include "dialogs/dialogcontext.h"

class QFrame;
class QLabel;
class QPushButton;

namespace lyrevane {

// "About Quillmoor(tm) Vendrasel": the product, its version, the portal's contact
// address (a click starts an e-mail), and the system information program.
class frmAbout final : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(frmAbout)

public:
    explicit frmAbout(QWidget* parent = nullptr);

    // Fills in the portal's contact address; call once, before showing.
    void setOwner(const DialogContext& owner);
    // Starts the system information program, or says it is unavailable.
    void startSysInfo();

private:
    // The widgets, known outside by their object names.
    QLabel* picIcon = nullptr;
    // Elements 0 to 7: title, version, legal notice, e-mail address, the two portal
    // paragraphs (4, 5) and their headings (6, 7).
    QList<QLabel*> lblInfo;
    QList<QFrame*> Line1;  // element 1 grey, element 0 white one pixel below it
    QLabel* lblDisclaimer = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSysInfo = nullptr;

    // The layout, built in steps: the texts; the lines, the notice and the buttons below
    // them; the layouts that place them all.
    void buildTexts();
    void buildLowerPart();
    void layOut();

    std::optional<DialogContext> owner_;
};

}  // namespace lyrevane
