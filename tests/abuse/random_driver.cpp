#include "tests/abuse/random_driver.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "app/control_window.h"

namespace lyrvox::testing {

void typeNameAndAccept(QFileDialog& dialog, const QString& path) {
    // The box has the focus while the dialog is up, and selectFile() leaves a
    // focused box alone; setText() also keeps the completer's list closed.
    if (auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        name->setText(path);
    } else {
        dialog.selectFile(path);
    }
    static_cast<QDialog&>(dialog).accept();  // public in QDialog
}

RandomDriver::RandomDriver(ControlWindow& window, Options options)
    : window_(window), options_(std::move(options)), random_(options_.seed) {
    nextSong_ = options_.firstSong;
}

void RandomDriver::start() {
    armNext();
}

void RandomDriver::armNext() {
    QTimer::singleShot(options_.intervalMs, Qt::PreciseTimer, this, [this] { tick(); });
}

int RandomDriver::pick(int n) {
    return std::uniform_int_distribution<int>(0, n - 1)(random_);
}

QWidget* RandomDriver::control(const char* name) const {
    return window_.findChild<QWidget*>(QString::fromLatin1(name));
}

bool RandomDriver::idle() const {
    return !window_.state().ProFlag && control("btnOpen")->isEnabled();
}

void RandomDriver::tick() {
    if (finished_) return;
    const bool proFlag = window_.state().ProFlag;
    if (proFlag && !lastProFlag_) ++sessionsSeen_;
    lastProFlag_ = proFlag;

    if (closeModalOrPopup()) {
        armNext();
        return;
    }
    if (checkState) {
        ++stateChecks_;
        const QString fault = checkState();
        if (!fault.isEmpty() && stateFaults_.size() < 10) {
            stateFaults_ << QStringLiteral("after action %1 (%2, nesting %3): %4")
                                .arg(sent_)
                                .arg(lastAction_)
                                .arg(depth_)
                                .arg(fault);
        }
    }
    if (sent_ >= options_.actions) {
        finished_ = true;
        if (onFinished) onFinished();
        return;
    }
    // Armed before acting: the action may not return until a session ends.
    armNext();
    ++depth_;
    deepestNesting_ = std::max(deepestNesting_, depth_);
    act();
    --depth_;
}

bool RandomDriver::closeModalOrPopup() {
    if (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* files = qobject_cast<QFileDialog*>(modal)) {
            if (!wantedFile_.isEmpty()) {
                typeNameAndAccept(*files, wantedFile_);
                wantedFile_.clear();
                ++closedCounts_[QStringLiteral("file dialog accepted")];
            } else {
                files->reject();
                ++closedCounts_[QStringLiteral("file dialog cancelled")];
            }
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages_ << box->text();
            if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
                QTest::mouseClick(ok, Qt::LeftButton);
            } else {
                box->reject();
            }
            ++closedCounts_[QStringLiteral("message box")];
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
            ++closedCounts_[QStringLiteral("other dialog")];
        } else {
            modal->close();
            ++closedCounts_[QStringLiteral("other modal")];
        }
        return true;
    }
    if (QWidget* popup = QApplication::activePopupWidget()) {
        // The frame-rate list: move a few rows and take one, as with the keyboard.
        if (auto* view = popup->findChild<QAbstractItemView*>()) {
            const int steps = pick(4);
            const int key = pick(2) == 0 ? Qt::Key_Down : Qt::Key_Up;
            for (int i = 0; i < steps; ++i) QTest::keyClick(view, static_cast<Qt::Key>(key));
            QTest::keyClick(view, Qt::Key_Return);
        } else {
            popup->close();
        }
        ++closedCounts_[QStringLiteral("popup")];
        return true;
    }
    return false;
}

void RandomDriver::act() {
    ++sent_;
    if (options_.actionsPerSong > 0 && sent_ % options_.actionsPerSong == 0) songDue_ = true;
    if (songDue_ && !options_.songs.isEmpty()) {
        if (idle()) {
            openNextSong();
            return;
        }
        if (window_.state().ProFlag) {  // a user ends the song first
            clickOrKey("stop", "btnStop", Qt::Key_S);
            return;
        }
    }

    // Weights of the kinds of action, out of 100.
    const int roll = pick(100);
    if (roll < 16) {
        clickOrKey("play", "btnPlay", Qt::Key_P);
    } else if (roll < 24) {
        clickOrKey("stop", "btnStop", Qt::Key_S);
    } else if (roll < 30) {
        clickOrKey("open", "btnOpen", Qt::Key_O);
    } else if (roll < 36) {
        clickOrKey("size", "btnSize", Qt::Key_Z);
    } else if (roll < 41) {
        clickOrKey("snapshot", "btnSnap", Qt::Key_N);
    } else if (roll < 47) {
        changeRate();
    } else if (roll < 51) {
        count("options toggle");
        QTest::mouseClick(control("btnView"), Qt::LeftButton);
    } else if (roll < 55) {
        convertMissing();
    } else if (roll < 58) {
        clickOrKey("about", "btnAbout", Qt::Key_A);
    } else if (roll < 60) {
        clickOrKey("info", "btnInfo", Qt::Key_I);
    } else if (roll < 66) {
        pressKeyOnFocus(Qt::Key_Tab, "tab");
    } else if (roll < 72) {
        pressKeyOnFocus(Qt::Key_Space, "space");
    } else {
        abuseDisplay();
    }
}

