#include "app/gui/log_colours.h"

namespace ZephPatch {

wxColour LevelColour(int level) {
    switch (level) {
        case 0:
            return wxColour(0, 0, 128);
        case 2:
            return wxColour(128, 128, 128);
        case 3:
            return wxColour(255, 0, 0);
        default:
            return wxColour(0, 0, 0);
    }
}

}  // namespace ZephPatch
