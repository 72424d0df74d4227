#pragma once

#include "user_prompts.h"

#include <QList>
#include <QMutex>

#include <deque>
#include <functional>

// Answers prompts from a queue filled by a test and records every prompt
// shown. A prompt without a fitting answer at the head of the queue is a
// test failure: the failure handler is called (by default it prints the
// prompt and aborts the process) and the prompt gets its most cautious
// answer (Ok, No, Cancel, no file, no text).
class ScriptedUserPrompts : public UserPrompts
{
public:
    enum class Kind { Message, OpenFile, SaveFile, TextInput, Choice };

    struct Shown
    {
        Kind kind = Kind::Message;
        Icon icon = Icon::Information;      // messages only
        Buttons buttons = Buttons::Ok;      // messages only
        QString text;                       // message text, or the request's label
        QString title;
        QString filter;                     // file dialogs only
        QString directory;                  // file dialogs only
        QStringList items;                  // choices only
        bool password = false;              // text input only
    };

    using FailureHandler = std::function<void(const QString &why)>;

    ScriptedUserPrompts();
    ~ScriptedUserPrompts() override;

    // Scripting, in the order the prompts will come. Each call queues one answer.
    ScriptedUserPrompts &answer(Answer answer);
    ScriptedUserPrompts &answerOk() { return answer(Answer::Ok); }
    ScriptedUserPrompts &answerYes() { return answer(Answer::Yes); }
    ScriptedUserPrompts &answerNo() { return answer(Answer::No); }
    ScriptedUserPrompts &answerCancel() { return answer(Answer::Cancel); }
    // For an open or save dialog; an empty path means the user cancelled.
    ScriptedUserPrompts &answerFile(const QString &path);
    ScriptedUserPrompts &answerText(const QString &text);
    ScriptedUserPrompts &cancelText();
    ScriptedUserPrompts &answerChoice(int index);

    // When set, messages with only an OK button are acknowledged without a
    // queued answer (they are still recorded). Off by default.
    void setAcknowledgeNotices(bool on);
    void setFailureHandler(FailureHandler handler);
    // Runs while a message is "open", after it is recorded and before it is
    // answered: a test that spins the event loop there sees what a real,
    // modal box lets happen behind it.
    void setWhileMessageOpen(std::function<void()> run);

    QList<Shown> shown() const;
    // The texts of every prompt shown, in order.
    QStringList texts() const;
    int pendingAnswers() const;
    int failures() const;
    void clear();

    Answer message(Icon icon, Buttons buttons, const QString &text, const QString &title,
                   QWidget *parent) override;
    QString openFileName(const FileRequest &request, QWidget *parent) override;
    QString saveFileName(const FileRequest &request, QWidget *parent) override;
    std::optional<QString> textInput(const TextRequest &request, QWidget *parent) override;
    std::optional<int> chooseItem(const QString &title, const QString &label, const QStringList &items,
                                  QWidget *parent) override;

private:
    struct Scripted
    {
        enum class Type { Message, File, Text, Choice } type;
        Answer answer = Answer::Ok;
        QString text;
        bool cancelled = false;
        int index = -1;
    };

    // Records the prompt and takes the head of the queue when it has the
    // wanted type; otherwise reports the failure and returns no answer.
    std::optional<Scripted> take(const Shown &shown, Scripted::Type wanted, bool autoOk);
    // The open and save dialogs differ only in their kind.
    QString fileName(Kind kind, const FileRequest &request);
    void fail(const QString &why);

    mutable QMutex m_mutex;
    std::deque<Scripted> m_queue;
    QList<Shown> m_shown;
    bool m_acknowledgeNotices = false;
    int m_failures = 0;
    FailureHandler m_failureHandler;
    std::function<void()> m_whileMessageOpen;
};

const char *toString(ScriptedUserPrompts::Kind kind);
