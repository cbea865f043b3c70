#include "abuse/random_driver.h"

#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QTest>

namespace lyrvox::testing {

void RandomDriver::tick() {
    if (sent_ > 1000) return;
    QWidget* modal = QApplication::activeModalWidget();
    auto* box = qobject_cast<QMessageBox*>(modal);
    auto* files = wanted_.isEmpty() ? nullptr : qobject_cast<QFileDialog*>(modal);
    if (box) messages << box->text();
    if (files) files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(wanted_);
    if (box) QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    if (files) files->QDialog::accept();  // with the name typed in
    if (modal && !box && !files) ++cancelled, modal->close();
    if (modal) return start();
    if (fault.isEmpty() && !(fault = checkState()).isEmpty())
        fault += QStringLiteral(" after action %1 (%2)").arg(sent_).arg(last_);
    if (sent_++ == 1000) return onFinished();
    start();  // before acting: the action may not return until a session ends
    act();
}

// Clicks and Alt keys on every button (Play twice as often); every 125 actions a song
// opened through the file dialog and played (a playing one stopped first); frame rates;
// the display window resized to 0x0 and beyond the screen, minimised, maximised, closed.
void RandomDriver::act() {
    const bool running = window_.state().sessionRunning;  // a song is due every 125 actions
    if (sent_ % 125 == 0 && running) return QTest::mouseClick(c_.stop, Qt::LeftButton);
    if (sent_ % 125 < 2 && !running && c_.open->isEnabled()) {
        wanted_ = songs[songsOpened % songs.size()];
        last_ = QStringLiteral("open song");
        QTest::mouseClick(c_.open, Qt::LeftButton);  // a later tick types the name and accepts
        const QFileInfo chosen(QString::fromStdString(window_.state().chosenFile));
        if (chosen != QFileInfo(std::exchange(wanted_, {}))) return;
        ++songsOpened;
        return QTest::mouseClick(c_.play, Qt::LeftButton);  // returns when the song ends
    }
    QPushButton* const buttons[] = {c_.stop,    c_.play,     c_.play,       c_.open,
                                    c_.size,    c_.snapshot, c_.about,      c_.info,
                                    c_.options, c_.convert,  c_.chooseImage};
    QWidget* display = window_.display().window();
    const std::pair<const char*, std::function<void()>> others[] = {
        {"frame rate", [&] { QTest::keyClick(c_.frameRate, pick(2) ? Qt::Key_Down : Qt::Key_Up); }},
        {"display 0x0 or beyond the screen",
         [&] { display->resize(pick(2) * 4000, pick(2) * 3000); }},
        {"display minimised", [&] { display->showMinimized(); }},
        {"display maximised", [&] { display->showMaximized(); }},
        {"display closed", [&] { display->close(); }}};
    const int n = static_cast<int>(std::size(buttons));
    const int roll = pick(n + static_cast<int>(std::size(others)));
    if (roll >= n) return (last_ = others[roll - n].first), others[roll - n].second();
    last_ = buttons[roll]->text();
    const QKeySequence alt = QKeySequence::mnemonic(last_);  // Alt and the underlined letter
    if (alt.isEmpty() || pick(2)) return QTest::mouseClick(buttons[roll], Qt::LeftButton);
    QApplication::setActiveWindow(&window_);  // mnemonics reach only the active window
    QTest::keySequence(&window_, alt);
}

}  // namespace lyrvox::testing
