#pragma once

#include <QWebEngineView>

class QWebEngineProfile;

// The embedded browser of the NOV view. Every navigation whose address
// begins with "app:" (in any case) is a page command: it is cancelled and
// the text after the prefix goes to OnAppCmd.
class CHtmlCtrl : public QWebEngineView
{
    Q_OBJECT
public:
    static constexpr char kScheme[] = "app";

    explicit CHtmlCtrl(QWidget *parent = nullptr);
    ~CHtmlCtrl() override;

    // Makes the "app" scheme known to the browser engine. Must run before
    // the first browser object of the process exists.
    static void registerAppScheme();

    // "Minimise" minimises the program's main window, "Beep" beeps, anything
    // else is shown as an unexpected command; while that box is open,
    // further unexpected commands only go to the event log.
    virtual void OnAppCmd(const QString &command);

signals:
    // Every page command, before it is carried out.
    void appCommand(const QString &command);
    void beeped();

private:
    QWebEngineProfile *m_profile;
    bool m_unexpectedShown = false;
    int m_unexpectedHeld = 0; // while the box is open
};
