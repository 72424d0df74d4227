#pragma once
// The editor's name fields: a fixed width and no character that the device's
// texts cannot hold or that the editor refuses (% ' * " + ? > < : \).
#include <QValidator>

namespace zar40::panels {

// Drops refused characters from whatever is typed or pasted instead of
// rejecting the whole input, and cuts the text to the field's width.
// Characters Windows-1252 lacks are refused too: the record would store them
// as "?", itself a refused character.
class NameValidator : public QValidator
{
    Q_OBJECT
public:
    NameValidator(int width, QObject *parent);
    State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;

    // TEXT as a field of WIDTH accepts it.
    static QString filtered(const QString &text, int width);

private:
    int m_width;
};

} // namespace zar40::panels
