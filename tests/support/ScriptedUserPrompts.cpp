#include "ScriptedUserPrompts.h"

#include <QMutexLocker>

#include <cstdio>
#include <cstdlib>

namespace {

bool fits(UserPrompts::Buttons buttons, UserPrompts::Answer answer)
{
    switch (buttons) {
    case UserPrompts::Buttons::Ok: return answer == UserPrompts::Answer::Ok;
    case UserPrompts::Buttons::YesNo: return answer == UserPrompts::Answer::Yes || answer == UserPrompts::Answer::No;
    case UserPrompts::Buttons::YesNoCancel: return answer != UserPrompts::Answer::Ok;
    }
    return false;
}

UserPrompts::Answer cautious(UserPrompts::Buttons buttons)
{
    switch (buttons) {
    case UserPrompts::Buttons::Ok: return UserPrompts::Answer::Ok;
    case UserPrompts::Buttons::YesNo: return UserPrompts::Answer::No;
    case UserPrompts::Buttons::YesNoCancel: return UserPrompts::Answer::Cancel;
    }
    return UserPrompts::Answer::Cancel;
}

QString describe(const ScriptedUserPrompts::Shown &s)
{
    QString d = QString::fromLatin1(toString(s.kind));
    if (s.kind == ScriptedUserPrompts::Kind::Message)
        d += QStringLiteral(" (%1, %2)").arg(QLatin1String(toString(s.icon)), QLatin1String(toString(s.buttons)));
    return d + QStringLiteral(" \"%1\"").arg(s.text);
}

} // namespace

ScriptedUserPrompts::ScriptedUserPrompts()
    : m_failureHandler([](const QString &why) {
          std::fprintf(stderr, "ScriptedUserPrompts: %s\n", qPrintable(why));
          std::fflush(stderr);
          std::abort();
      })
{
}

ScriptedUserPrompts::~ScriptedUserPrompts() = default;

ScriptedUserPrompts &ScriptedUserPrompts::answer(Answer answer)
{
    QMutexLocker lock(&m_mutex);
    m_queue.push_back({Scripted::Type::Message, answer, {}, false, -1});
    return *this;
}

ScriptedUserPrompts &ScriptedUserPrompts::answerFile(const QString &path)
{
    QMutexLocker lock(&m_mutex);
    m_queue.push_back({Scripted::Type::File, Answer::Ok, path, path.isEmpty(), -1});
    return *this;
}

ScriptedUserPrompts &ScriptedUserPrompts::answerText(const QString &text)
{
    QMutexLocker lock(&m_mutex);
    m_queue.push_back({Scripted::Type::Text, Answer::Ok, text, false, -1});
    return *this;
}

ScriptedUserPrompts &ScriptedUserPrompts::cancelText()
{
    QMutexLocker lock(&m_mutex);
    m_queue.push_back({Scripted::Type::Text, Answer::Cancel, {}, true, -1});
    return *this;
}

ScriptedUserPrompts &ScriptedUserPrompts::answerChoice(int index)
{
    QMutexLocker lock(&m_mutex);
    m_queue.push_back({Scripted::Type::Choice, Answer::Ok, {}, index < 0, index});
    return *this;
}

void ScriptedUserPrompts::setAcknowledgeNotices(bool on)
{
    QMutexLocker lock(&m_mutex);
    m_acknowledgeNotices = on;
}

void ScriptedUserPrompts::setFailureHandler(FailureHandler handler)
{
    QMutexLocker lock(&m_mutex);
    m_failureHandler = std::move(handler);
}

QList<ScriptedUserPrompts::Shown> ScriptedUserPrompts::shown() const
{
    QMutexLocker lock(&m_mutex);
    return m_shown;
}

QStringList ScriptedUserPrompts::texts() const
{
    QMutexLocker lock(&m_mutex);
    QStringList t;
    for (const Shown &s : m_shown)
        t << s.text;
    return t;
}

int ScriptedUserPrompts::pendingAnswers() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_queue.size());
}

int ScriptedUserPrompts::failures() const
{
    QMutexLocker lock(&m_mutex);
    return m_failures;
}

