#include "app/library/library_folder_pane.h"

#include <QCheckBox>
#include <QFile>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>
#include <utility>

namespace lyrvox {

LibraryFolderPane::LibraryFolderPane(LibraryIndex& index, QWidget* parent)
    : QGroupBox(QStringLiteral("Song folders"), parent), index_(index) {
    list_ = new QListWidget(this);
    list_->setMaximumHeight(90);
    titleFirst_ = new QCheckBox(QStringLiteral("Names are \"Title - Artist\""), this);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    auto* buttons = new QVBoxLayout;
    const auto button = [&](const char* text, std::function<void()> run) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        connect(b, &QPushButton::clicked, this, std::move(run));
        buttons->addWidget(b);
    };
    button("Add folder...", [this] { emit addRequested(); });
    button("Remove folder", [this] {
        if (const std::optional<LibraryFolder> folder = chosen()) emit removeRequested(folder->id);
    });
    button("Rescan", [this] { emit rescanRequested(); });
    buttons->addWidget(titleFirst_);
    layout->addLayout(buttons);

    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const std::optional<LibraryFolder> folder = chosen();
        if (!folder) return;
        QMenu menu(this);
        addOrderAction(menu, titleFirst_->text(), folder->path);
        menu.exec(list_->viewport()->mapToGlobal(at));
    });
    connect(list_, &QListWidget::currentRowChanged, this, [this] {
        const QSignalBlocker block(titleFirst_);
        const std::optional<LibraryFolder> folder = chosen();
        titleFirst_->setChecked(folder && folder->order == NameOrder::TitleArtist);
    });
    connect(titleFirst_, &QCheckBox::toggled, this, [this](bool on) {
        if (const std::optional<LibraryFolder> folder = chosen())
            emit orderRequested(folder->path, on ? NameOrder::TitleArtist : NameOrder::ArtistTitle);
    });
}

void LibraryFolderPane::showFolders() {
    list_->clear();
    for (const LibraryFolder& f : index_.folders()) {
        list_->addItem(QFile::decodeName(QByteArray(f.path.data(), qsizetype(f.path.size()))) +
                       (f.available ? QString() : QStringLiteral("  (missing)")));
    }
}

NameOrder LibraryFolderPane::orderForNew() const {
    return titleFirst_->isChecked() && list_->currentRow() < 0 ? NameOrder::TitleArtist
                                                               : NameOrder::ArtistTitle;
}

void LibraryFolderPane::showChosenOrder() {
    if (const std::optional<LibraryFolder> folder = chosen()) {
        const QSignalBlocker block(titleFirst_);
        titleFirst_->setChecked(folder->order == NameOrder::TitleArtist);
    }
}

void LibraryFolderPane::addOrderAction(QMenu& menu, const QString& text,
                                       const std::string& folderPath) {
    QAction* action = menu.addAction(text);
    action->setCheckable(true);
    action->setChecked(index_.nameOrders().of(folderPath) == NameOrder::TitleArtist);
    connect(action, &QAction::toggled, this, [this, folderPath](bool on) {
        emit orderRequested(folderPath, on ? NameOrder::TitleArtist : NameOrder::ArtistTitle);
    });
}

std::optional<LibraryFolder> LibraryFolderPane::chosen() const {
    const int row = list_->currentRow();
    const std::vector<LibraryFolder> folders = index_.folders();
    if (row < 0 || row >= static_cast<int>(folders.size())) return std::nullopt;
    return folders[static_cast<std::size_t>(row)];
}

}  // namespace lyrvox
