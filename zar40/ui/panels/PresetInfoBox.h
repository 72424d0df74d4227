#pragma once
// The preset information box: the current preset's name, author, lock and
// channel names. Edits are reported when finished; the box never changes a
// record itself.
#include "zar40/preset/record.h"

#include <QWidget>

#include <array>

class QCheckBox;
class QDateEdit;
class QLineEdit;

namespace zar40::panels {

class CPresetInfoBox : public QWidget
{
    Q_OBJECT
public:
    explicit CPresetInfoBox(QWidget *parent = nullptr);

    // Shows the record's texts and lock. Silent. A locked record disables
    // the edit fields; the lock box stays usable so that the lock can be
    // released.
    void setRecord(const preset::PresetRecord &record);

    // The view's word on the editors (for instance while a transfer runs).
    // Like setRecord's lock, it leaves the lock box enabled: never disable
    // the whole box with setEnabled(false), or the lock cannot be released.
    void setEditorsEnabled(bool enabled);

    QLineEdit *nameField() const { return m_name; }
    QLineEdit *authorField() const { return m_author; }
    QLineEdit *channelNameField(int channel) const;
    QCheckBox *lockBox() const { return m_lock; }
    QLineEdit *revisionField() const { return m_revision; }
    QDateEdit *dateField() const { return m_date; }

signals:
    // Texts in UTF-8 as typed, already filtered and cut to the field's width.
    void nameEdited(const QString &text);
    void authorEdited(const QString &text);
    void channelNameEdited(int channel, const QString &text);
    void lockToggled(bool locked);

private:
    QLineEdit *makeNameField(int width, const QString &accessibleName);
    void finishEdit(QLineEdit *field);
    void applyEnabled();

    QLineEdit *m_name = nullptr;
    QLineEdit *m_author = nullptr;
    QLineEdit *m_revision = nullptr;
    QDateEdit *m_date = nullptr;
    QCheckBox *m_lock = nullptr;
    std::array<QLineEdit *, preset::kChannelCount> m_channelNames{};
    bool m_locked = false;
    bool m_editorsEnabled = true;
};

} // namespace zar40::panels
