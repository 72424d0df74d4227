#pragma once
// The RemoteWatch level panel: eight level bars (inputs A and B, outputs 1
// to 6), the six pots of the device and its mute state, as the connection's
// polling reports them. The panel polls nothing itself. Bars fall back
// smoothly between reports and hold their peak for a moment; numbers change
// only when a new value arrives.
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
    // A level reply as it arrives: HALF 0 holds meters 1-4, half 1 meters
    // 5-8, the first meter in the word's most significant byte.
    void setLevelWord(int half, std::uint32_t word);
    // Pot POT (0 to 5; the device numbers them 1 to 6) with the reply's
    // value, a signed position; it is shown as position x 6.0 dB.
    void setPot(int pot, std::uint32_t value);
    // The mute-state word: bit n set = channel index n muted.
    void setMuteState(std::uint32_t bits);
    // Forgets every value (after a disconnect, before the next session).
    void clear();

    // The positions the knobs sweep between; the text is not limited.
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
    QString potText(int pot) const;
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
    QRect barColumn(int bar) const;
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
    int m_potMin = 0;
    int m_potMax = 255;
    Clock m_clock;
    QElapsedTimer m_elapsed;
    std::int64_t m_lastTick = 0;
    QTimer *m_animation = nullptr;
};

} // namespace zar40::panels
