#include "app/keyboard_control.h"

#include <QShortcut>
#include <QWidget>

namespace lyrvox {

void addKeyCommands(QWidget& window, const std::vector<KeyCommand>& commands) {
    for (const KeyCommand& command : commands) {
        for (const QKeySequence& key : command.keys) {
            auto* shortcut = new QShortcut(key, &window);
            shortcut->setContext(Qt::WindowShortcut);
            shortcut->setAutoRepeat(true);  // held Left/Right keep moving the offset
            QObject::connect(shortcut, &QShortcut::activated, &window, command.run);
        }
    }
}

}  // namespace lyrvox
