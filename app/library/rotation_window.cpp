#include "app/library/rotation_window.h"

#include <QAction>
#include <QDateTime>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>
#include <ctime>

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

}  // namespace

RotationWindow::RotationWindow(RotationWindowDeps deps, QWidget* parent)
    : QWidget(parent, Qt::Window), deps_(std::move(deps)) {
    setWindowTitle(QStringLiteral("Lyrvox Singers"));
    list_ = new QListWidget(this);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
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
        menu.exec(list_->viewport()->mapToGlobal(at));
    });
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);

    history_ = new QWidget(this, Qt::Window);
    history_->setWindowTitle(QStringLiteral("Lyrvox History"));
    historyList_ = new QListWidget(history_);
    auto* exportButton = new QPushButton(QStringLiteral("Export CSV..."), history_);
    connect(exportButton, &QPushButton::clicked, this, [this] { exportHistory(); });
    auto* historyLayout = new QVBoxLayout(history_);
    historyLayout->addWidget(historyList_);
    historyLayout->addWidget(exportButton);
    resize(480, 360);
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

void RotationWindow::showHistory() {
    historyList_->clear();
    if (SingerRotation* rotation = deps_.rotation()) {
        for (const HistoryEntry& e : rotation->historySince(nowSeconds() - kTonightSeconds)) {
            const QString when =
                QDateTime::fromSecsSinceEpoch(e.startedAt).toString(QStringLiteral("HH:mm"));
            QString line = when + QStringLiteral("  ") + QString::fromStdString(e.singer) +
                           QStringLiteral(": ") + songText(e.artist, e.title);
            if (e.key != 0)
                line += QStringLiteral("  key %1%2").arg(e.key > 0 ? "+" : "").arg(e.key);
            if (e.tempo != 100) line += QStringLiteral("  tempo %1%").arg(e.tempo);
            line += QStringLiteral("  (%1)").arg(QString::fromStdString(e.ended));
            historyList_->addItem(line);
        }
    }
    history_->show();
    history_->raise();
}

void RotationWindow::exportHistory() {
    SingerRotation* rotation = deps_.rotation();
    if (!rotation) return;
    const QString path = deps_.chooseCsvFile();
    if (path.isEmpty()) return;
    const std::string csv = historyCsv(rotation->historySince(nowSeconds() - kTonightSeconds));
    ReplacingFile file(toFsPath(path));
    std::error_code error = file.open();
    if (!error && !file.write(csv.data(), csv.size())) error = file.error();
    if (!error) error = file.commit(true);
    if (error)
        deps_.message(QStringLiteral("Could not export the history to %1: %2")
                          .arg(path, QString::fromStdString(error.message())));
}

}  // namespace lyrvox
