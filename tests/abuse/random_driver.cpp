#include "tests/abuse/random_driver.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <utility>

#include "app/control_window.h"

namespace lyrvox::testing {

void typeNameAndAccept(QFileDialog& dialog, const QString& path) {
    // selectFile() leaves a focused name box alone; setText() also keeps the
    // completer's list closed.
    if (auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        name->setText(path);
    } else {
        dialog.selectFile(path);
    }
    static_cast<QDialog&>(dialog).accept();  // public in QDialog
}

RandomDriver::RandomDriver(ControlWindow& window, Options options)
    : window_(window), options_(std::move(options)), random_(options_.seed) {}

void RandomDriver::start() {
    armNext();
}

void RandomDriver::armNext() {
    QTimer::singleShot(options_.intervalMs, Qt::PreciseTimer, this, [this] { tick(); });
}

QWidget* RandomDriver::control(const char* name) const {
    return window_.findChild<QWidget*>(QString::fromLatin1(name));
}

void RandomDriver::tick() {
    if (finished_) return;
    if (closeModalOrPopup()) {
        armNext();
        return;
    }
    if (checkState) {
        const QString fault = checkState();
        if (!fault.isEmpty() && stateFaults.size() < 10) {
            stateFaults
                << QStringLiteral("after action %1 (%2): %3").arg(sent_).arg(lastAction_, fault);
        }
    }
    if (sent_ >= options_.actions) {
        finished_ = true;
        if (onFinished) onFinished();
        return;
    }
    armNext();  // before acting: the action may not return until a session ends
    act();
}

bool RandomDriver::closeModalOrPopup() {
    const char* how = nullptr;
    if (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* files = qobject_cast<QFileDialog*>(modal); files && !wantedFile_.isEmpty()) {
            typeNameAndAccept(*files, std::exchange(wantedFile_, QString()));
            how = "file dialog accepted";
        } else if (files) {
            files->reject();
            how = "file dialog cancelled";
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages << box->text();
            if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
                QTest::mouseClick(ok, Qt::LeftButton);
            } else {
                box->reject();
            }
            how = "message box";
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
            how = "other dialog";
        } else {
            modal->close();
            how = "other modal";
        }
    } else if (QWidget* popup = QApplication::activePopupWidget()) {
        // The frame-rate list: move a few rows and take one, as with the keyboard.
        if (auto* view = popup->findChild<QAbstractItemView*>()) {
            const int steps = pick(4);
            const Qt::Key key = pick(2) == 0 ? Qt::Key_Down : Qt::Key_Up;
            for (int i = 0; i < steps; ++i) QTest::keyClick(view, key);
            QTest::keyClick(view, Qt::Key_Return);
        } else {
            popup->close();
        }
        how = "popup";
    }
    if (how != nullptr) ++closedCounts[QString::fromLatin1(how)];
    return how != nullptr;
}

void RandomDriver::act() {
    ++sent_;
    if (options_.actionsPerSong > 0 && sent_ % options_.actionsPerSong == 0) songDue_ = true;
    if (songDue_ && !options_.songs.isEmpty()) {
        if (!window_.state().ProFlag && control("btnOpen")->isEnabled()) {
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
    const QString song = options_.songs[nextSong_++ % options_.songs.size()];
    wantedFile_ = song;
    count("open song");
    QTest::mouseClick(control("btnOpen"), Qt::LeftButton);  // a later tick accepts the name
    wantedFile_.clear();
    const QString chosen = QString::fromStdString(window_.state().FileSpec);
    if (QFileInfo(chosen).canonicalFilePath() != QFileInfo(song).canonicalFilePath()) return;
    ++songsOpened;
    count("play song");
    QTest::mouseClick(control("btnPlay"), Qt::LeftButton);  // returns when it ends
}

void RandomDriver::clickOrKey(const char* kind, const char* button, int key) {
    count(kind);
    if (pick(2) == 0) {
        QTest::mouseClick(control(button), Qt::LeftButton);
        return;
    }
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
        QTest::mouseClick(combo, Qt::LeftButton);  // opens the list; the next tick chooses
    } else {
        QTest::keyClick(combo, pick(2) == 0 ? Qt::Key_Down : Qt::Key_Up);
    }
}

void RandomDriver::convertMissing() {
    count("convert missing");
    // The extraction controls lie in the part the options toggle shows.
    if (window_.height() < control("btnConvert")->parentWidget()->geometry().bottom()) {
        QTest::mouseClick(control("btnView"), Qt::LeftButton);
    }
    auto* source = qobject_cast<QLineEdit*>(control("txtSource"));
    QTest::mouseClick(source, Qt::LeftButton);
    QTest::keyClick(source, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(source, options_.missingSource);
    QTest::mouseClick(control("btnConvert"), Qt::LeftButton);  // the message box runs in here
}

void RandomDriver::abuseDisplay() {
    QWidget* display = window_.display().window();
    switch (pick(9)) {
        case 0:
        case 1:
            count("display resize");
            return display->resize(50 + pick(1200), 40 + pick(900));
        case 2:
            count("display 0x0");
            return display->resize(0, 0);
        case 3:
            count("display huge");
            return display->resize(2500 + pick(1500), 2000 + pick(1000));
        case 4:
            count("display minimise");
            return display->showMinimized();
        case 5:
            count("display maximise");
            return display->showMaximized();
        case 6:
            count("display restore");
            return display->showNormal();
        case 7:
            count("display double-click");
            if (display->isVisible()) QTest::mouseDClick(display, Qt::LeftButton);
            return;
        default:
            count("display close");
            display->close();
    }
}

QString RandomDriver::summary() const {
    QStringList parts;
    for (const auto* counts : {&actionCounts, &closedCounts}) {
        for (auto it = counts->cbegin(); it != counts->cend(); ++it) {
            parts << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
        }
    }
    return QStringLiteral("actions %1 (%2); songs opened %3")
        .arg(sent_)
        .arg(parts.join(QStringLiteral(", ")))
        .arg(songsOpened);
}

}  // namespace lyrvox::testing
