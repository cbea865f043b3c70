#pragma once
// A night in the player, offscreen: the control window, the Library and Singers
// windows with real playback sessions on built songs, and fakes for the media,
// the dialogs and the settings. The library's part of the player can be made
// again on the same file, as after the program started again.
#include <gtest/gtest.h>
#include <QTest>
#include <QtWidgets>

#include "app/control_window.h"
#include "app/library/library_controller.h"
#include "app/qt_settings_store.h"
#include "app/window_text.h"
#include "display/display_window.h"
#include "playback/cdg/packet_encoder.h"
#include "support/session_world.h"
#include "support/test_files.h"

namespace lyrvox::testing {

struct NightWorld : ::testing::Test, DialogProvider {
    QTemporaryDir program, work;
    // The songs' and the library's folder: this test's, or the one a test hands to
    // a player it runs in a process of its own.
    const QString folder = qEnvironmentVariable("LYRVOX_NIGHT_FOLDER", work.path());
    QStringList messages;  // boxes shown, and questions asked ("?" first)
    bool yes = false;      // the answer to every question asked yes or no
    QString answer;        // to every question of the Singers window
    QtSettingsStore settings{work.filePath("settings.ini")};
    FakeMedia media;
    ControlWindow window{{media, *this, settings, {}, program.path(), [] {}}};
    const QString db = folder + "/library.db";
    std::unique_ptr<LibraryController> library;

    NightWorld() {
        window.startUp({});
        startLibrary();
    }
    std::optional<OpenFileChoice> chooseOpenFile(const OpenFileRequest&) override { return {}; }
    void showMessage(const QString& text) override { messages << text; }
    bool askYesNo(const QString& text) override {
        messages << "?" + text;
        return yes;
    }
    bool openDocument(const QString&) override { return true; }

    // A new run of the library (as after the program started again), with no pause
    // between songs.
    void startLibrary() {
        library.reset();
        library = std::make_unique<LibraryController>(window, *this, settings, db,
                                                      [] { return QString(); });
        lib().pauseBox()->setValue(0);
        RotationWindowDeps& deps = singers().deps();
        deps.askText = [this](const QString&, const QString&) { return answer; };
        deps.chooseItem = [this](const QString&, const QStringList&) { return answer; };
    }
    LibraryWindow& lib() { return library->libraryWindow(); }
    RotationWindow& singers() { return library->rotationWindow(); }
    DisplayWindow& display() { return *qobject_cast<DisplayWindow*>(window.display().window()); }

    QString path(const QString& title) { return folder + "/drive/A - " + title + ".cdg"; }
    // A graphics-only song: one packet (over at once), or ten seconds paced by the clock.
    void writeSong(const QString& title, bool long_ = false) {
        QDir().mkpath(folder + "/drive");
        std::vector<uint8_t> bytes = encode::fileOf({encode::memoryPreset(1)});
        for (int i = 0; long_ && i < 3000; ++i) encode::append(bytes, encode::memoryPreset(i % 16));
        writeFile(toFsPath(path(title)), bytes);
    }
    void addSinger(const QString& name) {
        answer = name;
        singers().addSinger();
    }
    void addFor(const QString& name, const QString& title) {
        answer = name;
        singers().addForSinger({toFsPath(path(title)), "A", title.toStdString()});
    }

    QString playing() { return QFileInfo(QString::fromStdString(window.chosenFile())).baseName(); }
    bool idle() { return window.session().transport() == Transport::Idle; }
    // Tonight's history: "singer title key ended", joined by "|".
    std::string history() {
        std::string text;
        for (const HistoryEntry& e : library->rotation().historySince(0))
            text += e.singer + " " + e.title + " " + std::to_string(e.key) + " " + e.ended + "|";
        return text;
    }
    // The coming turns: "singer title", joined by "|".
    std::string coming(int n) {
        std::string text;
        for (const RotationTurn& t : library->comingTurns(n))
            text += t.singer + " " + t.song.title + "|";
        return text;
    }
    QPushButton* button(QWidget& in, const QString& text) {
        for (QPushButton* b : in.findChildren<QPushButton*>())
            if (b->text() == text) return b;
        return nullptr;
    }
};

}  // namespace lyrvox::testing
