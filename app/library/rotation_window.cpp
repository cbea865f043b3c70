#include "app/library/rotation_window.h"

#include <QAction>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <ctime>

#include "app/library/key_tempo_dialog.h"
#include "app/window_text.h"
#include "util/replacing_file.h"

namespace lyrvox {
namespace {

QString songText(const std::string& artist, const std::string& title) {
    return QString::fromStdString(artist) + QStringLiteral(" - ") + QString::fromStdString(title);
}

std::int64_t nowSeconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

QString keyText(int key) {
    return QStringLiteral("key %1%2").arg(key > 0 ? "+" : "").arg(key);
}

// "ABBA - Waterloo  key +2  tempo 90%": the key and tempo the host set for the
// entry, else those the singer last sang it in, marked "(remembered)"; nothing for
// the song's own.
QString queuedText(const RotationSong& song, const std::optional<KeyMemory>& memory) {
    QString line = songText(song.artist, song.title);
    const int key = song.key.value_or(memory ? memory->key : 0);
    const int tempo = song.tempo.value_or(memory ? memory->tempo : 100);
    if (key != 0) line += QStringLiteral("  ") + keyText(key) + (song.key ? "" : " (remembered)");
    if (tempo != 100)
        line += QStringLiteral("  tempo %1%").arg(tempo) + (song.tempo ? "" : " (remembered)");
    return line;
}

}  // namespace

RotationWindow::RotationWindow(RotationWindowDeps deps, QWidget* parent)
    : QWidget(parent, Qt::Window), deps_(std::move(deps)) {
    setWindowTitle(QStringLiteral("Lyrvox Singers"));
    list_ = new QListWidget(this);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    songs_ = new QListWidget(this);
    songs_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QListWidget::currentRowChanged, this, [this] { refreshSongs(); });
    connect(songs_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const QListWidgetItem* item = songs_->itemAt(at);
        if (!item) return;
        const int row = songs_->row(item);
        QMenu menu(this);
        connect(menu.addAction(QStringLiteral("Key and tempo...")), &QAction::triggered, this,
                [this, row] { setKeyAndTempo(row); });
        menu.exec(songs_->viewport()->mapToGlobal(at));
    });
    connect(songs_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { setKeyAndTempo(songs_->row(item)); });
    auto* buttons = new QVBoxLayout;
    struct Action {
        const char* text;
        std::function<void()> run;
    };
    const std::vector<Action> actions = {{"Add singer...", [this] { addSinger(); }},
                                         {"Rename...", [this] { renameSinger(); }},
                                         {"Remove", [this] { removeSinger(); }},
                                         {"Away/Back", [this] { toggleAway(); }},
                                         {"Make next", [this] { makeNext(); }},
                                         {"Up", [this] { move(-1); }},
                                         {"Down", [this] { move(1); }},
                                         {"History...", [this] { showHistory(); }}};
    for (const Action& action : actions) {
        auto* button = new QPushButton(QString::fromLatin1(action.text), this);
        connect(button, &QPushButton::clicked, this, action.run);
        buttons->addWidget(button);
    }
    buttons->addStretch();
    connect(list_, &QWidget::customContextMenuRequested, this, [this, actions](const QPoint& at) {
        QMenu menu(this);
        for (const Action& action : actions)
            connect(menu.addAction(QString::fromLatin1(action.text)), &QAction::triggered, this,
                    action.run);
        if (const QListWidgetItem* item = list_->itemAt(at)) {
            const QString name = item->data(Qt::UserRole).toString();
            menu.addSeparator();
            connect(menu.addAction(QStringLiteral("History of %1...").arg(name)),
                    &QAction::triggered, this, [this, name] { showHistory(name); });
        }
        menu.exec(list_->viewport()->mapToGlobal(at));
    });
    auto* lists = new QVBoxLayout;
    lists->addWidget(list_, 3);
    lists->addWidget(new QLabel(QStringLiteral("Songs of the chosen singer (right-click: key "
                                               "and tempo):"),
                                this));
    lists->addWidget(songs_, 2);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(lists, 1);
    layout->addLayout(buttons);

    history_ = new QWidget(this, Qt::Window);
    history_->setWindowTitle(QStringLiteral("Lyrvox History"));
    historyList_ = new QListWidget(history_);
    auto* exportButton = new QPushButton(QStringLiteral("Export CSV..."), history_);
    connect(exportButton, &QPushButton::clicked, this, [this] { exportHistory(); });
    auto* historyLayout = new QVBoxLayout(history_);
    historyLayout->addWidget(historyList_);
    historyLayout->addWidget(exportButton);
    resize(520, 460);
    history_->resize(560, 360);
}

