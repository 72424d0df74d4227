#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// One module that answered a scan.
struct NovModule
{
    QString serialNumber; // the reply's first token, later the text of the module's serial-number page
    int token1 = 0;       // second token as a decimal number, 0 when it is none
    QString address;      // third token: where the module's pages are
    QString token3;
    QString token4;
    QString name;         // the rest after the fifth token, leading blanks removed

    // What the module list shows.
    QString displayName() const { return name.isEmpty() ? address : name; }
};

namespace NovReply {

// The request a scan sends; a scanner hears its own broadcast too.
inline constexpr char Request[] = "0 1";
// At most this much of a datagram is read as a reply.
inline constexpr qsizetype kMaxReplyBytes = 512;
// Replies that agree in this many leading characters come from one module.
inline constexpr qsizetype kDuplicateKeyLength = 5;

// The reply text of a datagram: its first kMaxReplyBytes bytes, up to the
// first zero byte.
QByteArray text(const QByteArray &datagram);

bool isOwnRequest(QByteArrayView text);

// The part of a reply by which repeated answers of one module are recognised.
QByteArray duplicateKey(QByteArrayView text);

// Splits a reply into module's fields. A token is a run of non-blank
// characters ended by a blank; a run at the very end of the text is no token.
// After the fifth token the rest, less its leading blanks, is the name.
// Fields without a token are left as they were. Returns the number of tokens
// taken (0 to 5).
int split(QByteArrayView text, NovModule &module);

// Decodes outside text: UTF-8 when it is valid, otherwise Latin-1.
QString decode(QByteArrayView bytes);

} // namespace NovReply
