// Version texts of the decoding library and of the architecture model its
// tables were generated from; the driver prints both in its banner.
#include "decodelib/zema_disasm.h"

namespace ZEMADisasmLib {

const char *GetLibraryVersion() {
    return "ZEMA1/ZEMA2/ZEMA3 Disassembly Library Version 1.32";
}

const char *GetModelVersion() {
    return "HDM Version MAXO1-1.68 RIXU1-1.6 MAXO2-1.42 RIXU2-1.6 MAXO3-1.33 RIXU3-1 ";
}

} // namespace ZEMADisasmLib
