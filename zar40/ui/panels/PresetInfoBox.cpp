#include "zar40/ui/panels/PresetInfoBox.h"

#include "zar40/preset/text_codec.h"
#include "zar40/ui/panels/NameValidator.h"
#include "zar40/ui/panels/SignalFlow.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

namespace zar40::panels {

namespace {

// The last text shown or reported, so that leaving a field unchanged
// reports nothing.
const char *const kLastText = "lastText";

QString fromRecord(std::string_view cp1252) { return QString::fromStdString(preset::cp1252ToUtf8(cp1252)); }

} // namespace

CPresetInfoBox::CPresetInfoBox(QWidget *parent) : QWidget(parent)
{
    auto *config = new QGroupBox(QStringLiteral(" Preset Config "), this);
    m_name = makeNameField(int(preset::kPresetNameWidth), QStringLiteral("Preset name"));
    m_lock = new QCheckBox(QStringLiteral("Locked"), config);
    auto *configLayout = new QFormLayout(config);
    configLayout->addRow(QStringLiteral("Name"), m_name);
    configLayout->addRow(QString(), m_lock);

    auto *authorGroup = new QGroupBox(QStringLiteral(" Author, Revision, Date "), this);
    m_author = makeNameField(int(preset::kAuthorWidth), QStringLiteral("Author"));
    m_revision = new QLineEdit(authorGroup);
    m_revision->setAccessibleName(QStringLiteral("Revision"));
    m_date = new QDateEdit(QDate::currentDate(), authorGroup);
    m_date->setCalendarPopup(true);
    m_date->setAccessibleName(QStringLiteral("Date"));
    auto *authorLayout = new QFormLayout(authorGroup);
    authorLayout->addRow(QStringLiteral("Author"), m_author);
    authorLayout->addRow(QStringLiteral("Revision"), m_revision);
    authorLayout->addRow(QStringLiteral("Date"), m_date);

    auto namesGroup = [this](const QString &title, int first, int last) {
        auto *group = new QGroupBox(title, this);
        auto *layout = new QFormLayout(group);
        for (int ch = first; ch < last; ++ch) {
            const QString label = CSignalFlow::channelLabel(ch);
            QLineEdit *field = makeNameField(int(preset::kChannelNameWidth), label + QStringLiteral(" name"));
            m_channelNames[static_cast<std::size_t>(ch)] = field;
            layout->addRow(label, field);
        }
        return group;
    };
    auto *inputs = namesGroup(QStringLiteral(" Input Names "), 0, preset::kInputCount);
    auto *outputs = namesGroup(QStringLiteral(" Output Names "), preset::kFirstOutput, preset::kChannelCount);

    auto *grid = new QGridLayout(this);
    grid->addWidget(config, 0, 0);
    grid->addWidget(authorGroup, 1, 0);
    grid->addWidget(inputs, 0, 1, 2, 1);
    grid->addWidget(outputs, 0, 2, 2, 1);
    grid->setRowStretch(2, 1);

    // clicked, not toggled: only the user's change is an edit.
    connect(m_lock, &QCheckBox::clicked, this, [this](bool locked) {
        m_locked = locked;
        applyEnabled();
        emit lockToggled(locked);
    });
    setRecord(preset::startupPreset(0));
}

QLineEdit *CPresetInfoBox::makeNameField(int width, const QString &accessibleName)
{
    auto *field = new QLineEdit(this);
    // The validator caps the width after dropping refused characters; a
    // maximum length would cut a pasted text before they are dropped.
    field->setValidator(new NameValidator(width, field));
    field->setAccessibleName(accessibleName);
    connect(field, &QLineEdit::editingFinished, this, [this, field] { finishEdit(field); });
    return field;
}

QLineEdit *CPresetInfoBox::channelNameField(int channel) const
{
    return (channel >= 0 && channel < preset::kChannelCount) ? m_channelNames[static_cast<std::size_t>(channel)]
                                                            : nullptr;
}

void CPresetInfoBox::setRecord(const preset::PresetRecord &record)
{
    auto show = [](QLineEdit *field, const QString &text) {
        field->setText(text);
        field->setProperty(kLastText, text);
    };
    show(m_name, fromRecord(preset::textOf(record.NAME)));
    show(m_author, fromRecord(preset::textOf(record.AUTHOR)));
    for (int ch = 0; ch < preset::kChannelCount; ++ch) {
        const auto &name = ch < preset::kInputCount ? record.inputs[static_cast<std::size_t>(ch)].NAME
                                                    : record.outputs[static_cast<std::size_t>(ch - preset::kFirstOutput)].NAME;
        show(m_channelNames[static_cast<std::size_t>(ch)], fromRecord(preset::textOf(name)));
    }
    m_locked = preset::isLocked(record.PRESET_FLAGS);
    m_lock->setChecked(m_locked);
    applyEnabled();
}

void CPresetInfoBox::setEditorsEnabled(bool enabled)
{
    m_editorsEnabled = enabled;
    applyEnabled();
}

void CPresetInfoBox::applyEnabled()
{
    const bool on = m_editorsEnabled && !m_locked;
    m_name->setEnabled(on);
    m_author->setEnabled(on);
    m_revision->setEnabled(on);
    m_date->setEnabled(on);
    for (QLineEdit *field : m_channelNames) field->setEnabled(on);
    m_lock->setEnabled(true);
}

void CPresetInfoBox::finishEdit(QLineEdit *field)
{
    // The validator has filtered what was typed; fixup covers text set
    // around it.
    const QString text = NameValidator::filtered(field->text(), field == m_name     ? int(preset::kPresetNameWidth)
                                                                 : field == m_author ? int(preset::kAuthorWidth)
                                                                                     : int(preset::kChannelNameWidth));
    if (text != field->text()) field->setText(text);
    if (text == field->property(kLastText).toString()) return;
    field->setProperty(kLastText, text);
    if (field == m_name) {
        emit nameEdited(text);
        return;
    }
    if (field == m_author) {
        emit authorEdited(text);
        return;
    }
    for (int ch = 0; ch < preset::kChannelCount; ++ch)
        if (m_channelNames[static_cast<std::size_t>(ch)] == field) emit channelNameEdited(ch, text);
}

} // namespace zar40::panels
