#include "PortList.h"

#include <QFile>
#include <QFrame>
#include <QListWidget>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "serial/PortMap.h"

namespace fs = std::filesystem;

namespace {

const QString kDash = QStringLiteral(" — ");

int comNumber(const QString& name)
{
    if (!name.startsWith(QLatin1String("COM")))
        return 0;
    bool ok = false;
    const int n = name.mid(3).toInt(&ok);
    return ok && n >= 1 && n <= 254 && QStringLiteral("COM%1").arg(n) == name ? n : 0;
}

fs::path canonical(const std::string& device)
{
    std::error_code ec;
    const fs::path path = fs::path(device).is_absolute() ? fs::path(device) : fs::path(korvel::serial::portMapDir()) / device;
    const fs::path result = fs::weakly_canonical(path, ec);
    return ec ? path : result;
}

// The simulator leaves ".COMn.printer-sim" beside its link, holding its device.
bool isSimulator(const QString& name, const QString& device)
{
    QFile marker(QString::fromStdString(korvel::serial::portMapDir()) + QStringLiteral("/.") + name
                 + QStringLiteral(".printer-sim"));
    return marker.open(QIODevice::ReadOnly) && QString::fromUtf8(marker.readAll()).trimmed() == device;
}

QString byIdName(const fs::path& device)
{
    std::error_code ec;
    for (fs::directory_iterator it("/dev/serial/by-id", ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code canonEc;
        if (fs::weakly_canonical(it->path(), canonEc) == device && !canonEc)
            return QString::fromStdString(it->path().filename().string());
    }
    return {};
}

// The lowest COM number that neither the map nor an existing /dev/ttyS device takes.
int freeNumber(const QList<ExistingPort>& ports)
{
    for (int n = 1; n <= 254; ++n) {
        const bool taken = std::any_of(ports.begin(), ports.end(), [n](const ExistingPort& p) { return p.number == n; });
        std::error_code ec;
        if (!taken && !fs::exists(korvel::serial::resolvePortDevice("COM" + std::to_string(n)), ec))
            return n;
    }
    return 0;
}

} // namespace

QList<ExistingPort> existingPorts()
{
    QList<ExistingPort> result;
    for (const korvel::serial::PortEntry& entry : korvel::serial::listPorts()) {
        ExistingPort port;
        const QString name = QString::fromStdString(entry.name);
        port.number = comNumber(name);
        port.device = QString::fromStdString(entry.device);
        QString what;
        if (korvel::serial::isNetworkPort(entry.device)) {
            what = port.device;
        } else if (port.number && isSimulator(name, port.device)) {
            what = QStringLiteral("printer simulator");
        } else {
            const fs::path device = canonical(entry.device);
            what = QString::fromStdString(device.string());
            if (const QString id = byIdName(device); !id.isEmpty())
                what += QStringLiteral(" (%1)").arg(id);
        }
        port.label = port.number ? name + kDash + what : what;
        result << port;
    }
    return result;
}

PortList::PortList(QWidget* parent)
    : QComboBox(parent)
{
    popup_ = new QFrame(this, Qt::Popup);
    popup_->setObjectName(QStringLiteral("portPopup"));
    popup_->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(popup_);
    layout->setContentsMargins(1, 1, 1, 1);
    list_ = new QListWidget(popup_);
    list_->setObjectName(QStringLiteral("portPopupList"));
    layout->addWidget(list_);
    connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { choose(list_->row(item)); });
    connect(list_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) { choose(list_->row(item)); });
}

bool PortList::popupShown() const
{
    return popup_->isVisible();
}

void PortList::showPopup()
{
    shown_ = existingPorts();
    list_->clear();
    for (const ExistingPort& port : shown_) {
        auto* item = new QListWidgetItem(port.label, list_);
        QFont bold = item->font();
        bold.setBold(true);
        item->setFont(bold);
        item->setToolTip(port.device);
    }
    if (!shown_.isEmpty()) {
        auto* rule = new QListWidgetItem(QString(8, QChar(0x2500)), list_);
        rule->setFlags(Qt::NoItemFlags);
    }
    for (int i = 0; i < count(); ++i)
        new QListWidgetItem(itemText(i), list_);
    const int current = currentIndex();
    if (current >= 0) {
        const auto it = std::find_if(shown_.begin(), shown_.end(),
                                     [current](const ExistingPort& p) { return p.number == current + 1; });
        const int row = it != shown_.end() ? int(it - shown_.begin())
                                           : int(shown_.size()) + (shown_.isEmpty() ? 0 : 1) + current;
        list_->setCurrentRow(row);
    }
    const int width = std::max(this->width(), list_->sizeHintForColumn(0) + 40);
    popup_->resize(width, 320);
    QPoint at = mapToGlobal(QPoint(0, height()));
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        if (at.y() + popup_->height() > area.bottom())
            at.setY(mapToGlobal(QPoint(0, 0)).y() - popup_->height());
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - width)));
    }
    popup_->move(at);
    popup_->show();
    list_->setFocus();
}

void PortList::hidePopup()
{
    popup_->hide();
    QComboBox::hidePopup();
}

void PortList::choose(int row)
{
    int number = 0;
    if (row < shown_.size()) {
        ExistingPort port = shown_[row];
        if (!port.number) {
            // A device no COM name reaches yet gets the first free one.
            port.number = freeNumber(shown_);
            try {
                if (port.number)
                    korvel::serial::mapPort("COM" + std::to_string(port.number), port.device.toStdString());
            } catch (const std::exception& e) {
                hidePopup();
                emit failed(QString::fromLocal8Bit(e.what()));
                return;
            }
        }
        number = port.number;
    } else if (row > shown_.size() || shown_.isEmpty()) {
        number = row - int(shown_.size()) - (shown_.isEmpty() ? 0 : 1) + 1;
    }
    hidePopup();
    if (number >= 1 && number <= count())
        setCurrentIndex(number - 1);
}
