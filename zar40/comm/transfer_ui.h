#pragma once
// What a preset transfer shows while it runs: a wait window with the
// transfer's title and its progress, and the editor frame disabled. The
// editor implements this with widgets; the command-line tool prints the
// progress; without one the transfer runs unseen.
#include <QString>

#include <memory>

namespace zar40::comm {

class WaitWindow
{
public:
    virtual ~WaitWindow();
    // DONE of TOTAL exchanges have been answered.
    virtual void setProgress(int done, int total) = 0;
    // Closes the window with a dialog result (2 when the transfer ends or is
    // cut short).
    virtual void close(int result) = 0;
};

class TransferUi
{
public:
    virtual ~TransferUi();
    // A new wait window titled TITLE ("Load Preset", "Transfer Preset") for
    // TOTAL exchanges, shown at once. May return null: the transfer then
    // goes on without one.
    virtual std::unique_ptr<WaitWindow> openWaitWindow(const QString &title, int total) = 0;
    // Disables the editor frame while a transfer runs, enables it after.
    virtual void setEditorEnabled(bool enabled) = 0;
};

inline constexpr const char *kLoadPresetTitle = "Load Preset";
inline constexpr const char *kTransferPresetTitle = "Transfer Preset";

} // namespace zar40::comm
