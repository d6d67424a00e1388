#include "dialogs/frmcustomiseskin.h"

#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>

#include "dialogs/dialogcontext.h"
#include "dialogs/dialogs.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// The guard that keeps the events of filling the controls from writing the skin.
constexpr QStringView kNoEvents = u"NOEVENTS";

// `widget`, named `name`, placed at `geometry`.
template <typename Widget>
Widget* placed(Widget* widget, const QString& name, QRect geometry) {
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    return widget;
}

QLabel* label(QWidget* parent, const QString& caption, QRect geometry) {
    auto* result = new QLabel(caption, parent);
    result->setGeometry(geometry);
    return result;
}

QScrollBar* newSlider(QWidget* parent, const QString& name, QRect geometry, int maximum,
                      QLabel* buddy) {
    auto* bar = placed(new QScrollBar(Qt::Horizontal, parent), name, geometry);
    bar->setAccessibleName(buddy->text());
    bar->setRange(0, maximum);
    bar->setSingleStep(1);
    bar->setPageStep(10);
    bar->setFocusPolicy(Qt::StrongFocus);
    bar->setEnabled(false);
    buddy->setEnabled(false);
    return bar;
}

// The labels beside the sliders follow their sliders' enabled state.
void enable(bool on, std::initializer_list<QWidget*> widgets) {
    for (QWidget* widget : widgets) {
        widget->setEnabled(on);
    }
}

// Where the design's font is missing, its stand-in may be wider: a caption that would be
// cut off at its designed width gets a slightly smaller font instead.
void fitCaption(QWidget* widget) {
    QFont font = widget->font();
    while (widget->sizeHint().width() > widget->width() && font.pointSizeF() > 6.0) {
        font.setPointSizeF(font.pointSizeF() - 0.25);
        widget->setFont(font);
    }
}

}  // namespace

void SamplePicture::setPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void SamplePicture::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (!picture_.isNull()) {
        QPainter painter(this);
        painter.drawImage(contentsRect().topLeft(), picture_);
    }
}

