#include "app/library/library_window.h"

#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

#include "app/app_icon.h"
#include "app/library/library_folder_pane.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

QByteArray bytesOf(const std::string& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// As the player turns file names into text and back.
QString pathText(const std::string& path) {
    return QFile::decodeName(bytesOf(path));
}

QPushButton* button(const char* text, QWidget* parent, std::function<void()> run) {
    auto* b = new QPushButton(QString::fromUtf8(text), parent);
    QObject::connect(b, &QPushButton::clicked, parent, std::move(run));
    return b;
}

void onKeys(QWidget* widget, std::initializer_list<QKeySequence> keys, std::function<void()> run) {
    for (const QKeySequence& key : keys) {
        auto* shortcut = new QShortcut(key, widget);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        QObject::connect(shortcut, &QShortcut::activated, widget, run);
    }
}

}  // namespace

LibraryWindow::LibraryWindow(LibraryWindowDeps deps, QWidget* parent)
    : QWidget(parent, Qt::Window),
      deps_(std::move(deps)),
      queue_(deps_.index,
             [this](const std::string& error) {
                 deps_.message(QStringLiteral("Cannot save the queue: ") +
                               QString::fromStdString(error));
             }),
      queueModel_(queue_),
      scan_(deps_.index.path()) {
    setWindowTitle(QStringLiteral("Lyrvox Library"));
    setWindowIcon(appIcon());
    resize(900, 600);

    searchBox_ = new QLineEdit(this);
    searchBox_->setPlaceholderText(QStringLiteral("Search artist, title or disc id"));
    searchBox_->setClearButtonEnabled(true);
    count_ = new QLabel(this);
    table_ = new QTableView(this);
    table_->setModel(&model_);
    table_->setSortingEnabled(true);
    table_->sortByColumn(-1, Qt::AscendingOrder);  // the search's own order at first
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setColumnWidth(SongTableModel::Artist, 220);
    table_->setColumnWidth(SongTableModel::Title, 300);
    table_->setContextMenuPolicy(Qt::CustomContextMenu);

    nowPlaying_ = new QLabel(this);
    nowPlaying_->setTextFormat(Qt::PlainText);
    nowPlaying_->setWordWrap(true);
    nowPlaying_->hide();
    queueNote_ = new QLabel(this);
    queueNote_->setTextFormat(Qt::PlainText);
    queueNote_->setWordWrap(true);
    queueNote_->hide();
    marksTimer_ = new QTimer(this);
    marksTimer_->setInterval(5000);  // a stat per queued song: cheap, and soon enough
    queueList_ = new QListView(this);
    queueList_->setModel(&queueModel_);
    queueList_->setDragDropMode(QAbstractItemView::InternalMove);
    queueList_->setDefaultDropAction(Qt::MoveAction);
    pause_ = new QSpinBox(this);
    pause_->setRange(settings::kQueuePauseSeconds.min, settings::kQueuePauseSeconds.max);
    pause_->setSuffix(QStringLiteral(" s"));
    pause_->setValue(deps_.settings.readNumber(settings::kQueuePauseSeconds));

    folderPane_ = new LibraryFolderPane(deps_.index, this);
    progress_ = new QProgressBar(this);
    progress_->hide();
    cancel_ = button("Cancel", this, [this] { scan_.cancel(); });
    cancel_->hide();
    scanStatus_ = new QLabel(this);

    // Search and results on the left, the queue on the right, folders below.
    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(searchBox_, 1);
    searchRow->addWidget(count_);
    auto* resultButtons = new QHBoxLayout;
    resultButtons->addWidget(button("Play (Enter)", this, [this] { playCurrent(); }));
    resultButtons->addWidget(button("Add to queue (Q)", this, [this] { queueCurrent(); }));
    resultButtons->addStretch(1);
    auto* left = new QVBoxLayout;
    left->addLayout(searchRow);
    left->addWidget(table_, 1);
    left->addLayout(resultButtons);

    auto* queueBox = new QGroupBox(QStringLiteral("Queue"), this);
    auto* queueLayout = new QVBoxLayout(queueBox);
    queueLayout->addWidget(nowPlaying_);
    queueLayout->addWidget(queueList_, 1);
    queueLayout->addWidget(queueNote_);
    auto* queueButtons = new QHBoxLayout;
    queueButtons->addWidget(button("Play queue", queueBox, [this] { playQueue(); }));
    queueButtons->addWidget(button("Remove", queueBox, [this] { removeFromQueue(); }));
    queueButtons->addWidget(button("Clear", queueBox, [this] { clearQueue(); }));
    queueLayout->addLayout(queueButtons);
    auto* pauseRow = new QHBoxLayout;
    pauseRow->addWidget(new QLabel(QStringLiteral("Pause between songs:"), queueBox));
    pauseRow->addWidget(pause_);
    queueLayout->addLayout(pauseRow);

    auto* top = new QHBoxLayout;
    top->addLayout(left, 3);
    top->addWidget(queueBox, 1);

    auto* scanRow = new QHBoxLayout;
    scanRow->addWidget(scanStatus_, 1);
    scanRow->addWidget(progress_);
    scanRow->addWidget(cancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(folderPane_);
    layout->addLayout(scanRow);

    connect(searchBox_, &QLineEdit::textChanged, this, [this] { search(); });
    connect(searchBox_, &QLineEdit::returnPressed, this, [this] { playCurrent(); });
    onKeys(searchBox_, {QKeySequence(Qt::Key_Down)}, [this] {
        table_->setFocus();
        if (model_.rowCount() > 0 && !table_->currentIndex().isValid()) table_->selectRow(0);
    });
    connect(table_, &QTableView::doubleClicked, this, [this] { playCurrent(); });
    onKeys(table_, {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)},
           [this] { playCurrent(); });
    onKeys(table_, {QKeySequence(Qt::Key_Q), QKeySequence(Qt::Key_Insert)},
           [this] { queueCurrent(); });
    onKeys(queueList_, {QKeySequence(Qt::Key_Delete)}, [this] { removeFromQueue(); });
    onKeys(this, {QKeySequence(Qt::CTRL | Qt::Key_R)}, [this] { emit singersRequested(); });
    onKeys(this, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P)},
           [this] { emit phonesRequested(); });
    onKeys(this, {QKeySequence::Find}, [this] {
        searchBox_->setFocus();
        searchBox_->selectAll();
    });
    connect(table_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        connect(menu.addAction(QStringLiteral("Play")), &QAction::triggered, this,
                [this] { playCurrent(); });
        connect(menu.addAction(QStringLiteral("Add to queue")), &QAction::triggered, this,
                [this] { queueCurrent(); });
        if (const std::optional<LibrarySong> song = currentSong()) {
            connect(menu.addAction(QStringLiteral("Add for singer...")), &QAction::triggered, this,
                    [this, entry = QueueEntry{song->path, song->artist, song->title}] {
                        emit addForSingerRequested(entry);
                    });
        }
        connect(menu.addAction(QStringLiteral("Singers...")), &QAction::triggered, this,
                [this] { emit singersRequested(); });
        connect(menu.addAction(QStringLiteral("Phones...")), &QAction::triggered, this,
                [this] { emit phonesRequested(); });
        if (const std::optional<LibrarySong> song = currentSong()) {
            menu.addSeparator();
            std::string folder = folderOf(song->path);
            if (folder.size() > 1) folder.pop_back();
            folderPane_->addOrderAction(
                menu, QStringLiteral("Names in this song's folder are \"Title - Artist\""), folder);
        }
        menu.exec(table_->viewport()->mapToGlobal(at));
    });
    connect(&queueModel_, &QueueListModel::nowPlayingChanged, this, [this] { showNowPlaying(); });
    connect(marksTimer_, &QTimer::timeout, this, [this] { refreshQueueMarks(); });
    connect(folderPane_, &LibraryFolderPane::addRequested, this, [this] { addFolder(); });
    connect(folderPane_, &LibraryFolderPane::removeRequested, this,
            [this](std::int64_t id) { removeFolder(id); });
    connect(folderPane_, &LibraryFolderPane::rescanRequested, this, [this] { rescan(); });
    connect(folderPane_, &LibraryFolderPane::orderRequested, this,
            [this](const std::string& folderPath, NameOrder order) {
                setNameOrder(folderPath, order);
            });
    connect(pause_, &QSpinBox::valueChanged, this, [this](int seconds) {
        deps_.settings.writeNumber(settings::kQueuePauseSeconds, seconds);
    });
    connect(&scan_, &LibraryScanJob::progressed, this,
            [this](qint64 done, qint64 total, const QString& folder) {
                progress_->setRange(0, static_cast<int>(std::min<qint64>(total, INT_MAX)));
                progress_->setValue(static_cast<int>(std::min(done, total)));
                scanStatus_->setText(QStringLiteral("Scanning ") + folder);
            });
    connect(&scan_, &LibraryScanJob::finished, this,
            [this](const ScanCounts& counts) { scanFinished(counts); });
    folderPane_->showFolders();
    search();
}

