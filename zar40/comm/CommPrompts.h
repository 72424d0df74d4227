#pragma once
// What the connection asks of the user and tells the user. A small interface
// of its own keeps this library free of widgets: the plug-in answers it with
// the host's UserPrompts (zar40/ui/UserPromptsForComm.h), the command-line tool with
// its options and stderr, tests with a script.
#include <QString>

#include <cstdint>
#include <optional>

namespace zar40::comm {

class CommPrompts
{
public:
    virtual ~CommPrompts();
    // A notice with the information icon ("Wrong Password!", the revision
    // message).
    virtual void information(const QString &text) = 0;
    // A failure with the error icon (a port that cannot be opened).
    virtual void error(const QString &text) = 0;
    // The "Enter Password" dialog: the text entered, nothing for Cancel.
    virtual std::optional<QString> enterPassword() = 0;
};

inline constexpr const char *kEnterPasswordCaption = "Enter Password";

// The password dialog's conversion: optional blanks and sign, then the
// leading decimal digits; 0 when there are none. The number is kept to 32
// bits (a value past the signed range saturates, as the C conversion does).
std::uint32_t passwordFromText(const QString &text);

} // namespace zar40::comm
