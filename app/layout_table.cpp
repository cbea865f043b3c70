#include "app/layout_table.h"

namespace lyrvox {

using K = ControlKind;
using A = TextAlign;

// Tab indexes 0-2 belong to the hidden pictures and the media control, which
// never take the focus.
const std::array<ControlDesign, kControlCount> kControlLayout = {{
    {"Frame2", K::Frame, "", "", "", 45, 1380, 4800, 960, 17},
    {"Frame1", K::Frame, "", "", "", 45, -30, 4800, 1320, 3},
    {"CDG", K::PictureBox, "", "", "", 60, 4035, 4500, 3240, 0},
    {"Timer1", K::Timer, "", "", "", 0, 0, 0, 0, -1},
    {"CDG2", K::PictureBox, "", "", "", 4650, 4035, 4500, 3240, 1},
    {"MMControl1", K::MediaControl, "", "", "", 120, 3570, 1200, 330, 2},
    {"CommonDialog1", K::CommonDialog, "", "", "", 0, 0, 0, 0, -1},
    // The player area.
    {"cbAlt", K::CheckBox, "Frame1", "Alt", "", 2460, 975, 585, 195, 24},
    {"btnOpen", K::Button, "Frame1", "&Open", "Open CDG/MP3 file", 3630, 180, 1065, 330, 12},
    {"btnPlay", K::Button, "Frame1", "&Play", "Play/Pause/Continue", 2850, 180, 630, 330, 11},
    {"btnStop", K::Button, "Frame1", "&Stop", "Stop playback", 2205, 180, 615, 330, 10},
    {"btnAbout", K::Button, "Frame1", "&About", "Program Information", 90, 900, 645, 330, 9},
    {"btnSize", K::Button, "Frame1", "Si&ze", "Toggle display size", 3165, 900, 630, 330, 8},
    {"btnInfo", K::Button, "Frame1", "&Info", "Display Documentation", 780, 900, 540, 330, 7},
    {"Combo1", K::ComboBox, "Frame1", "", "Frames per second setting", 1365, 195, 675, 315, 6},
    {"btnSnap", K::Button, "Frame1", "S&napshot", "Save display to numbered BMP file", 1425, 900,
     825, 330, 5},
    {"btnView", K::Button, "Frame1", "v", "Toggle options", 4425, 990, 270, 240, 4},
    {"lblTime", K::Label, "Frame1", "00:00", "Elapsed time", 105, 195, 795, 360, 16, A::Centre},
    {"lblStat", K::Label, "Frame1", "Click OPEN to play a file...", "Program status", 105, 615,
     4620, 225, 15},
    {"Label1", K::Label, "Frame1", "FPS:", "", 1005, 255, 345, 195, 14, A::Right, true},
    {"lblZoom", K::Label, "Frame1", "1x", "Current display size", 3855, 975, 165, 195, 13, A::Left,
     true},
    // The extraction area.
    {"btnSetDir", K::Button, "Frame2", "...", "", 3060, 495, 465, 330, 20},
    {"txtSource", K::TextBox, "Frame2", "", "", 120, 510, 2865, 285, 19},
    {"btnConvert", K::Button, "Frame2", "Convert", "", 3630, 495, 1035, 330, 18},
    {"lblFName", K::Label, "Frame2", "-", "", 3960, 210, 45, 195, 23, A::Right, true},
    {"lblProgress", K::Label, "Frame2", "", "", 4035, 225, 600, 210, 22, A::Right},
    {"Label2", K::Label, "Frame2", "Extract CDG from BIN file:", "", 120, 225, 1830, 195, 21,
     A::Left, true},
}};

}  // namespace lyrvox
