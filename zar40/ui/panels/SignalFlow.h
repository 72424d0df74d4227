#pragma once
// The signal-flow picture: for every channel its chain of processing blocks
// between the input labels and the outputs, and each output's source
// selector. Every block and selector is a focusable button of its own, so
// the picture works with Tab and Space and tells assistive tools what each
// part is; the widget itself draws the labels and the wiring.
#include "zar40/preset/record.h"

#include <QAbstractButton>
#include <QWidget>

#include <array>
#include <cstdint>

namespace zar40::panels {

enum class BlockKind { Gain, Delay, Peq, Crossover, Dynamics };
inline constexpr int kBlockKindCount = 5;

// How a block is drawn: doing something, doing nothing, or (the gain of a
// muted channel) silencing the chain.
enum class BlockLook { Active, Bypassed, Muted };

class CSignalFlow : public QWidget
{
    Q_OBJECT
public:
    explicit CSignalFlow(QWidget *parent = nullptr);

    // Shows the record's routes, mutes, phases and which blocks do anything.
    // Silent: no signal is emitted.
    void setRecord(const preset::PresetRecord &record);

    // Buttons and their places in this widget's coordinates. Crossover and
    // dynamics blocks exist only for outputs (channel index 3 to 8); the
    // others give nullptr and an empty rectangle.
    QAbstractButton *block(BlockKind kind, int channel) const;
    QAbstractButton *routeSelector(int channel, std::uint32_t route) const;
    QAbstractButton *infoBlock() const
    {
        ensureLayout();
        return m_info;
    }
    QRect blockRect(BlockKind kind, int channel) const;
    QRect selectorRect(int channel, std::uint32_t route) const;

    BlockLook look(BlockKind kind, int channel) const;
    // The route shown for an output (channel index 3 to 8).
    std::uint32_t route(int channel) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // "Gain", "Del", "PEQ", "XOVER", "Dynamik".
    static QString blockName(BlockKind kind);
    // "IN A", "IN A+B", "IN B" and "OUT 1" to "OUT 6".
    static QString channelLabel(int channel);

signals:
    void blockClicked(zar40::panels::BlockKind kind, int channel);
    // The user chose another source for an output: CHANNEL is its channel
    // index (3 to 8), ROUTE 0 = input A, 1 = A+B, 2 = input B.
    void routeChosen(int channel, std::uint32_t route);
    // The preset information block was clicked.
    void infoRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void layoutParts();
    void ensureLayout() const;
    void chooseRoute(int channel, std::uint32_t route);
    int rowY(int channel) const;

    using BlockRow = std::array<QAbstractButton *, kBlockKindCount>;
    std::array<BlockRow, preset::kChannelCount> m_blocks{};
    std::array<std::array<QAbstractButton *, preset::kInputCount>, preset::kOutputCount> m_selectors{};
    QAbstractButton *m_info = nullptr;
    std::array<std::uint32_t, preset::kOutputCount> m_routes{0, 1, 2, 0, 1, 2};
    std::array<bool, preset::kChannelCount> m_muted{};
    // Geometry the painter shares with the layout.
    int m_labelLeft = 0, m_labelWidth = 0;
    int m_outLabelLeft = 0;
    std::array<int, preset::kInputCount> m_inputEnd{};
    std::array<int, preset::kInputCount> m_busX{};
    int m_rowHeight = 0, m_top = 0;
    QSize m_laidOutSize;
};

} // namespace zar40::panels

Q_DECLARE_METATYPE(zar40::panels::BlockKind)
