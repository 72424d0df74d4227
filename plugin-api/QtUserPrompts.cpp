#include "QtUserPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace {

QWidget *ownerOf(QWidget *parent)
{
    return parent ? parent : QApplication::activeWindow();
}

QString titleOr(const QString &title)
{
    return title.isEmpty() ? QGuiApplication::applicationDisplayName() : title;
}

} // namespace

UserPrompts::Answer QtUserPrompts::message(Icon icon, Buttons buttons, const QString &text, const QString &title,
                                           QWidget *parent)
{
    QMessageBox box(ownerOf(parent));
    box.setWindowTitle(titleOr(title));
    box.setText(text);
    switch (icon) {
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case Icon::Error: box.setIcon(QMessageBox::Critical); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    }
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    }
    const int result = box.exec();
    switch (result) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Ok: return Answer::Ok;
    default:
        // Escape or the window's close button: the most cautious answer.
        return buttons == Buttons::YesNo ? Answer::No : buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    }
}

QString QtUserPrompts::openFileName(const FileRequest &request, QWidget *parent)
{
    return QFileDialog::getOpenFileName(ownerOf(parent), request.title, request.directory, request.filter);
}

QString QtUserPrompts::saveFileName(const FileRequest &request, QWidget *parent)
{
    QFileDialog dialog(ownerOf(parent), request.title, request.directory, request.filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!request.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(request.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtUserPrompts::textInput(const TextRequest &request, QWidget *parent)
{
    bool ok = false;
    const QString text = QInputDialog::getText(ownerOf(parent), titleOr(request.title), request.label,
                                               request.password ? QLineEdit::Password : QLineEdit::Normal,
                                               request.initialText, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

std::optional<int> QtUserPrompts::chooseItem(const QString &title, const QString &label, const QStringList &items,
                                             QWidget *parent)
{
    if (items.isEmpty())
        return std::nullopt;
    bool ok = false;
    const QString chosen = QInputDialog::getItem(ownerOf(parent), titleOr(title), label, items, 0, false, &ok);
    if (!ok)
        return std::nullopt;
    const int index = items.indexOf(chosen);
    if (index < 0)
        return std::nullopt;
    return index;
}
