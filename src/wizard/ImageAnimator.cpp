#include "wizard/ImageAnimator.h"

#include <QPainter>

namespace qrt {

TImageAnimator::TImageAnimator(QWidget* aParent) : QWidget(aParent) {
    fTimer.setSingleShot(true);
    connect(&fTimer, &QTimer::timeout, this, [this] {
        Step();
        fTimer.start(fFrameIndex == FrameCount() - 1 ? FrameInterval + RepeatPause : FrameInterval);
    });
}

void TImageAnimator::SetFrames(QList<QPixmap> aFrames) {
    fFrames = std::move(aFrames);
    fFrameIndex = 0;
    if (!fFrames.isEmpty()) setFixedSize(fFrames.first().deviceIndependentSize().toSize());
    update();
}

void TImageAnimator::SetAnimate(bool aAnimate) {
    if (aAnimate == Animate()) return;
    if (aAnimate && FrameCount() > 1)
        fTimer.start(FrameInterval);
    else
        fTimer.stop();
}

void TImageAnimator::Step() {
    if (fFrames.isEmpty()) return;
    fFrameIndex = (fFrameIndex + 1) % FrameCount();
    update();
}

QSize TImageAnimator::sizeHint() const {
    return fFrames.isEmpty() ? QSize(575, 100) : fFrames.first().deviceIndependentSize().toSize();
}

void TImageAnimator::paintEvent(QPaintEvent*) {
    if (fFrames.isEmpty()) return;
    QPainter p(this);
    p.drawPixmap(0, 0, fFrames[fFrameIndex]);
}

} // namespace qrt
