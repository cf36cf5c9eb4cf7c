#include "shell/qt/status_label.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>

namespace vornix7 {

StatusLabel::StatusLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, PlainBackground());
}

bool StatusLabel::PlainBackground() const
{
    // The label fills nothing itself: below it is the window's background
    // brush, the one its palette names for the background role.
    const QBrush background = palette().brush(backgroundRole());
    return !autoFillBackground() && background.style() == Qt::SolidPattern && background.isOpaque();
}

void StatusLabel::paintEvent(QPaintEvent* /*event*/)
{
    auto picture = pictures_.find(text());
    if (picture == pictures_.end()) {
        // Drawn as a plain-text label without frame or margin draws itself,
        // over the background the window would have drawn below it.
        const qreal ratio = devicePixelRatioF();
        QPixmap drawn(size() * ratio);
        drawn.setDevicePixelRatio(ratio);
        if (testAttribute(Qt::WA_OpaquePaintEvent)) {
            drawn.fill(palette().color(backgroundRole()));
        } else {
            drawn.fill(Qt::transparent);
        }
        QPainter painter(&drawn);
        painter.setFont(font());
        style()->drawItemText(&painter, contentsRect(),
                              QStyle::visualAlignment(layoutDirection(), alignment()), palette(), isEnabled(),
                              text(), foregroundRole());
        painter.end();
        picture = pictures_.insert(text(), drawn);
    }
    QPainter(this).drawPixmap(0, 0, *picture);
}

void StatusLabel::changeEvent(QEvent* event)
{
    // A new font, palette or style draws the texts differently.
    pictures_.clear();
    setAttribute(Qt::WA_OpaquePaintEvent, PlainBackground());
    QLabel::changeEvent(event);
}

void StatusLabel::resizeEvent(QResizeEvent* event)
{
    pictures_.clear();
    QLabel::resizeEvent(event);
}

} // namespace vornix7