LibraryWindow::~LibraryWindow() = default;

void LibraryWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refreshQueueMarks();
    marksTimer_->start();
}

void LibraryWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    marksTimer_->stop();
}

void LibraryWindow::open() {
    show();
    raise();
    activateWindow();
    searchBox_->setFocus();
    if (!scannedThisRun_) rescan();
}

void LibraryWindow::search() {
    const SearchResult found = deps_.index.search(searchBox_->text().toStdString(), kShownResults);
    const QLocale locale;
    count_->setText(found.total > kShownResults ? QStringLiteral("first %1 of %2 songs")
                                                      .arg(kShownResults)
                                                      .arg(locale.toString(found.total))
                    : found.total == 1
                        ? QStringLiteral("1 song")
                        : QStringLiteral("%1 songs").arg(locale.toString(found.total)));
    model_.setSongs(found.songs);
    if (!found.songs.empty()) table_->selectRow(0);
}

void LibraryWindow::addFolder() {
    const QString chosen = deps_.chooseFolder ? deps_.chooseFolder() : QString();
    if (chosen.isEmpty()) return;
    const QByteArray path = QFile::encodeName(chosen);
    const std::int64_t id = deps_.index.addFolder(path.toStdString(), folderPane_->orderForNew());
    if (id == 0) return deps_.message(QString::fromStdString(deps_.index.error()));
    folderPane_->showFolders();
    for (const LibraryFolder& f : deps_.index.folders())
        if (f.id == id) startScan({f});
}

