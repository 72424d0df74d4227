#pragma once

#include <QDialog>

// The plug-in's About box: version, build and the firmware it works with.
class CAbout : public QDialog
{
    Q_OBJECT
public:
    explicit CAbout(QWidget *parent);

    static QString titleText();
    static QString versionLine();
    static QString firmwareLine(int major, int minor);
};
