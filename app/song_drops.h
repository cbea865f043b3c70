#pragma once
// Files dropped on the player's windows: the first local file of a drop is
// handed over; drags that carry no local file are refused at the door.
#include <QObject>
#include <QString>
#include <functional>

class QWidget;

namespace lyrvox {

class SongDrops : public QObject {
    Q_OBJECT
  public:
    SongDrops(std::function<void(const QString& path)> dropped, QObject* parent)
        : QObject(parent), dropped_(std::move(dropped)) {}
    // Makes `widget` accept drops and watches it for as long as it lives.
    void watch(QWidget* widget);
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::function<void(const QString&)> dropped_;
};

}  // namespace lyrvox
