// The pixel page: canvas, toolbars, overlays, date fields, slots and keyboards.
#include "MainWindow.h"

#include "UiSeams.h"

#include <QLabel>
#include <QProgressBar>

void TForm1::buildPixelPage()
{
    label_send = new QLabel(pagePixel);
    label_send->setObjectName(QStringLiteral("label_send"));
    label_send->setGeometry(560, 150, 470, 60);
    label_send->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label_send->hide();
    status_send = new QProgressBar(pagePixel);
    status_send->setObjectName(QStringLiteral("status_send"));
    status_send->setGeometry(560, 212, 470, 20);
    status_send->setMaximum(240);
    status_send->hide();
}
