#pragma once
// The connection's prompts answered by the host's UserPrompts: the editor's
// side of CommPrompts, so that zar40-comm itself needs no widgets. Header
// only, for the plug-in and the link tests that answer with a script.
#include "zar40/comm/CommPrompts.h"

#include "user_prompts.h"

namespace zar40::ui {

class UserPromptsForComm : public comm::CommPrompts
{
public:
    explicit UserPromptsForComm(QWidget *parent = nullptr) : m_parent(parent) {}

    void information(const QString &text) override { UserPrompts::current().information(text, m_parent); }
    void error(const QString &text) override { UserPrompts::current().error(text, m_parent); }
    std::optional<QString> enterPassword() override
    {
        UserPrompts::TextRequest request;
        request.title = QString::fromLatin1(comm::kEnterPasswordCaption);
        request.label = QStringLiteral("Password:");
        request.password = true;
        return UserPrompts::current().textInput(request, m_parent);
    }

private:
    QWidget *m_parent;
};

} // namespace zar40::ui