frmCustomiseSkin::frmCustomiseSkin(QWidget* parent) : QDialog(parent) {
    setObjectName(u"frmCustomiseSkin"_s);
    setWindowTitle(tr("Customise Skin"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    QFont tahoma;
    tahoma.setFamilies({u"Tahoma"_s, u"DejaVu Sans Condensed"_s, u"Liberation Sans"_s});
    tahoma.setPointSizeF(8.25);
    setFont(tahoma);
    setFixedSize(389, 425);

    lblSample = label(this, tr("Sample:"), QRect(32, 8, 309, 17));
    picSample = placed(new SamplePicture(this), u"picSample"_s, QRect(32, 28, 309, 141));
    picSample->setAccessibleName(tr("Sample"));
    picSample->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    picSample->setFocusPolicy(Qt::TabFocus);
    picSample->setAutoFillBackground(true);

    chkColourise =
        placed(new QCheckBox(tr("&Colorize"), this), u"chkColourise"_s, QRect(32, 180, 61, 17));
    lblHue = label(this, tr("Hue"), QRect(32, 204, 37, 17));
    hscHue = newSlider(this, u"hscHue"_s, QRect(92, 200, 249, 17), slider::kHueMax, lblHue);
    lblSaturation = label(this, tr("Saturation"), QRect(32, 228, 57, 17));
    hscSaturation = newSlider(this, u"hscSaturation"_s, QRect(92, 224, 249, 17),
                              slider::kSaturationMax, lblSaturation);

    chkAdjustRGB = placed(new QCheckBox(tr("&Adjust Red, Green, and Blue"), this),
                          u"chkAdjustRGB"_s, QRect(28, 268, 157, 17));
    lblRed = label(this, tr("Red %"), QRect(32, 296, 37, 17));
    hscRed = newSlider(this, u"hscRed"_s, QRect(92, 292, 249, 17), slider::kChannelMax, lblRed);
    lblGreen = label(this, tr("Green %"), QRect(32, 320, 45, 17));
    hscGreen =
        newSlider(this, u"hscGreen"_s, QRect(92, 316, 249, 17), slider::kChannelMax, lblGreen);
    lblBlue = label(this, tr("Blue %"), QRect(32, 340, 37, 17));
    hscBlue = newSlider(this, u"hscBlue"_s, QRect(92, 340, 249, 17), slider::kChannelMax, lblBlue);

    cmdOK = placed(new QPushButton(tr("&OK"), this), u"cmdOK"_s, QRect(184, 364, 77, 29));
    cmdCancel =
        placed(new QPushButton(tr("&Cancel"), this), u"cmdCancel"_s, QRect(264, 364, 77, 29));
    // Enter anywhere but on OK cancels, and so does Escape (QDialog's own).
    cmdCancel->setDefault(true);

    for (QWidget* captioned :
         {static_cast<QWidget*>(chkColourise), static_cast<QWidget*>(chkAdjustRGB),
          static_cast<QWidget*>(lblSaturation), static_cast<QWidget*>(lblGreen)}) {
        fitCaption(captioned);
    }

    setTabOrder(hscRed, hscGreen);
    setTabOrder(hscGreen, hscBlue);
    setTabOrder(hscBlue, hscHue);
    setTabOrder(hscHue, hscSaturation);
    setTabOrder(hscSaturation, cmdOK);
    setTabOrder(cmdOK, cmdCancel);
    setTabOrder(cmdCancel, picSample);
    setTabOrder(picSample, chkColourise);
    setTabOrder(chkColourise, chkAdjustRGB);

    connect(chkColourise, &QCheckBox::toggled, this, [this](bool on) {
        enable(on, {hscHue, hscSaturation, lblHue, lblSaturation});
        applyColourise();
    });
    connect(chkAdjustRGB, &QCheckBox::toggled, this, [this](bool on) {
        enable(on, {hscRed, hscGreen, hscBlue, lblRed, lblGreen, lblBlue});
        applyRGBAdjust();
    });
    for (QScrollBar* bar : {hscHue, hscSaturation}) {
        connect(bar, &QScrollBar::valueChanged, this, &frmCustomiseSkin::applyColourise);
    }
    for (QScrollBar* bar : {hscRed, hscGreen, hscBlue}) {
        connect(bar, &QScrollBar::valueChanged, this, &frmCustomiseSkin::applyRGBAdjust);
    }
    connect(cmdOK, &QPushButton::clicked, this, [this] {
        cancelled_ = false;
        accept();
    });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmCustomiseSkin::setOwner(const DialogContext& owner) {
    skin_ = &owner.skin;
    owned_ = true;
    before_ = skin_->transform;
    attachOwnerSkin(*this, owner, {picSample, cmdOK, cmdCancel});
    loadControls();
    applyDialogColours();
    drawPreview();
    // The focus starts on the first control in keyboard order that can take it.
    for (QWidget* first : {static_cast<QWidget*>(hscRed), static_cast<QWidget*>(hscGreen),
                           static_cast<QWidget*>(hscBlue), static_cast<QWidget*>(hscHue),
                           static_cast<QWidget*>(hscSaturation), static_cast<QWidget*>(cmdOK)}) {
        if (first->isEnabled()) {
            first->setFocus();
            break;
        }
    }
}

void frmCustomiseSkin::loadControls() {
    tag_ = kNoEvents.toString();
    const SkinTransform& t = skin_->transform;
    hscHue->setValue(slider::fromHue(t.hue));
    hscSaturation->setValue(slider::fromSaturation(t.saturation));
    chkColourise->setChecked(t.colourise);
    hscRed->setValue(slider::fromPercent(t.percentRed));
    hscGreen->setValue(slider::fromPercent(t.percentGreen));
    hscBlue->setValue(slider::fromPercent(t.percentBlue));
    chkAdjustRGB->setChecked(t.adjustRGB);
    tag_.clear();
}

void frmCustomiseSkin::applyColourise() {
    applyToTransform([this](SkinTransform& t) {
        t.colourise = chkColourise->isChecked();
        t.hue = slider::toHue(hscHue->value());
        t.saturation = slider::toSaturation(hscSaturation->value());
    });
}

void frmCustomiseSkin::applyRGBAdjust() {
    applyToTransform([this](SkinTransform& t) {
        t.adjustRGB = chkAdjustRGB->isChecked();
        t.percentRed = slider::toPercent(hscRed->value());
        t.percentGreen = slider::toPercent(hscGreen->value());
        t.percentBlue = slider::toPercent(hscBlue->value());
    });
}

void frmCustomiseSkin::applyToTransform(const std::function<void(SkinTransform&)>& change) {
    if (tag_ == kNoEvents || !owned_) {
        return;
    }
    change(skin_->transform);
    drawPreview();
}

// The dialog's own colours follow the skin as it was when the dialog opened; the
// sliders keep the desktop's.
void frmCustomiseSkin::applyDialogColours() {
    face_ = toQColor(skin_->faceColour());
    for (QScrollBar* bar : {hscHue, hscSaturation, hscRed, hscGreen, hscBlue}) {
        keepDesktopColours(*bar);
    }
}

void frmCustomiseSkin::drawPreview() {
    if (!owned_) {
        return;
    }
    const QSize inner = picSample->contentsRect().size();
    const qreal dpr = picSample->devicePixelRatioF();
    QImage canvas(inner * dpr, QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(dpr);
    canvas.fill(face_);
    QPainter painter(&canvas);
    const int w = inner.width();
    const int h = inner.height();
    skin_->drawSample(painter, 4, 4, w - 40, h - 40, false);
    skin_->drawSample(painter, 32, 32, w - 40, h - 40, true);
    painter.end();
    picSample->setPicture(canvas);
}

void frmCustomiseSkin::done(int result) {
    // Everything but OK (Cancel, Enter, Escape, the close box) undoes the edits.
    if (cancelled_ && owned_) {
        skin_->transform = before_;
    }
    QDialog::done(result);
}

}  // namespace lyrevane
