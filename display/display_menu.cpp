#include "display/display_menu.h"

#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QScreen>

#include "display/background_dialog.h"
#include "display/display_controller.h"

namespace lyrvox {

void popUpDisplayMenu(DisplayController& display, QWidget* window, const QPoint& globalPos,
                      const std::function<void(QMenu&)>& extras) {
    auto* menu = new QMenu(window);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const auto addCheck = [menu](const QString& text, bool checked) {
        QAction* action = menu->addAction(text);
        action->setCheckable(true);
        action->setChecked(checked);
        return action;
    };
    QObject::connect(addCheck(QStringLiteral("Full screen"), display.isFullScreen()),
                     &QAction::triggered, &display, [&display] { display.toggleFullScreen(); });
    QMenu* screens = menu->addMenu(QStringLiteral("Display on"));
    for (QScreen* screen : QGuiApplication::screens()) {
        QAction* action = screens->addAction(screen->name());
        action->setCheckable(true);
        action->setChecked(screen == window->screen());
        QObject::connect(
            action, &QAction::triggered, &display,
            [&display, target = QPointer<QScreen>(screen)] { display.moveToScreen(target); });
    }
    QObject::connect(addCheck(QStringLiteral("Keep aspect ratio"), display.keepAspect()),
                     &QAction::toggled, &display,
                     [&display](bool on) { display.setKeepAspect(on); });
    QObject::connect(addCheck(QStringLiteral("Pixel-perfect"), display.pixelPerfect()),
                     &QAction::toggled, &display,
                     [&display](bool on) { display.setPixelPerfect(on); });
    QObject::connect(menu->addAction(QStringLiteral("Venue message...")), &QAction::triggered,
                     &display, [&display] { display.askVenueMessage(); });
    QObject::connect(menu->addAction(QStringLiteral("Background...")), &QAction::triggered,
                     &display, [&display] { display.askBackground(); });
    if (extras) {
        menu->addSeparator();
        extras(*menu);
    }
    menu->popup(globalPos);
}

std::optional<QString> askVenueMessageText(QWidget* parent, const QString& now) {
    bool ok = false;
    const QString text = QInputDialog::getText(
        parent, QStringLiteral("Venue message"),
        QStringLiteral("Scrolls along the bottom of the up-next screen (empty: none):"),
        QLineEdit::Normal, now, &ok);
    if (!ok) return std::nullopt;
    return text;
}

std::optional<BackgroundChoice> askBackgroundChoice(QWidget* parent, const BackgroundChoice& now) {
    BackgroundDialog dialog(now, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.choice();
}

}  // namespace lyrvox
