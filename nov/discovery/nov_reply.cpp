#include "nov_reply.h"

#include <QStringDecoder>

#include <limits>

namespace NovReply {

QByteArray text(const QByteArray &datagram)
{
    QByteArray t = datagram.left(kMaxReplyBytes);
    const qsizetype zero = t.indexOf('\0');
    if (zero >= 0)
        t.truncate(zero);
    return t;
}

bool isOwnRequest(QByteArrayView text)
{
    return text == QByteArrayView(Request);
}

QByteArray duplicateKey(QByteArrayView text)
{
    return text.first(qMin(text.size(), kDuplicateKeyLength)).toByteArray();
}

QString decode(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8.decode(bytes);
    if (utf8.hasError())
        return QString::fromLatin1(bytes);
    return s;
}

namespace {

// Leading decimal digits with an optional sign; 0 when there are none.
int leadingNumber(QByteArrayView token)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < token.size() && (token[i] == '-' || token[i] == '+'))
        negative = token[i++] == '-';
    long long value = 0;
    for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i) {
        value = value * 10 + (token[i] - '0');
        if (value > std::numeric_limits<int>::max())
            return negative ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
    }
    return int(negative ? -value : value);
}

} // namespace

int split(QByteArrayView text, NovModule &module)
{
    int taken = 0;
    qsizetype runStart = 0;
    qsizetype runLength = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != ' ') {
            if (runLength == 0)
                runStart = i;
            ++runLength;
            continue;
        }
        if (runLength == 0)
            continue;
        const QByteArrayView token = text.sliced(runStart, runLength);
        runLength = 0;
        switch (taken++) {
        case 0: module.serialNumber = decode(token); break;
        case 1: module.token1 = leadingNumber(token); break;
        case 2: module.address = decode(token); break;
        case 3: module.token3 = decode(token); break;
        case 4: {
            module.token4 = decode(token);
            qsizetype rest = i;
            while (rest < text.size() && text[rest] == ' ')
                ++rest;
            module.name = decode(text.sliced(rest));
            return taken;
        }
        }
    }
    return taken;
}

} // namespace NovReply
