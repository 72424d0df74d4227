#pragma once

#include "DocView.h"

#include "zar40/comm/codec/address_map.h"
#include "zar40/preset/record.h"

// The document of one ZAR40 editor window: the 32 presets the editor holds
// and the device settings last read from a unit.
class CZARDocument : public CDocument
{
    Q_OBJECT
public:
    CZARDocument();
    ~CZARDocument() override;

    bool onNewDocument() override;
    // Reads a .vpx or .vpf preset into the current preset; a file the preset
    // library refuses is reported with its reason and nothing is opened.
    bool onOpenDocument(const QString &path) override;
    // Offers to save a preset with unsaved changes before the editor closes.
    bool saveModified() override;

    // The editor's preset differs from the unit's slot (the "ZAR modified"
    // pane). Whether it differs from its file is the document's own
    // modified flag (the "Local modified" pane).
    bool isDeviceModified() const { return m_deviceModified; }
    void setDeviceModified(bool modified);

    zar40::preset::PresetMemory presets{};
    zar40::codec::DeviceSettings deviceSettings{};

Q_SIGNALS:
    void deviceModifiedChanged(bool modified);

private:
    bool m_deviceModified = false;
};
