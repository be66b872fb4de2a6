// Names of the slot codes of InstructionRecord::slot, as the descriptions
// write them ("25/S") and as packet slot fields carry them after "op"
// ("opA", "opVs0", "opS_HI", "opX_LO").
#pragma once

#include <cstdint>
#include <string_view>

namespace ZEMADisasmLib {

inline constexpr std::string_view kSlotNames[] = {
    "",   "A",    "B",    "C",   "D",   "S",    "Vs0", "Vs1", "Vs2",  "Vau",  "Vrot", "Vr",
    "Vd", "Vror", "Vrol", "Vld", "Vwr", "Vsau", "X",   "Z",   "DONE", "FNOP", "W"};

// Slot code of a slot name, 0 when unknown.
constexpr uint32_t SlotCodeOfName(std::string_view name) {
    for (uint32_t i = 1; i < sizeof kSlotNames / sizeof kSlotNames[0]; ++i)
        if (name == kSlotNames[i]) return i;
    return 0;
}

} // namespace ZEMADisasmLib
