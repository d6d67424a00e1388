#pragma once

#include <QCoreApplication>
#include <memory>

#include "core/brokerentries.h"
#include "dialogs/listeditordialog.h"

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace lyrevane {

struct DialogContext;

// "Online Brokers": the editor of the brokers behind the play bar's lightning button.
// OK rewrites the list and has the main window rebuild its brokers menu at once.
class frmOnlineBrokers final : public ListEditorDialog {
    Q_DECLARE_TR_FUNCTIONS(frmOnlineBrokers)

public:
    explicit frmOnlineBrokers(QWidget* parent = nullptr);
    ~frmOnlineBrokers() override;

    // Loads the brokers through the owner's store; call once, before showing.
    void setOwner(const DialogContext& owner);

private:
    // The widgets, known outside by their object names.
    QFrame* picInfo = nullptr;
    QToolButton* cmdInfo = nullptr;
    QLabel* lblInfo2 = nullptr;
    QGroupBox* fraOnlineBrokers = nullptr;
    QComboBox* cboBrokerSelect = nullptr;
    QLineEdit* txtName = nullptr;
    QLineEdit* txtURL = nullptr;

    // ListEditorView
    EntryFields fields() const override;
    void showFields(const EntryFields& fields) override;
    void clearTexts() override;
    void focusField(int field) override;

    // The layout's groups: the picture and its text, the brokers' frame.
    void buildInfo();
    void buildBrokersFrame();

    std::unique_ptr<BrokerEntries> entries_;
};

}  // namespace lyrevane
