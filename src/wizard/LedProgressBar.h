#pragma once

#include <QWidget>

namespace qrt {

// A progress bar drawn as a row of 100 LED segments, one per percent, with the percentage written
// after them. Segments up to the percentage are lit.
class TLedProgressBar : public QWidget {
    Q_OBJECT

public:
    static constexpr int SegmentCount = 100;

    explicit TLedProgressBar(QWidget* aParent = nullptr);

    int Percent() const { return fPercent; }
    // Clamped to 0..100.
    void SetPercent(int aPercent);
    // The text shown after the segments ("50%").
    QString PercentText() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* aEvent) override;

private:
    int fPercent = 0;
};

} // namespace qrt