RotationWindow::~RotationWindow() = default;

void RotationWindow::open() {
    refresh();
    show();
    raise();
    activateWindow();
}

void RotationWindow::refresh() {
    const QString current = currentName();
    list_->clear();
    SingerRotation* rotation = deps_.rotation();
    if (!rotation) return;
    for (const RotationSinger& singer : rotation->singers()) {
        QString line = QString::fromStdString(singer.name);
        if (singer.away) line += QStringLiteral("  (away)");
        line += singer.songs.empty() ? QStringLiteral(": no songs")
                                     : QStringLiteral(": ") + songText(singer.songs.front().artist,
                                                                       singer.songs.front().title);
        if (singer.songs.size() > 1) line += QStringLiteral("  (+%1)").arg(singer.songs.size() - 1);
        auto* item = new QListWidgetItem(line, list_);
        item->setData(Qt::UserRole, QString::fromStdString(singer.name));
        if (item->data(Qt::UserRole).toString() == current) list_->setCurrentItem(item);
    }
    refreshSongs();
}

void RotationWindow::refreshSongs() {
    const int current = songs_->currentRow();
    songs_->clear();
    SingerRotation* rotation = deps_.rotation();
    const std::string name = currentName().toStdString();
    if (!rotation || name.empty()) return;
    for (const RotationSinger& singer : rotation->singers()) {
        if (singer.name != name) continue;
        for (const RotationSong& song : singer.songs)
            songs_->addItem(queuedText(song, rotation->rememberedKey(singer.name, song.path)));
    }
    songs_->setCurrentRow(std::min(current, songs_->count() - 1));
}

QString RotationWindow::currentName() const {
    const QListWidgetItem* item = list_->currentItem();
    return item ? item->data(Qt::UserRole).toString() : QString();
}

void RotationWindow::done(bool ok) {
    SingerRotation* rotation = deps_.rotation();
    if (!ok && rotation && !rotation->error().empty())
        deps_.message(QString::fromStdString(rotation->error()));
    refresh();
}

void RotationWindow::addForSinger(const QueueEntry& song) {
    SingerRotation* rotation = deps_.rotation();
    if (!rotation) return;
    QStringList names;
    for (const RotationSinger& singer : rotation->singers())
        names << QString::fromStdString(singer.name);
    if (names.isEmpty())
        return deps_.message(QStringLiteral("Add a singer first (Singers... or Ctrl+R)."));
    const QString name = deps_.chooseItem(
        QStringLiteral("Add %1 for:").arg(songText(song.artist, song.title)), names);
    if (name.isEmpty()) return;
    done(rotation->addSong(name.toStdString(), {0, song.path, song.artist, song.title, {}, {}}));
}

void RotationWindow::addSinger() {
    SingerRotation* rotation = deps_.rotation();
    const QString name = deps_.askText(QStringLiteral("New singer's name:"), {}).trimmed();
    if (rotation && !name.isEmpty()) done(rotation->addSinger(name.toStdString()));
}

void RotationWindow::renameSinger() {
    SingerRotation* rotation = deps_.rotation();
    const QString name = currentName();
    if (!rotation || name.isEmpty()) return;
    const QString newName =
        deps_.askText(QStringLiteral("Rename %1 to:").arg(name), name).trimmed();
    if (!newName.isEmpty() && newName != name)
        done(rotation->renameSinger(name.toStdString(), newName.toStdString()));
}

void RotationWindow::removeSinger() {
    SingerRotation* rotation = deps_.rotation();
    const QString name = currentName();
    if (rotation && !name.isEmpty()) done(rotation->removeSinger(name.toStdString()));
}

