#include "extract/converter.h"

namespace lyrvox {
// Placeholder; the Convert command is filled in by its own change.
void Converter::btnConvert_Click(const std::string&) { host_.ShowMessage("File not found!"); }
}  // namespace lyrvox
