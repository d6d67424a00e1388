#pragma once

#include <QString>
#include <QWidget>

namespace lyrevane {

class TickingText;

// A status-bar field for a text that changes every second, such as "REC 12:34".
//
// The main window's browser panes are OpenGL textures, so Qt composes the whole window again
// for any change to its widgets; without a GPU (Mesa's software renderer) that costs about half
// a percent of a core for each changing second. The field therefore draws its text in a small
// native window of its own, which is redrawn alone. It is hidden while its text is empty.
class TickingField final : public QWidget {
public:
    explicit TickingField(QWidget* parent);

    // Shows `text` (hidden when empty). Its width only grows while it is shown, so that a
    // changing digit never moves the fields beside it.
    void setText(const QString& text);
    QString text() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    int widthFor(const QString& text) const;

    TickingText* text_ = nullptr;  // owned by the window container
    QWidget* container_ = nullptr;
};

}  // namespace lyrevane
