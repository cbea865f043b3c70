#pragma once
// The control window `Lyrvox`: owns all program state and every control.
#include <QWidget>

namespace lyrvox {

class ControlWindow : public QWidget {
    Q_OBJECT
public:
    explicit ControlWindow(QWidget* parent = nullptr);
};

}  // namespace lyrvox
