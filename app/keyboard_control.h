#pragma once
// The player's keyboard commands, the same on the control window and on every
// display window: each a shortcut in that window's context, so that a focused
// button does not take Space for itself while a focused text box keeps its keys.
#include <QKeySequence>
#include <functional>
#include <vector>

class QWidget;

namespace lyrvox {

struct KeyCommand {
    std::vector<QKeySequence> keys;
    std::function<void()> run;
};

// Adds the commands to `window`; they live as long as it does.
void addKeyCommands(QWidget& window, const std::vector<KeyCommand>& commands);

}  // namespace lyrvox
