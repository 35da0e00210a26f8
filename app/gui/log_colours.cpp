#include "app/gui/log_colours.h"

namespace ZephPatch {

wxColour LevelColour(ReportLevel level) {
    switch (level) {
        case ReportLevel::kDetail:
            return wxColour(0, 0, 128);
        case ReportLevel::kInfo:
            return wxColour(128, 128, 128);
        case ReportLevel::kError:
            return wxColour(255, 0, 0);
        case ReportLevel::kStep:
            break;
    }
    return wxColour(0, 0, 0);
}

}  // namespace ZephPatch
