#include "shell/status_label.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>

namespace vornix7 {

void StatusLabel::paintEvent(QPaintEvent* /*event*/)
{
    auto picture = pictures_.find(text());
    if (picture == pictures_.end()) {
        // Drawn as a plain-text label without frame or margin draws itself.
        const qreal ratio = devicePixelRatioF();
        QPixmap drawn(size() * ratio);
        drawn.setDevicePixelRatio(ratio);
        drawn.fill(Qt::transparent);
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
    QLabel::changeEvent(event);
}

void StatusLabel::resizeEvent(QResizeEvent* event)
{
    pictures_.clear();
    QLabel::resizeEvent(event);
}

} // namespace vornix7
