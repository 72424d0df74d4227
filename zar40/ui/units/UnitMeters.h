#pragma once
// A unit's eight meters as small bars (inputs A and B, outputs 1 to 6) with
// a red mark under each output that is muted. It paints what it is given.
#include <QWidget>

#include <array>
#include <cstdint>

class CUnitMeters : public QWidget
{
    Q_OBJECT
public:
    explicit CUnitMeters(QWidget *parent = nullptr);

    void setLevels(const std::array<std::uint8_t, 8> &levels);
    // Bit c: channel index c muted (outputs are 3 to 8); without a word the
    // marks stay grey.
    void setMuteState(std::uint32_t state, bool known);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::array<std::uint8_t, 8> m_levels{};
    std::uint32_t m_mutes = 0;
    bool m_mutesKnown = false;
};
