#include <QFontInfo>
#include <QImage>
#include <QLabel>

#include <gtest/gtest.h>

#include "shell/qt/status_label.h"

namespace vornix7::test {
namespace {

// The window around the label as it looks, background included.
QImage Picture(QLabel& label, const QString& text)
{
    label.setText(text);
    return label.window()->grab().toImage().convertToFormat(QImage::Format_ARGB32);
}

// The cached pictures, painted opaquely over the window's background, must
// look exactly like a plain label, for every status, also when a text
// comes back after others were shown.
TEST(StatusLabelTest, LooksExactlyLikeAPlainLabelForEveryStatus)
{
    QWidget cachedWindow;
    QWidget plainWindow;
    StatusLabel cached(QString(), &cachedWindow);
    QLabel plain(&plainWindow);
    for (QLabel* label : {static_cast<QLabel*>(&cached), &plain}) {
        label->setTextFormat(Qt::PlainText);
        label->setGeometry(4, 36, 265, 21);
        label->window()->resize(278, 64);
        label->window()->show();
    }
    EXPECT_TRUE(cached.testAttribute(Qt::WA_OpaquePaintEvent));
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
