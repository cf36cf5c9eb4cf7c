#pragma once

#include <QHash>
#include <QLabel>
#include <QPixmap>

namespace vornix7 {

// The status label, plain text only. It shows a handful of texts, two of
// them on every poll, so each is laid out and drawn once and afterwards
// painted from a cached picture: shaping and drawing the text anew was
// the largest part of a poll's own instructions. Where the window's
// background is one plain colour, the pictures carry it and the label
// paints opaquely: the window below is not repainted, and the picture is
// copied rather than blended.
class StatusLabel final : public QLabel {
    Q_OBJECT

public:
    explicit StatusLabel(const QString& text, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Whether the background below is a plain opaque colour, so a picture
    // can carry it; anything else is drawn through as before.
    bool PlainBackground() const;

    QHash<QString, QPixmap> pictures_;
};

} // namespace vornix7
