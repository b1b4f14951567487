#include "wizard/Pictures.h"

#include "wizard/WizardStyle.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace qrt {

namespace {

const QColor kGold(0xd9, 0xb2, 0x4c);
const QColor kGoldDark(0xa8, 0x84, 0x2c);
const QColor kFolderBack(0xe9, 0xa8, 0x3a);
const QColor kFolderFront(0xf6, 0xc8, 0x63);
const QColor kPaperLine(0xb8, 0xc4, 0xd0);

QPixmap NewCanvas(QSize aSize) {
    QPixmap pixmap(aSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void PrepPainter(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

// A soft disc behind the objects of a picture, so the pictures of all pages share one look.
void DrawBackdrop(QPainter& p, QPointF aCenter, qreal aRadius) {
    QRadialGradient g(aCenter, aRadius);
    g.setColorAt(0, style::AccentLight);
    g.setColorAt(0.75, QColor(0xe9, 0xf1, 0xfa));
    g.setColorAt(1, QColor(0xe9, 0xf1, 0xfa, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(aCenter, aRadius, aRadius);
}

// A memory card: a body with its top-right corner cut off, gold contacts and a label.
void DrawMemoryCard(QPainter& p, const QRectF& r, const QColor& aBody) {
    const qreal cut = r.width() * 0.24;
    QPainterPath body;
    body.moveTo(r.left(), r.top() + 3);
    body.quadTo(r.left(), r.top(), r.left() + 3, r.top());
    body.lineTo(r.right() - cut, r.top());
    body.lineTo(r.right(), r.top() + cut);
    body.lineTo(r.right(), r.bottom() - 3);
    body.quadTo(r.right(), r.bottom(), r.right() - 3, r.bottom());
    body.lineTo(r.left() + 3, r.bottom());
    body.quadTo(r.left(), r.bottom(), r.left(), r.bottom() - 3);
    body.closeSubpath();

    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, aBody.lighter(135));
    g.setColorAt(1, aBody);
    p.setPen(QPen(aBody.darker(160), 1.2));
    p.setBrush(g);
    p.drawPath(body);

    // Contacts along the top edge, left of the cut corner.
    const int contacts = 5;
    const qreal cw = (r.width() - cut - r.width() * 0.14) / contacts;
    for (int i = 0; i < contacts; ++i) {
        QRectF c(r.left() + r.width() * 0.08 + i * cw, r.top() + r.height() * 0.05, cw * 0.62,
                 r.height() * 0.17);
        p.setPen(QPen(kGoldDark, 0.8));
        p.setBrush(kGold);
        p.drawRoundedRect(c, 1, 1);
    }

    // Label with a small photo mark: the card holds someone's pictures.
    QRectF label(r.left() + r.width() * 0.12, r.top() + r.height() * 0.40, r.width() * 0.76,
                 r.height() * 0.46);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 225));
    p.drawRoundedRect(label, 2.5, 2.5);
    QFont f(style::FontFamily);
    f.setBold(true);
    f.setPixelSize(std::max(6, static_cast<int>(label.height() * 0.42)));
    p.setFont(f);
    p.setPen(aBody.darker(130));
    p.drawText(label, Qt::AlignCenter, "SD");
}

// A USB flash drive lying along aAngle degrees, centred on aCenter.
void DrawFlashDrive(QPainter& p, QPointF aCenter, qreal aLength, qreal aAngle) {
    p.save();
    p.translate(aCenter);
    p.rotate(aAngle);
    const qreal w = aLength * 0.34;
    const qreal bodyLen = aLength * 0.70;
    const qreal plugLen = aLength - bodyLen;
    QRectF body(-aLength / 2, -w / 2, bodyLen, w);
    QRectF plug(body.right() - 1, -w * 0.36, plugLen, w * 0.72);

    QLinearGradient metal(plug.topLeft(), plug.bottomLeft());
    metal.setColorAt(0, QColor(0xf2, 0xf4, 0xf6));
    metal.setColorAt(0.5, QColor(0xc5, 0xcb, 0xd2));
    metal.setColorAt(1, QColor(0x9a, 0xa3, 0xad));
    p.setPen(QPen(QColor(0x6d, 0x77, 0x82), 1));
    p.setBrush(metal);
    p.drawRect(plug);
    p.setBrush(QColor(0x5a, 0x64, 0x6f));
    p.setPen(Qt::NoPen);
    const qreal hole = w * 0.16;
    p.drawRect(QRectF(plug.left() + plugLen * 0.25, -w * 0.18, hole, hole));
    p.drawRect(QRectF(plug.left() + plugLen * 0.60, -w * 0.18, hole, hole));

    QLinearGradient g(body.topLeft(), body.bottomLeft());
    g.setColorAt(0, style::Accent.lighter(140));
    g.setColorAt(1, style::Accent.darker(115));
    p.setPen(QPen(style::Navy, 1.2));
    p.setBrush(g);
    p.drawRoundedRect(body, w * 0.28, w * 0.28);
    // Key-ring eye and a highlight.
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(body.left() + w * 0.32, 0), w * 0.11, w * 0.11);
    p.setPen(QPen(QColor(255, 255, 255, 110), w * 0.08, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(body.left() + w * 0.7, -w * 0.26), QPointF(body.right() - w * 0.4, -w * 0.26));
    p.restore();
}

// A warning triangle with an exclamation mark.
void DrawWarningBadge(QPainter& p, QPointF aCenter, qreal aSize) {
    const qreal h = aSize * 0.88;
    QPainterPath tri;
    tri.moveTo(aCenter.x(), aCenter.y() - h / 2);
    tri.lineTo(aCenter.x() + aSize / 2, aCenter.y() + h / 2);
    tri.lineTo(aCenter.x() - aSize / 2, aCenter.y() + h / 2);
    tri.closeSubpath();
    QPen edge(style::Warning.darker(115), aSize * 0.07);
    edge.setJoinStyle(Qt::RoundJoin);
    p.setPen(edge);
    QLinearGradient g(QPointF(aCenter.x(), aCenter.y() - h / 2), QPointF(aCenter.x(), aCenter.y() + h / 2));
    g.setColorAt(0, QColor(0xf7, 0xb5, 0x4a));
    g.setColorAt(1, style::Warning);
    p.setBrush(g);
    p.drawPath(tri);
    p.setPen(QPen(Qt::white, aSize * 0.1, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(aCenter.x(), aCenter.y() - h * 0.13), QPointF(aCenter.x(), aCenter.y() + h * 0.17));
    p.drawPoint(QPointF(aCenter.x(), aCenter.y() + h * 0.34));
}

// A magnifying glass whose lens is centred on aCenter.
void DrawMagnifier(QPainter& p, QPointF aCenter, qreal aRadius) {
    const qreal d = aRadius * 0.7071;
    p.setPen(QPen(style::Navy, aRadius * 0.34, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(aCenter.x() + d * 1.05, aCenter.y() + d * 1.05),
               QPointF(aCenter.x() + d * 2.2, aCenter.y() + d * 2.2));
    QRadialGradient lens(aCenter - QPointF(aRadius * 0.3, aRadius * 0.3), aRadius * 1.2);
    lens.setColorAt(0, QColor(255, 255, 255, 170));
    lens.setColorAt(1, QColor(0xbf, 0xdc, 0xf5, 120));
    p.setBrush(lens);
    p.setPen(QPen(style::Navy, aRadius * 0.16));
    p.drawEllipse(aCenter, aRadius, aRadius);
    p.setPen(QPen(QColor(255, 255, 255, 200), aRadius * 0.1, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(aCenter.x() - aRadius * 0.7, aCenter.y() - aRadius * 0.7, aRadius * 1.4, aRadius * 1.4),
              100 * 16, 70 * 16);
}

// A document: a sheet with a folded corner showing either text lines or a small photo.
void DrawDocument(QPainter& p, const QRectF& r, bool aPhoto) {
    const qreal fold = r.width() * 0.3;
    QPainterPath sheet;
    sheet.moveTo(r.topLeft());
    sheet.lineTo(r.right() - fold, r.top());
    sheet.lineTo(r.right(), r.top() + fold);
    sheet.lineTo(r.bottomRight());
    sheet.lineTo(r.bottomLeft());
    sheet.closeSubpath();
    p.setPen(QPen(QColor(0x8a, 0x98, 0xa8), 1));
    p.setBrush(Qt::white);
    p.drawPath(sheet);
    QPainterPath ear;
    ear.moveTo(r.right() - fold, r.top());
    ear.lineTo(r.right() - fold, r.top() + fold);
    ear.lineTo(r.right(), r.top() + fold);
    ear.closeSubpath();
    p.setBrush(QColor(0xdd, 0xe4, 0xeb));
    p.drawPath(ear);

    if (aPhoto) {
        QRectF pic(r.left() + r.width() * 0.14, r.top() + r.height() * 0.38, r.width() * 0.72,
                   r.height() * 0.48);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x9f, 0xd0, 0xf2));
        p.drawRect(pic);
        p.setBrush(QColor(0xff, 0xd2, 0x4d));
        p.drawEllipse(QPointF(pic.right() - pic.width() * 0.25, pic.top() + pic.height() * 0.3),
                      pic.height() * 0.14, pic.height() * 0.14);
        QPainterPath hill;
        hill.moveTo(pic.bottomLeft());
        hill.lineTo(pic.left() + pic.width() * 0.38, pic.top() + pic.height() * 0.35);
        hill.lineTo(pic.left() + pic.width() * 0.62, pic.top() + pic.height() * 0.7);
        hill.lineTo(pic.left() + pic.width() * 0.78, pic.top() + pic.height() * 0.5);
        hill.lineTo(pic.bottomRight());
        hill.closeSubpath();
        p.setBrush(style::Success);
        p.drawPath(hill);
    } else {
        p.setPen(QPen(kPaperLine, std::max<qreal>(1, r.height() * 0.05), Qt::SolidLine, Qt::RoundCap));
        for (int i = 0; i < 4; ++i) {
            qreal y = r.top() + r.height() * (0.42 + i * 0.14);
            qreal right = r.right() - r.width() * (i == 3 ? 0.4 : 0.16);
            p.drawLine(QPointF(r.left() + r.width() * 0.16, y), QPointF(right, y));
        }
    }
}

// A folder seen from the front; aOpen tilts the front panel so papers can stick out.
void DrawFolderBack(QPainter& p, const QRectF& r) {
    QPainterPath back;
    const qreal tabW = r.width() * 0.38, tabH = r.height() * 0.12;
    back.moveTo(r.left(), r.top() + tabH);
    back.lineTo(r.left(), r.top() + 3);
    back.quadTo(r.left(), r.top(), r.left() + 3, r.top());
    back.lineTo(r.left() + tabW - tabH, r.top());
    back.lineTo(r.left() + tabW, r.top() + tabH);
    back.lineTo(r.right() - 3, r.top() + tabH);
    back.quadTo(r.right(), r.top() + tabH, r.right(), r.top() + tabH + 3);
    back.lineTo(r.right(), r.bottom());
    back.lineTo(r.left(), r.bottom());
    back.closeSubpath();
    p.setPen(QPen(kFolderBack.darker(140), 1.2));
    p.setBrush(kFolderBack);
    p.drawPath(back);
}

void DrawFolderFront(QPainter& p, const QRectF& r) {
    const qreal top = r.top() + r.height() * 0.32;
    QPainterPath front;
    front.moveTo(r.left() + r.width() * 0.06, top);
    front.lineTo(r.right() + r.width() * 0.04, top);
    front.lineTo(r.right(), r.bottom());
    front.lineTo(r.left(), r.bottom());
    front.closeSubpath();
    QLinearGradient g(QPointF(0, top), QPointF(0, r.bottom()));
    g.setColorAt(0, kFolderFront.lighter(108));
    g.setColorAt(1, kFolderFront.darker(106));
    p.setPen(QPen(kFolderBack.darker(140), 1.2));
    p.setBrush(g);
    p.drawPath(front);
}

void DrawCheckBadge(QPainter& p, QPointF aCenter, qreal aRadius) {
    QRadialGradient g(aCenter - QPointF(aRadius * 0.3, aRadius * 0.3), aRadius * 1.3);
    g.setColorAt(0, style::Success.lighter(130));
    g.setColorAt(1, style::Success.darker(110));
    p.setPen(QPen(Qt::white, aRadius * 0.14));
    p.setBrush(g);
    p.drawEllipse(aCenter, aRadius, aRadius);
    QPen tick(Qt::white, aRadius * 0.26, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(tick);
    p.setBrush(Qt::NoBrush);
    QPainterPath path;
    path.moveTo(aCenter.x() - aRadius * 0.45, aCenter.y() + aRadius * 0.02);
    path.lineTo(aCenter.x() - aRadius * 0.1, aCenter.y() + aRadius * 0.36);
    path.lineTo(aCenter.x() + aRadius * 0.48, aCenter.y() - aRadius * 0.34);
    p.drawPath(path);
}

// A lifebuoy: red and white ring.
void DrawLifebuoy(QPainter& p, QPointF aCenter, qreal aRadius) {
    const qreal ring = aRadius * 0.42;
    const qreal mid = aRadius - ring / 2;
    QRectF box(aCenter.x() - mid, aCenter.y() - mid, 2 * mid, 2 * mid);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x8a, 0x98, 0xa8), ring + 2.5, Qt::SolidLine, Qt::FlatCap));
    p.drawEllipse(box);
    for (int i = 0; i < 8; ++i) {
        QColor color = i % 2 == 0 ? QColor(0xd9, 0x3b, 0x3b) : QColor(Qt::white);
        p.setPen(QPen(color, ring, Qt::SolidLine, Qt::FlatCap));
        p.drawArc(box, (i * 45 + 22) * 16, 45 * 16);
    }
}

} // namespace

QPixmap IntroPicture(QSize aSize) {
    QPixmap pixmap = NewCanvas(aSize);
    QPainter p(&pixmap);
    PrepPainter(p);
    const qreal w = aSize.width(), h = aSize.height();
    const qreal s = std::min(w, h);
    const QPointF c(w / 2, h / 2);
    DrawBackdrop(p, c, s * 0.5);
    // The card stands behind, the flash drive lies in front pointing up and right; the warning
    // sign sits above them, clear of both.
    p.save();
    p.translate(c.x() - s * 0.13, c.y() - s * 0.02);
    p.rotate(-12);
    DrawMemoryCard(p, QRectF(-s * 0.14, -s * 0.19, s * 0.28, s * 0.37), QColor(0x2b, 0x4c, 0x7e));
    p.restore();
    DrawFlashDrive(p, QPointF(c.x() + s * 0.06, c.y() + s * 0.17), s * 0.56, -32);
    DrawWarningBadge(p, QPointF(c.x() + s * 0.19, c.y() - s * 0.2), s * 0.3);
    return pixmap;
}

QPixmap DrivePicture(QSize aSize) {
    QPixmap pixmap = NewCanvas(aSize);
    QPainter p(&pixmap);
    PrepPainter(p);
    const qreal w = aSize.width(), h = aSize.height();
    const qreal s = std::min(w, h);
    const QPointF c(w / 2, h / 2);
    DrawBackdrop(p, c, s * 0.5);
    DrawFlashDrive(p, QPointF(c.x() - s * 0.12, c.y() + s * 0.16), s * 0.5, -18);
    DrawMemoryCard(p, QRectF(c.x() - s * 0.28, c.y() - s * 0.3, s * 0.28, s * 0.36),
                   QColor(0x2b, 0x4c, 0x7e));
    DrawMagnifier(p, QPointF(c.x() + s * 0.08, c.y() - s * 0.06), s * 0.17);
    return pixmap;
}

QPixmap FinishPicture(QSize aSize, bool aSuccess) {
    QPixmap pixmap = NewCanvas(aSize);
    QPainter p(&pixmap);
    PrepPainter(p);
    const qreal w = aSize.width(), h = aSize.height();
    const qreal s = std::min(w, h);
    const QPointF c(w / 2, h / 2);
    DrawBackdrop(p, c, s * 0.5);
    QRectF folder(c.x() - s * 0.32, c.y() - s * 0.2, s * 0.62, s * 0.46);
    DrawFolderBack(p, folder);
    if (aSuccess) {
        p.save();
        p.translate(folder.left() + folder.width() * 0.28, folder.top() + folder.height() * 0.18);
        p.rotate(-10);
        DrawDocument(p, QRectF(-s * 0.1, -s * 0.08, s * 0.2, s * 0.26), true);
        p.restore();
        p.save();
        p.translate(folder.left() + folder.width() * 0.62, folder.top() + folder.height() * 0.16);
        p.rotate(8);
        DrawDocument(p, QRectF(-s * 0.09, -s * 0.08, s * 0.18, s * 0.24), false);
        p.restore();
    }
    DrawFolderFront(p, folder);
    if (aSuccess)
        DrawCheckBadge(p, QPointF(folder.right() - s * 0.02, folder.bottom() - s * 0.04), s * 0.13);
    else
        DrawLifebuoy(p, QPointF(folder.right() - s * 0.02, folder.bottom() - s * 0.04), s * 0.14);
    return pixmap;
}

QPixmap SaveFolderPicture(QSize aSize) {
    QPixmap pixmap = NewCanvas(aSize);
    QPainter p(&pixmap);
    PrepPainter(p);
    const qreal w = aSize.width(), h = aSize.height();
    const qreal s = std::min(w, h);
    const QPointF c(w / 2, h / 2);
    DrawBackdrop(p, c, s * 0.5);
    QRectF folder(c.x() - s * 0.3, c.y() - s * 0.04, s * 0.6, s * 0.42);
    DrawFolderBack(p, folder);
    p.save();
    p.translate(folder.center().x(), folder.top() + folder.height() * 0.05);
    DrawDocument(p, QRectF(-s * 0.09, -s * 0.1, s * 0.18, s * 0.24), true);
    p.restore();
    DrawFolderFront(p, folder);
    // A downward arrow above the folder: the files go in here.
    const QPointF top(c.x(), c.y() - s * 0.42), tip(c.x(), c.y() - s * 0.17);
    p.setPen(QPen(style::Accent, s * 0.07, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(top, tip - QPointF(0, s * 0.06));
    QPainterPath head;
    head.moveTo(tip);
    head.lineTo(tip + QPointF(-s * 0.1, -s * 0.1));
    head.lineTo(tip + QPointF(s * 0.1, -s * 0.1));
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(style::Accent);
    p.drawPath(head);
    return pixmap;
}

QIcon RefreshGlyph() {
    QIcon icon;
    for (int size : {16, 24, 32}) {
        QPixmap pixmap = NewCanvas(QSize(size, size));
        QPainter p(&pixmap);
        PrepPainter(p);
        const qreal r = size * 0.32;
        const QPointF c(size / 2.0, size / 2.0);
        QPen pen(style::Accent, size * 0.13, Qt::SolidLine, Qt::RoundCap);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 60 * 16, 280 * 16);
        // Arrow head at the arc's start (60 degrees), pointing along the turn.
        const qreal a = 60 * M_PI / 180;
        QPointF tip(c.x() + r * std::cos(a), c.y() - r * std::sin(a));
        QPainterPath head;
        head.moveTo(tip + QPointF(size * 0.22, -size * 0.02));
        head.lineTo(tip + QPointF(-size * 0.02, -size * 0.2));
        head.lineTo(tip + QPointF(-size * 0.03, size * 0.14));
        head.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(style::Accent);
        p.drawPath(head);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QList<QPixmap> WorkingAnimation::Frames() {
    QList<QPixmap> frames;
    const QPointF from(112, 58), control(288, -18), to(462, 56);
    auto arc = [&](qreal t) {
        const qreal u = 1 - t;
        return u * u * from + 2 * u * t * control + t * t * to;
    };
    const QRectF card(46, 18, 54, 70);
    const QRectF folder(470, 26, 78, 58);

    for (int frame = 0; frame < FrameCount; ++frame) {
        const qreal phase = static_cast<qreal>(frame) / FrameCount;
        QPixmap pixmap = NewCanvas(FrameSize);
        QPainter p(&pixmap);
        PrepPainter(p);

        // The path the files take, as a dotted trail.
        p.setPen(Qt::NoPen);
        for (int i = 1; i < 40; ++i) {
            const qreal t = i / 40.0;
            const bool bright = std::fmod(t - phase + 1.0, 1.0 / 3) < 0.06;
            p.setBrush(bright ? style::Accent : style::AccentLight);
            p.drawEllipse(arc(t), 2.2, 2.2);
        }

        // The card, with a scan line sweeping down and back.
        DrawMemoryCard(p, card, QColor(0x2b, 0x4c, 0x7e));
        const qreal sweep = 0.5 - 0.5 * std::cos(2 * M_PI * phase);
        const qreal y = card.top() + 6 + sweep * (card.height() - 12);
        QLinearGradient beam(QPointF(0, y - 6), QPointF(0, y + 6));
        beam.setColorAt(0, QColor(0x6d, 0xe0, 0x7a, 0));
        beam.setColorAt(0.5, QColor(0x6d, 0xe0, 0x7a, 200));
        beam.setColorAt(1, QColor(0x6d, 0xe0, 0x7a, 0));
        p.fillRect(QRectF(card.left() - 6, y - 6, card.width() + 12, 12), beam);

        // The folder receives the files between its back and its front.
        DrawFolderBack(p, folder);
        for (int k = 0; k < 3; ++k) {
            const qreal t = std::fmod(phase + k / 3.0, 1.0);
            const QPointF at = arc(t);
            const qreal size = 18 + 8 * std::sin(M_PI * t); // larger at the top of the arc
            p.save();
            p.setOpacity(t < 0.08 ? t / 0.08 : (t > 0.92 ? (1 - t) / 0.08 : 1.0));
            p.translate(at);
            p.rotate(-20 + 40 * t);
            DrawDocument(p, QRectF(-size * 0.4, -size / 2, size * 0.8, size), k % 2 == 0);
            p.restore();
        }
        DrawFolderFront(p, folder);
        p.end();
        frames.append(pixmap);
    }
    return frames;
}

} // namespace qrt
