#pragma once

#include "user_prompts.h"

// The prompts a user sees: QMessageBox, QFileDialog and QInputDialog, modal
// to the given parent or to the active window.
class VRN_PLUGIN_API QtUserPrompts : public UserPrompts
{
public:
    Answer message(Icon icon, Buttons buttons, const QString &text, const QString &title,
                   QWidget *parent) override;
    QString openFileName(const FileRequest &request, QWidget *parent) override;
    QString saveFileName(const FileRequest &request, QWidget *parent) override;
    std::optional<QString> textInput(const TextRequest &request, QWidget *parent) override;
    std::optional<int> chooseItem(const QString &title, const QString &label, const QStringList &items,
                                  QWidget *parent) override;
};
