#pragma once

#include <QDialog>
#include <QFrame>
#include <QImage>

#include <functional>

#include "skin/skinconfiguration.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollBar;

namespace lyrevane {

struct DialogContext;

// The preview: shows a picture drawn elsewhere, at the inner size of its sunken border.
class SamplePicture final : public QFrame {
public:
    using QFrame::QFrame;
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};

// Customise Skin: two check boxes and five sliders that edit the owner's skin transforms
// in place, with a preview of an inactive and an active frame. OK keeps the edits;
// Cancel, Enter away from OK, Escape and the close box put the previous values back.
class frmCustomiseSkin final : public QDialog {
    Q_OBJECT

public:
    explicit frmCustomiseSkin(QWidget* parent = nullptr);

    // Takes the owner's skin for editing, skins the dialog and fills the controls.
    void setOwner(const DialogContext& owner);
    // True until OK is pressed.
    bool cancelled() const { return cancelled_; }
    // The configuration being edited: the owner's own object.
    lyrevane::SkinConfiguration& skinConfiguration() { return *skin_; }

    // Redraws the preview from the configuration as it is now.
    void drawPreview();

    void done(int result) override;

private:
    // The widgets, known outside by their object names.
    QLabel* lblSample = nullptr;
    SamplePicture* picSample = nullptr;
    QCheckBox* chkColourise = nullptr;
    QLabel* lblHue = nullptr;
    QScrollBar* hscHue = nullptr;
    QLabel* lblSaturation = nullptr;
    QScrollBar* hscSaturation = nullptr;
    QCheckBox* chkAdjustRGB = nullptr;
    QLabel* lblRed = nullptr;
    QScrollBar* hscRed = nullptr;
    QLabel* lblGreen = nullptr;
    QScrollBar* hscGreen = nullptr;
    QLabel* lblBlue = nullptr;
    QScrollBar* hscBlue = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    void applyColourise();
    void applyRGBAdjust();
    // Changes the skin's transform and redraws the preview, unless the controls are being
    // loaded or the dialog has no skin of its own.
    void applyToTransform(const std::function<void(SkinTransform&)>& change);
    void applyDialogColours();
    void loadControls();

    // Without an owner there is nothing to edit: an empty configuration stands in.
    lyrevane::SkinConfiguration unowned_;
    lyrevane::SkinConfiguration* skin_ = &unowned_;
    bool owned_ = false;
    SkinTransform before_;
    bool cancelled_ = true;
    QString tag_;
    QColor face_;
};

}  // namespace lyrevane
