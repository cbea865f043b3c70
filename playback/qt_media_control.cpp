#include "playback/qt_media_control.h"

namespace lyrvox {
// Placeholder; the media control is filled in by its own change.
QtMediaControl::QtMediaControl(QObject* parent) : QObject(parent) {}
QtMediaControl::~QtMediaControl() = default;
void QtMediaControl::Command(const std::string&) {}
void QtMediaControl::DeviceType(const std::string&) {}
void QtMediaControl::TimeFormat(int) {}
void QtMediaControl::FileName(const std::string&) {}
void QtMediaControl::Wait(bool) {}
int QtMediaControl::Mode() { return kModeStopped; }
int32_t QtMediaControl::Position() { return 0; }
}  // namespace lyrvox
