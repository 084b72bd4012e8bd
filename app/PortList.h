// The port selector: its 255 entries "COM1" ... "COM255" keep their places
// (the index is the port's number - 1), and the list it opens puts the ports
// that exist first, each with the device behind it, read again at each opening.
#pragma once

#include <QComboBox>
#include <QList>

class QFrame;
class QListWidget;

struct ExistingPort {
    int number = 0;       // n of "COMn"; 0 for a device that no COM name reaches yet
    QString device;       // as the port map or /dev names it
    QString label;        // "COM30 — printer simulator", "COM5 — /dev/ttyUSB0 (usb-…)"
};

// The map's ports then the serial devices found, as they are now.
QList<ExistingPort> existingPorts();

class PortList : public QComboBox {
    Q_OBJECT
public:
    explicit PortList(QWidget* parent = nullptr);
    void showPopup() override;
    void hidePopup() override;
    QListWidget* popupList() const { return list_; }
    bool popupShown() const;

signals:
    // A device could not be given a COM name; the reason.
    void failed(const QString& reason);

private:
    void choose(int row);

    QFrame* popup_ = nullptr;
    QListWidget* list_ = nullptr;
    QList<ExistingPort> shown_;
};
