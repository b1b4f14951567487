#pragma once

#include <QList>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

namespace qrt {

// Plays a list of equally sized frames in a loop: each frame stays FrameInterval milliseconds, and
// after the last one the animation holds RepeatPause milliseconds before it starts over.
class TImageAnimator : public QWidget {
    Q_OBJECT

public:
    static constexpr int FrameInterval = 75;
    static constexpr int RepeatPause = 500;

    explicit TImageAnimator(QWidget* aParent = nullptr);

    void SetFrames(QList<QPixmap> aFrames);
    int FrameCount() const { return static_cast<int>(fFrames.size()); }
    int FrameIndex() const { return fFrameIndex; }

    bool Animate() const { return fTimer.isActive(); }
    // Starts or stops the loop; starting an animation that runs already changes nothing.
    void SetAnimate(bool aAnimate);
    // Shows the next frame at once, as the timer would (the loop's pacing is the timer's).
    void Step();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* aEvent) override;

private:
    QList<QPixmap> fFrames;
    int fFrameIndex = 0;
    QTimer fTimer;
};

} // namespace qrt