void RandomDriver::openNextSong() {
    songDue_ = false;
    const QString song = options_.songs[nextSong_ % options_.songs.size()];
    ++nextSong_;
    wantedFile_ = song;
    count("open song");
    // The dialog's loop runs inside this click; a later tick accepts the name.
    QTest::mouseClick(control("btnOpen"), Qt::LeftButton);
    wantedFile_.clear();
    const QString chosen = QString::fromStdString(window_.state().FileSpec);
    if (QFileInfo(chosen).canonicalFilePath() != QFileInfo(song).canonicalFilePath()) return;
    ++songsOpened_;
    count("play song");
    QTest::mouseClick(control("btnPlay"), Qt::LeftButton);  // returns when it ends
}

void RandomDriver::clickOrKey(const char* kind, const char* button, int key) {
    count(kind);
    if (pick(2) == 0) {
        QTest::mouseClick(control(button), Qt::LeftButton);
    } else {
        pressAlt(key);
    }
}

void RandomDriver::pressAlt(int key) {
    // Mnemonics reach only the active window; a user clicks into it first.
    if (QApplication::activeWindow() != &window_) {
        window_.activateWindow();
        QApplication::setActiveWindow(&window_);
    }
    QTest::keyClick(&window_, static_cast<Qt::Key>(key), Qt::AltModifier);
}

void RandomDriver::pressKeyOnFocus(int key, const char* kind) {
    count(kind);
    QWidget* target = QApplication::focusWidget();
    if (target == nullptr || target->window() != &window_) target = &window_;
    QTest::keyClick(target, static_cast<Qt::Key>(key));
}

void RandomDriver::changeRate() {
    count("frame rate");
    auto* combo = qobject_cast<QComboBox*>(control("Combo1"));
    if (pick(2) == 0) {
        // Opens the list; the next tick chooses from it.
        QTest::mouseClick(combo, Qt::LeftButton);
    } else {
        QTest::keyClick(combo, pick(2) == 0 ? Qt::Key_Down : Qt::Key_Up);
    }
}

void RandomDriver::convertMissing() {
    count("convert missing");
    QWidget* view = control("btnView");
    // The extraction controls lie in the part the options toggle shows.
    if (window_.height() < control("btnConvert")->parentWidget()->geometry().bottom()) {
        QTest::mouseClick(view, Qt::LeftButton);
    }
    auto* source = qobject_cast<QLineEdit*>(control("txtSource"));
    QTest::mouseClick(source, Qt::LeftButton);
    QTest::keyClick(source, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(source, options_.missingSource);
    auto* convert = qobject_cast<QPushButton*>(control("btnConvert"));
    QTest::mouseClick(convert, Qt::LeftButton);  // the message box's loop runs in here
}

void RandomDriver::abuseDisplay() {
    QWidget* display = window_.display().window();
    const int what = pick(9);
    switch (what) {
        case 0:
        case 1:
            count("display resize");
            display->resize(50 + pick(1200), 40 + pick(900));
            break;
        case 2:
            count("display 0x0");
            display->resize(0, 0);
            break;
        case 3:
            count("display huge");
            display->resize(2500 + pick(1500), 2000 + pick(1000));
            break;
        case 4:
            count("display minimise");
            display->showMinimized();
            break;
        case 5:
            count("display maximise");
            display->showMaximized();
            break;
        case 6:
            count("display restore");
            display->showNormal();
            break;
        case 7:
            count("display double-click");
            if (display->isVisible()) QTest::mouseDClick(display, Qt::LeftButton);
            break;
        default:
            count("display close");
            display->close();
            break;
    }
}

QString RandomDriver::summary() const {
    QStringList parts;
    for (auto it = actionCounts_.cbegin(); it != actionCounts_.cend(); ++it) {
        parts << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    }
    QStringList closed;
    for (auto it = closedCounts_.cbegin(); it != closedCounts_.cend(); ++it) {
        closed << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    }
    return QStringLiteral(
               "actions %1 (%2); closed: %3; songs opened %4, sessions seen %5, "
               "deepest nesting %6")
        .arg(sent_)
        .arg(parts.join(QStringLiteral(", ")), closed.join(QStringLiteral(", ")))
        .arg(songsOpened_)
        .arg(sessionsSeen_)
        .arg(deepestNesting_)
        .arg(stateChecks_);
}

}  // namespace lyrvox::testing
