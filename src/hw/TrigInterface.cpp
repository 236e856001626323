#include "hw/TrigInterface.h"

namespace veltra {

const std::array<std::string_view, 16> TRNames = {
    "TR_SUPPORTSGET", "TR_SUPPORTSSET", "TR_USED", "TR_PRESAMPLES", "TR_RESOLUTION",
    "TR_TIMEOUT", "TR_SOURCEOR", "TR_SOURCEAND", "TR_SOURCES", "TR_KIND",
    "TR_KINDS", "TR_LEVEL", "TR_HYSTERESIS", "TR_TRIGGER", "TR_HOLDOFF",
    "TR_HOLDOFFMAX"};

}  // namespace veltra