void ScriptedUserPrompts::clear()
{
    QMutexLocker lock(&m_mutex);
    m_queue.clear();
    m_shown.clear();
    m_failures = 0;
}

void ScriptedUserPrompts::fail(const QString &why)
{
    FailureHandler handler;
    {
        QMutexLocker lock(&m_mutex);
        ++m_failures;
        handler = m_failureHandler;
    }
    // Outside the lock: a handler may well look at what was shown.
    if (handler)
        handler(why);
}

std::optional<ScriptedUserPrompts::Scripted> ScriptedUserPrompts::take(const Shown &shown, Scripted::Type wanted,
                                                                        bool autoOk)
{
    QString why;
    {
        QMutexLocker lock(&m_mutex);
        m_shown.append(shown);
        if (!m_queue.empty() && m_queue.front().type == wanted
            && (wanted != Scripted::Type::Message || fits(shown.buttons, m_queue.front().answer))) {
            Scripted s = m_queue.front();
            m_queue.pop_front();
            return s;
        }
        if (autoOk && m_acknowledgeNotices)
            return Scripted{Scripted::Type::Message, Answer::Ok, {}, false, -1};
        if (m_queue.empty())
            why = QStringLiteral("no scripted answer for %1").arg(describe(shown));
        else
            why = QStringLiteral("scripted answer does not fit %1").arg(describe(shown));
    }
    fail(why);
    return std::nullopt;
}

UserPrompts::Answer ScriptedUserPrompts::message(Icon icon, Buttons buttons, const QString &text,
                                                 const QString &title, QWidget *)
{
    Shown s;
    s.kind = Kind::Message;
    s.icon = icon;
    s.buttons = buttons;
    s.text = text;
    s.title = title;
    const auto a = take(s, Scripted::Type::Message, buttons == Buttons::Ok);
    if (m_whileMessageOpen)
        m_whileMessageOpen();
    return a ? a->answer : cautious(buttons);
}

void ScriptedUserPrompts::setWhileMessageOpen(std::function<void()> run)
{
    m_whileMessageOpen = std::move(run);
}

QString ScriptedUserPrompts::fileName(Kind kind, const FileRequest &request)
{
    Shown s;
    s.kind = kind;
    s.text = request.title;
    s.title = request.title;
    s.filter = request.filter;
    s.directory = request.directory;
    const auto a = take(s, Scripted::Type::File, false);
    return a && !a->cancelled ? a->text : QString();
}

QString ScriptedUserPrompts::openFileName(const FileRequest &request, QWidget *)
{
    return fileName(Kind::OpenFile, request);
}

QString ScriptedUserPrompts::saveFileName(const FileRequest &request, QWidget *)
{
    return fileName(Kind::SaveFile, request);
}

std::optional<QString> ScriptedUserPrompts::textInput(const TextRequest &request, QWidget *)
{
    Shown s;
    s.kind = Kind::TextInput;
    s.text = request.label;
    s.title = request.title;
    s.password = request.password;
    const auto a = take(s, Scripted::Type::Text, false);
    if (!a || a->cancelled)
        return std::nullopt;
    return a->text;
}

std::optional<int> ScriptedUserPrompts::chooseItem(const QString &title, const QString &label,
                                                   const QStringList &items, QWidget *)
{
    Shown s;
    s.kind = Kind::Choice;
    s.text = label;
    s.title = title;
    s.items = items;
    const auto a = take(s, Scripted::Type::Choice, false);
    if (!a || a->cancelled)
        return std::nullopt;
    if (a->index >= items.size()) {
        fail(QStringLiteral("scripted choice %1 beyond the %2 items of \"%3\"").arg(a->index).arg(items.size()).arg(label));
        return std::nullopt;
    }
    return a->index;
}

const char *toString(ScriptedUserPrompts::Kind kind)
{
    switch (kind) {
    case ScriptedUserPrompts::Kind::Message: return "Message";
    case ScriptedUserPrompts::Kind::OpenFile: return "OpenFile";
    case ScriptedUserPrompts::Kind::SaveFile: return "SaveFile";
    case ScriptedUserPrompts::Kind::TextInput: return "TextInput";
    case ScriptedUserPrompts::Kind::Choice: return "Choice";
    }
    return "?";
}
