#pragma once
// The RemoteWatch level panel: eight level bars (inputs A and B, outputs 1
// to 6), the six pots of the device and its mute state, as the connection's
// polling reports them. The panel polls nothing itself. Bars fall back
// smoothly between reports and hold their peak for a moment; numbers change
// only when a new value arrives.
#include <QColor>
#include <QElapsedTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

class QTimer;

namespace zar40::panels {

class CZAR40Static : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kBarCount = 8;
    static constexpr int kPotCount = 6;
    // How long a peak stays before it falls, and how fast a bar or a peak
    // falls: full scale in kFallMs.
    static constexpr int kPeakHoldMs = 1500;
    static constexpr int kFallMs = 1500;

    explicit CZAR40Static(QWidget *parent = nullptr);

    // Meter BAR (0 = input A, 1 = input B, 2..7 = outputs 1..6) with the byte
    // the device reports, 0 to 255.
    void setLevel(int bar, std::uint8_t value);
    // Pot POT (0 to 5; the device numbers them 1 to 6) with the reply's
    // value, a signed position; it is shown as position x 6.0 dB.
    void setPot(int pot, std::uint32_t value);
    // The mute-state word: bit n set = channel index n muted.
    void setMuteState(std::uint32_t bits);
    // Forgets every value (after a disconnect, before the next session).
    void clear();

    // The positions the knobs sweep between: by default 0 to 10, which
    // reads 0 to 60 dB. A position outside is drawn at the nearer end stop
    // and its text says that it is out of range.
    static constexpr int kPotMin = 0;
    static constexpr int kPotMax = 10;
    void setPotRange(int minimum, int maximum);

    // Milliseconds from any fixed start; tests drive the animation with
    // their own clock and tick().
    using Clock = std::function<std::int64_t()>;
    void setClock(Clock clock);
    // Moves falling bars and peaks on to the clock's present time.
    void tick();

    double shownLevel(int bar) const;
    double peakLevel(int bar) const;
    std::uint8_t reportedLevel(int bar) const;
    // "-12.0 dB"; a reading outside the range gets a second line, "out of
    // range"; "--- dB" before the first reading.
    QString potText(int pot) const;
    bool isPotInRange(int pot) const;
    // Where the knob points: 0 at the lower end stop, 1 at the upper; -1
    // before the first reading.
    double potFraction(int pot) const;
    bool isMeterMuted(int bar) const;
    bool isAnimating() const;

    // "IN A", "IN B", "OUT 1" ... "OUT 6".
    static QString barLabel(int bar);
    // The channel index a meter shows.
    static int barChannel(int bar);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // What a bar looks like on screen: repaints go by these, not by the
    // values, so that a change below a pixel costs nothing.
    struct BarPixels {
        int filled = 0;  // rows of the level from the trough's bottom
        QRgb colour = 0; // the level's colour
        int peakY = -1;  // the peak mark's top row, -1 without one
        friend bool operator==(const BarPixels &, const BarPixels &) = default;
    };
    static constexpr int kPeakHeight = 2;
    BarPixels barPixels(int bar) const;
    void repaintBar(int bar, const BarPixels &before);
    QRect barColumn(int bar) const;
    QRect barTrough(int bar) const;
    QRect potCell(int pot) const;
    void startAnimation();

    std::array<std::uint8_t, kBarCount> m_reported{};
    std::array<double, kBarCount> m_shown{};
    std::array<double, kBarCount> m_peak{};
    std::array<std::int64_t, kBarCount> m_peakTime{};
    std::array<std::int32_t, kPotCount> m_pots{};
    std::array<bool, kPotCount> m_potKnown{};
    std::uint32_t m_muteBits = 0;
    bool m_muteKnown = false;
    int m_potMin = kPotMin;
    int m_potMax = kPotMax;
    Clock m_clock;
    QElapsedTimer m_elapsed;
    std::int64_t m_lastTick = 0;
    QTimer *m_animation = nullptr;
};

} // namespace zar40::panels