void RotationWindow::toggleAway() {
    SingerRotation* rotation = deps_.rotation();
    const QString name = currentName();
    if (!rotation || name.isEmpty()) return;
    for (const RotationSinger& singer : rotation->singers())
        if (singer.name == name.toStdString())
            return done(rotation->setAway(singer.name, !singer.away));
}

void RotationWindow::makeNext() {
    SingerRotation* rotation = deps_.rotation();
    const QString name = currentName();
    if (rotation && !name.isEmpty()) done(rotation->makeNext(name.toStdString()));
}

void RotationWindow::move(int by) {
    SingerRotation* rotation = deps_.rotation();
    const int row = list_->currentRow();
    const int to = row + by;
    if (!rotation || row < 0 || to < 0 || to >= list_->count()) return;
    done(rotation->moveSinger(currentName().toStdString(), to));
}

void RotationWindow::setKeyAndTempo(int row) {
    SingerRotation* rotation = deps_.rotation();
    const QString name = currentName();
    if (!rotation || name.isEmpty()) return;
    for (const RotationSinger& singer : rotation->singers()) {
        if (singer.name != name.toStdString()) continue;
        if (row < 0 || row >= static_cast<int>(singer.songs.size())) return;
        const RotationSong& song = singer.songs[static_cast<std::size_t>(row)];
        std::optional<int> key = song.key;
        std::optional<int> tempo = song.tempo;
        const QString what = name + QStringLiteral(": ") + songText(song.artist, song.title);
        const bool chosen = deps_.askKeyAndTempo ? deps_.askKeyAndTempo(what, key, tempo)
                                                 : KeyTempoDialog::ask(this, what, key, tempo);
        if (chosen) done(rotation->setSongKey(singer.name, row, key, tempo));
        return;
    }
}

std::vector<HistoryEntry> RotationWindow::shownHistory() {
    SingerRotation* rotation = deps_.rotation();
    if (!rotation) return {};
    if (historySinger_.isEmpty()) return rotation->historySince(nowSeconds() - kTonightSeconds);
    std::vector<HistoryEntry> list = rotation->historyOf(historySinger_.toStdString());
    std::reverse(list.begin(), list.end());
    return list;
}

void RotationWindow::showHistory(const QString& singer) {
    historySinger_ = singer;
    history_->setWindowTitle(singer.isEmpty() ? QStringLiteral("Lyrvox History")
                                              : QStringLiteral("Lyrvox History: %1").arg(singer));
    // A singer's songs span nights: their day shows too.
    const QString format =
        singer.isEmpty() ? QStringLiteral("HH:mm") : QStringLiteral("yyyy-MM-dd HH:mm");
    historyList_->clear();
    for (const HistoryEntry& e : shownHistory()) {
        const QString when = QDateTime::fromSecsSinceEpoch(e.startedAt).toString(format);
        QString line = when + QStringLiteral("  ") + QString::fromStdString(e.singer) +
                       QStringLiteral(": ") + songText(e.artist, e.title);
        if (e.key != 0) line += QStringLiteral("  ") + keyText(e.key);
        if (e.tempo != 100) line += QStringLiteral("  tempo %1%").arg(e.tempo);
        line += QStringLiteral("  (%1)").arg(QString::fromStdString(e.ended));
        historyList_->addItem(line);
    }
    history_->show();
    history_->raise();
}

void RotationWindow::exportHistory() {
    SingerRotation* rotation = deps_.rotation();
    if (!rotation) return;
    const QString path = deps_.chooseCsvFile();
    if (path.isEmpty()) return;
    const std::string csv = historyCsv(shownHistory());
    ReplacingFile file(toFsPath(path));
    std::error_code error = file.open();
    if (!error && !file.write(csv.data(), csv.size())) error = file.error();
    if (!error) error = file.commit(true);
    if (error)
        deps_.message(QStringLiteral("Could not export the history to %1: %2")
                          .arg(path, QString::fromStdString(error.message())));
}

}  // namespace lyrvox
