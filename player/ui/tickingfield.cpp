#include "ui/tickingfield.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QRasterWindow>

namespace lyrevane {

namespace {

constexpr int kPadding = 4;  // pixels on each side of the text

// "REC 1:23" and "REC 4:56" take the same room whatever the font's digits.
QString widestDigits(QString text) {
    for (QChar& c : text) {
        if (c.isDigit()) {
            c = u'8';
        }
    }
    return text;
}

}  // namespace

// The field's own window: a raster surface, painted in the status bar's colours and font.
class TickingText final : public QRasterWindow {
public:
    void setLook(const QPalette& palette, const QFont& font) {
        palette_ = palette;
        font_ = font;
        update();
    }
    void setText(const QString& text) {
        if (text != text_) {
            text_ = text;
            update();
        }
    }
    const QString& text() const { return text_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect area(QPoint(0, 0), size());
        painter.fillRect(area, palette_.color(QPalette::Window));
        painter.setPen(palette_.color(QPalette::WindowText));
        painter.setFont(font_);
        painter.drawText(area.adjusted(kPadding, 0, -kPadding, 0), Qt::AlignVCenter | Qt::AlignLeft,
                         text_);
    }

private:
    QPalette palette_;
    QFont font_;
    QString text_;
};

TickingField::TickingField(QWidget* parent) : QWidget(parent), text_(new TickingText) {
    text_->setLook(palette(), font());
    container_ = QWidget::createWindowContainer(text_, this);
    container_->setFocusPolicy(Qt::NoFocus);
    // Clicks and hovering belong to the status bar underneath, as on a label.
    container_->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(container_);
    setFixedSize(0, fontMetrics().height());
    hide();
}

void TickingField::setText(const QString& text) {
    if (text == text_->text()) {
        return;
    }
    text_->setText(text);
    // The text's own accessible name is what it shows, as a label's is.
    setAccessibleName(text);
    if (text.isEmpty()) {
        hide();
        setFixedWidth(0);
        return;
    }
    const int wanted = widthFor(text);
    if (wanted > width() || isHidden()) {
        setFixedWidth(wanted);
    }
    show();
}

QString TickingField::text() const {
    return text_->text();
}

int TickingField::widthFor(const QString& text) const {
    return fontMetrics().horizontalAdvance(widestDigits(text)) + 2 * kPadding;
}

void TickingField::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) {
        text_->setLook(palette(), font());
        setFixedHeight(fontMetrics().height());
        if (!isHidden()) {
            setFixedWidth(widthFor(text_->text()));
        }
    }
    QWidget::changeEvent(event);
}

}  // namespace lyrevane
