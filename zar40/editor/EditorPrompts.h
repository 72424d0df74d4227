#pragma once
// What the editor asks and shows its user while it talks to a unit. The
// window answers with dialogs, the tests with a script. Every question is
// answered through its callback, at once or later; the session never waits
// for an answer, so a link that drops while a question is open is just one
// more event, and an answer that arrives after it is dropped.
#include "zar40/comm/transfer_ui.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace zar40::editor {

// The editor's questions, asked by the session and by the window's own
// commands.
inline constexpr const char *kStorePresetQuestion = "Store Preset?";
inline constexpr const char *kCopyPresetQuestion = "Copy Preset to ZAR?";
inline constexpr const char *kSaveCurrentQuestion = "Do you want to save the current preset?";
inline constexpr const char *kOverwriteQuestion = "Overwrite this Preset?";

class EditorPrompts
{
public:
    enum class Answer { Yes, No, Cancel };

    virtual ~EditorPrompts();

    virtual void askYesNo(const QString &text, std::function<void(bool yes)> answered) = 0;
    virtual void askYesNoCancel(const QString &text, std::function<void(Answer answer)> answered) = 0;
    // The slot to work on after connecting, NUMBER (1 to 32) offered first;
    // nothing when the user cancels.
    virtual void chooseSlot(int number, std::function<void(std::optional<int> number)> answered) = 0;
    // A "Please wait..." box with TEXT that closes itself after MS; CLOSED
    // runs when it has.
    virtual void showWaitBox(const QString &text, int ms, std::function<void()> closed) = 0;
    // Where to save the current preset; an empty path when the user cancels.
    virtual void askSaveFileName(std::function<void(const QString &path)> answered) = 0;
    // The password the unit asks for; nothing when the user cancels. Asked
    // by the connection itself, which waits for it.
    virtual std::optional<QString> enterPassword() = 0;
    virtual void information(const QString &text) = 0;
    virtual void error(const QString &text) = 0;
    // The progress window of a whole-preset transfer; may be null.
    virtual std::unique_ptr<comm::WaitWindow> openTransferWindow(const QString &title, int total) = 0;
};

} // namespace zar40::editor
