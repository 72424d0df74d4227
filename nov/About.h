#pragma once

#include <QDialog>

// The plug-in's About box (dialog 2003).
class CAbout : public QDialog
{
    Q_OBJECT
public:
    explicit CAbout(QWidget *parent = nullptr);

    static QString titleText();   // "About NOV-Plugin"
    static QString versionLine(); // "NOV-Plugin Version 1.00, Build r0099"
};
