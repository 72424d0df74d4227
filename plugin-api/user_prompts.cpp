#include "user_prompts.h"

#include "QtUserPrompts.h"

#include <atomic>

namespace {

std::atomic<UserPrompts *> installed{nullptr};

UserPrompts &qtPrompts()
{
    static QtUserPrompts prompts;
    return prompts;
}

} // namespace

UserPrompts::~UserPrompts() = default;

void UserPrompts::information(const QString &text, QWidget *parent, const QString &title)
{
    message(Icon::Information, Buttons::Ok, text, title, parent);
}

void UserPrompts::exclamation(const QString &text, QWidget *parent, const QString &title)
{
    message(Icon::Exclamation, Buttons::Ok, text, title, parent);
}

void UserPrompts::error(const QString &text, QWidget *parent, const QString &title)
{
    message(Icon::Error, Buttons::Ok, text, title, parent);
}

bool UserPrompts::questionYesNo(const QString &text, QWidget *parent, const QString &title)
{
    return message(Icon::Question, Buttons::YesNo, text, title, parent) == Answer::Yes;
}

UserPrompts::Answer UserPrompts::questionYesNoCancel(const QString &text, QWidget *parent, const QString &title)
{
    return message(Icon::Question, Buttons::YesNoCancel, text, title, parent);
}

UserPrompts &UserPrompts::current()
{
    UserPrompts *p = installed.load();
    return p ? *p : qtPrompts();
}

UserPrompts *UserPrompts::install(UserPrompts *prompts)
{
    return installed.exchange(prompts);
}

ScopedUserPrompts::ScopedUserPrompts(UserPrompts &prompts)
    : m_previous(UserPrompts::install(&prompts))
{
}

ScopedUserPrompts::~ScopedUserPrompts()
{
    UserPrompts::install(m_previous);
}

const char *toString(UserPrompts::Icon icon)
{
    switch (icon) {
    case UserPrompts::Icon::Information: return "Information";
    case UserPrompts::Icon::Exclamation: return "Exclamation";
    case UserPrompts::Icon::Error: return "Error";
    case UserPrompts::Icon::Question: return "Question";
    }
    return "?";
}

const char *toString(UserPrompts::Buttons buttons)
{
    switch (buttons) {
    case UserPrompts::Buttons::Ok: return "Ok";
    case UserPrompts::Buttons::YesNo: return "YesNo";
    case UserPrompts::Buttons::YesNoCancel: return "YesNoCancel";
    }
    return "?";
}

const char *toString(UserPrompts::Answer answer)
{
    switch (answer) {
    case UserPrompts::Answer::Ok: return "Ok";
    case UserPrompts::Answer::Yes: return "Yes";
    case UserPrompts::Answer::No: return "No";
    case UserPrompts::Answer::Cancel: return "Cancel";
    }
    return "?";
}
