#pragma once

#include "vrn_plugin_api_export.h"

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// Every message box, question, file dialog and text input of the host and of
// the plug-ins goes through the process-wide UserPrompts object. The program
// installs nothing and gets the Qt dialogs; a test installs a
// ScriptedUserPrompts and never blocks on a dialog.
class VRN_PLUGIN_API UserPrompts
{
public:
    enum class Icon { Information, Exclamation, Error, Question };
    enum class Buttons { Ok, YesNo, YesNoCancel };
    enum class Answer { Ok, Yes, No, Cancel };

    struct FileRequest
    {
        QString title;         // empty: the dialog's own default title
        QString directory;     // start folder, or a path to preselect
        QString filter;        // Qt filter text, e.g. "Preset (*.vpx);;All files (*)"
        QString defaultSuffix; // appended on save when the user typed none
    };

    struct TextRequest
    {
        QString title;
        QString label;
        QString initialText;
        bool password = false; // echo as dots, e.g. "Enter Password"
    };

    virtual ~UserPrompts();

    // The primitives an implementation provides. parent may be null: the
    // implementation then picks the active window.
    virtual Answer message(Icon icon, Buttons buttons, const QString &text, const QString &title,
                           QWidget *parent) = 0;
    // An empty result means the user cancelled.
    virtual QString openFileName(const FileRequest &request, QWidget *parent) = 0;
    virtual QString saveFileName(const FileRequest &request, QWidget *parent) = 0;
    // No value means the user cancelled.
    virtual std::optional<QString> textInput(const TextRequest &request, QWidget *parent) = 0;
    // Index into items, or no value when the user cancelled.
    virtual std::optional<int> chooseItem(const QString &title, const QString &label,
                                          const QStringList &items, QWidget *parent) = 0;

    // Shorthands used throughout the code. An empty title means the
    // application's display name ("VRN-Control").
    void information(const QString &text, QWidget *parent = nullptr, const QString &title = {});
    void exclamation(const QString &text, QWidget *parent = nullptr, const QString &title = {});
    void error(const QString &text, QWidget *parent = nullptr, const QString &title = {});
    // true only for Yes.
    bool questionYesNo(const QString &text, QWidget *parent = nullptr, const QString &title = {});
    Answer questionYesNoCancel(const QString &text, QWidget *parent = nullptr, const QString &title = {});

    // The object every prompt goes to. Never null: without an installed one
    // it is the Qt implementation.
    static UserPrompts &current();
    // Installs prompts (not owned; null restores the Qt implementation) and
    // returns the one installed before.
    static UserPrompts *install(UserPrompts *prompts);
};

// Installs prompts for the lifetime of the object, then restores the previous.
class VRN_PLUGIN_API ScopedUserPrompts
{
public:
    explicit ScopedUserPrompts(UserPrompts &prompts);
    ~ScopedUserPrompts();
    ScopedUserPrompts(const ScopedUserPrompts &) = delete;
    ScopedUserPrompts &operator=(const ScopedUserPrompts &) = delete;

private:
    UserPrompts *m_previous;
};

VRN_PLUGIN_API const char *toString(UserPrompts::Icon icon);
VRN_PLUGIN_API const char *toString(UserPrompts::Buttons buttons);
VRN_PLUGIN_API const char *toString(UserPrompts::Answer answer);
