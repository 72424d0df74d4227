#include "zar40/ui/panels/NameValidator.h"

#include "zar40/preset/record.h"
#include "zar40/preset/text_codec.h"

namespace zar40::panels {

namespace {

bool accepted(QChar c)
{
    if (c.unicode() < 0x20 || c.isSurrogate()) return false;
    const std::string bytes = preset::utf8ToCp1252(QString(c).toStdString());
    return bytes.size() == 1 && bytes[0] != '?' && preset::isNameCharacterAllowed(bytes[0]);
}

} // namespace

NameValidator::NameValidator(int width, QObject *parent) : QValidator(parent), m_width(width) {}

QString NameValidator::filtered(const QString &text, int width)
{
    QString out;
    for (QChar c : text) {
        if (out.size() >= width) break;
        if (accepted(c)) out.append(c);
    }
    return out;
}

QValidator::State NameValidator::validate(QString &input, int &pos) const
{
    // Keep the cursor after the characters it followed that survive.
    const QString before = filtered(input.left(pos), m_width);
    input = filtered(input, m_width);
    pos = static_cast<int>(std::min(before.size(), input.size()));
    return Acceptable;
}

void NameValidator::fixup(QString &input) const { input = filtered(input, m_width); }

} // namespace zar40::panels
