#include <QFontInfo>
#include <QImage>
#include <QLabel>

#include <gtest/gtest.h>

#include "shell/status_label.h"

namespace vornix7::test {
namespace {

QImage Picture(QLabel& label, const QString& text)
{
    label.setText(text);
    return label.grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

// The cached pictures must look exactly like a plain label, for every
// status, also when a text comes back after others were shown.
TEST(StatusLabelTest, LooksExactlyLikeAPlainLabelForEveryStatus)
{
    StatusLabel cached;
    QLabel plain;
    for (QLabel* label : {static_cast<QLabel*>(&cached), &plain}) {
        label->setTextFormat(Qt::PlainText);
        label->setGeometry(4, 36, 265, 21);
        label->show();
    }
    const QStringList sequence = {"", "Downloading...", "ONLINE", "Downloading...", "OFFLINE", "ONLINE"};
    for (const QString& text : sequence) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(Picture(cached, text), Picture(plain, text));
    }
    EXPECT_NE(Picture(cached, "ONLINE"), Picture(cached, "OFFLINE"));

    // A new font draws anew.
    const QImage before = Picture(cached, "ONLINE");
    QFont larger = cached.font();
    larger.setPixelSize(QFontInfo(larger).pixelSize() + 6);
    cached.setFont(larger);
    plain.setFont(larger);
    EXPECT_NE(Picture(plain, "ONLINE"), before);
    EXPECT_EQ(Picture(cached, "ONLINE"), Picture(plain, "ONLINE"));
}

} // namespace
} // namespace vornix7::test
