#pragma once

#include <QHash>
#include <QLabel>
#include <QPixmap>

namespace vornix7 {

// The status label, plain text only. It shows a handful of texts, two of
// them on every poll, so each is laid out and drawn once and afterwards
// painted from a cached picture: shaping and drawing the text anew was
// the largest part of a poll's own instructions.
class StatusLabel final : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QHash<QString, QPixmap> pictures_;
};

} // namespace vornix7
