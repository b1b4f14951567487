#include "wizard/LedProgressBar.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace qrt {

namespace {

constexpr int kTextWidth = 48; // room for "100%" after the segments
constexpr int kFrame = 3;      // inner margin of the bezel

} // namespace

TLedProgressBar::TLedProgressBar(QWidget* aParent) : QWidget(aParent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setMinimumSize(200, 20);
}

void TLedProgressBar::SetPercent(int aPercent) {
    int percent = std::clamp(aPercent, 0, 100);
    if (percent == fPercent) return;
    fPercent = percent;
    update();
}

QString TLedProgressBar::PercentText() const {
    return QString::number(fPercent) + "%";
}

QSize TLedProgressBar::sizeHint() const {
    return {575, 24};
}

void TLedProgressBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);

    // The bezel: a dark rounded well the segments sit in.
    QRectF well(0.5, 0.5, width() - kTextWidth - 1.0, height() - 1.0);
    QLinearGradient bezel(well.topLeft(), well.bottomLeft());
    bezel.setColorAt(0, QColor(0x1c, 0x2a, 0x33));
    bezel.setColorAt(1, QColor(0x2c, 0x3e, 0x4a));
    p.setPen(QColor(0x10, 0x1a, 0x20));
    p.setBrush(bezel);
    p.drawRoundedRect(well, 4, 4);

    // Segments: each takes an equal share of the inner width, with a one-pixel gap. Integer
    // boundaries keep every gap crisp.
    p.setRenderHint(QPainter::Antialiasing, false);
    const int left = kFrame + 1;
    const int top = kFrame + 1;
    const int inner = static_cast<int>(well.width()) - 2 * kFrame - 1;
    const int segHeight = height() - 2 * (kFrame + 1);
    const QColor litTop(0x7d, 0xf0, 0x6a), litBottom(0x2f, 0xb3, 0x3a);
    const QColor dark(0x23, 0x3d, 0x2c);
    for (int i = 0; i < SegmentCount; ++i) {
        int x0 = left + i * inner / SegmentCount;
        int x1 = left + (i + 1) * inner / SegmentCount - 1; // one pixel of gap
        QRect seg(x0, top, std::max(1, x1 - x0), segHeight);
        if (i < fPercent) {
            QLinearGradient g(seg.topLeft(), seg.bottomLeft());
            g.setColorAt(0, litTop);
            g.setColorAt(1, litBottom);
            p.fillRect(seg, g);
        } else {
            p.fillRect(seg, dark);
        }
    }

    // The percentage.
    p.setRenderHint(QPainter::Antialiasing, true);
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(0x1f, 0x3a, 0x5a));
    QRect textRect(width() - kTextWidth, 0, kTextWidth, height());
    p.drawText(textRect, Qt::AlignRight | Qt::AlignVCenter, PercentText());
}

} // namespace qrt
