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

    zar40::preset::PresetMemory presets{};
    zar40::codec::DeviceSettings deviceSettings{};
};