void LibraryWindow::removeFolder(std::int64_t folderId) {
    if (scan_.isRunning()) return;
    deps_.index.removeFolder(folderId);
    folderPane_->showFolders();
    search();
}

void LibraryWindow::setNameOrder(const std::string& folderPath, NameOrder order) {
    if (!deps_.index.setNameOrder(folderPath, order))
        return deps_.message(QString::fromStdString(deps_.index.error()));
    if (scan_.isRunning()) ordersDuringScan_.emplace_back(folderPath, order);
    folderPane_->showChosenOrder();
    search();
}

void LibraryWindow::rescan() {
    startScan({});
}

void LibraryWindow::startScan(std::vector<LibraryFolder> folders) {
    if (!deps_.index.isOpen() || !scan_.start(std::move(folders))) return;
    scannedThisRun_ = true;
    progress_->setRange(0, 0);  // busy until the walk has counted the songs
    progress_->show();
    cancel_->show();
    scanStatus_->setText(QStringLiteral("Scanning..."));
}

void LibraryWindow::scanFinished(const ScanCounts& c) {
    for (const auto& [folder, order] : std::exchange(ordersDuringScan_, {}))
        deps_.index.setNameOrder(folder, order);
    progress_->hide();
    cancel_->hide();
    QString text = QStringLiteral("%1 songs: %2 new, %3 changed, %4 gone, %5 skipped")
                       .arg(c.songs)
                       .arg(c.added)
                       .arg(c.updated)
                       .arg(c.removed)
                       .arg(c.skipped);
    if (c.missingFolders > 0) text += QStringLiteral(", %1 folders missing").arg(c.missingFolders);
    if (c.cancelled) text = QStringLiteral("Scan cancelled. ") + text;
    scanStatus_->setText(text);
    // Why each was skipped, where the pointer rests on the line.
    QStringList why;
    constexpr std::size_t kShownSkips = 30;
    for (std::size_t i = 0; i < c.skippedFiles.size() && i < kShownSkips; ++i) {
        why << pathText(c.skippedFiles[i].path) + QStringLiteral(": ") +
                   QString::fromStdString(c.skippedFiles[i].reason);
    }
    if (c.skipped > static_cast<std::int64_t>(why.size()))
        why << QStringLiteral("and %1 more").arg(c.skipped - why.size());
    scanStatus_->setToolTip(why.isEmpty() ? QString()
                                          : QStringLiteral("Skipped:\n") + why.join(QChar('\n')));
    if (!c.error.empty()) deps_.message(QString::fromStdString(c.error));
    folderPane_->showFolders();
    search();
    refreshQueueMarks();
}

std::optional<LibrarySong> LibraryWindow::currentSong() const {
    const QModelIndex current = table_->currentIndex();
    if (current.isValid()) return model_.song(current.row());
    if (model_.rowCount() > 0) return model_.song(0);
    return std::nullopt;
}

void LibraryWindow::playCurrent() {
    const std::optional<LibrarySong> song = currentSong();
    if (!song) return;
    if (!song->available)
        return deps_.message(QStringLiteral("The folder of this song is missing: ") +
                             pathText(song->path));
    deps_.play(song->path);
}

void LibraryWindow::queueCurrent() {
    if (const std::optional<LibrarySong> song = currentSong())
        addToQueue({song->path, song->artist, song->title});
}

void LibraryWindow::playQueue() {
    emit playQueueRequested();
}

void LibraryWindow::addToQueue(const QueueEntry& entry, int row) {
    queue_.add(entry, row);
}

void LibraryWindow::clearQueue() {
    const int n = queue_.size();
    if (n == 0) return;
    const QString songs = n == 1 ? QStringLiteral("1 song") : QStringLiteral("%1 songs").arg(n);
    if (deps_.ask && !deps_.ask(QStringLiteral("Clear the queue (%1)?").arg(songs))) return;
    queue_.clear();
}

void LibraryWindow::showQueueNote(const QString& text) {
    queueNote_->setText(text);
    queueNote_->setVisible(!text.isEmpty());
}

void LibraryWindow::refreshQueueMarks() {
    queueModel_.refreshAvailability();
}

void LibraryWindow::showNowPlaying() {
    const std::optional<QueueEntry>& now = queue_.nowPlaying();
    nowPlaying_->setText(now ? QStringLiteral("Now playing: ") + songLabel(now->artist, now->title)
                             : QString());
    nowPlaying_->setVisible(now.has_value());
}

int LibraryWindow::pauseSeconds() const {
    return pause_->value();
}

void LibraryWindow::removeFromQueue() {
    queue_.remove(queueList_->currentIndex().row());
}

}  // namespace lyrvox
