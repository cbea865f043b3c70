#pragma once
// The "Phones" window: how the singers' phones find the request page (its
// address as text and as a QR code to scan) and the PIN of the host's remote.
#include <QWidget>

class QLabel;

namespace lyrvox {

class PhonesWindow : public QWidget {
    Q_OBJECT
  public:
    explicit PhonesWindow(QWidget* parent = nullptr);

    // The page's address and the host's PIN; an empty address: the server is off.
    void showServer(const QString& pageUrl, const QString& pin);

    QLabel* codeLabel() const { return code_; }
    QLabel* addressLabel() const { return address_; }
    QLabel* pinLabel() const { return pin_; }

  private:
    QLabel* code_;
    QLabel* address_;
    QLabel* pin_;
};

}  // namespace lyrvox
