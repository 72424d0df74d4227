#pragma once
// What the editor view hands each diagram for a preset and a selection, in
// one place so that the view and `zar40 plot` draw the same thing.
#include "zar40/diagrams/diagram_model.h"
#include "zar40/preset/record.h"

namespace zar40::diagrams {

// The five bands of a channel (0 input A, 1 Summe, 2 input B, 3..8 outputs).
BandRecords bandRecordsOf(const preset::PresetRecord &record, int channel);
// The six outputs while output SELECTED (0..5) is chosen: the outputs fed
// from the same input are locked; every output starts shown.
OutputRecords outputsOf(const preset::PresetRecord &record, int selected);
DynamicsRecord dynamicsOf(const preset::PresetRecord &record, int output);

} // namespace zar40::diagrams
