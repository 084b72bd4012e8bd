#include "UiSeams.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
#include <QFontDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyle>

#include <algorithm>

namespace {

const QString kOk = QStringLiteral("تایید");
const QString kCancel = QStringLiteral("انصراف");

bool isRightToLeftLetter(QChar c)
{
    const QChar::Direction d = c.direction();
    return d == QChar::DirR || d == QChar::DirAL;
}

bool holdsPersian(const QString& text)
{
    return std::any_of(text.begin(), text.end(), isRightToLeftLetter);
}

bool isStoredFirstMark(QChar c)
{
    return c == u'.' || c == u'!' || c == u'?' || c == u'\u061F';
}

QString displayLine(const QString& line)
{
    qsizetype start = 0;
    while (start < line.size() && line[start].isSpace())
        ++start;
    qsizetype end = start;
    while (end < line.size() && isStoredFirstMark(line[end]))
        ++end;
    if (end == start || !holdsPersian(line.mid(end)))
        return line;
    qsizetype last = line.size();
    while (last > end && line[last - 1].isSpace())
        --last;
    return line.left(start) + line.mid(end, last - end) + line.mid(start, end - start) + line.mid(last);
}

// Paints a label's text as displayText; QLabel's own painting otherwise.
class RightToLeftPainter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* label = qobject_cast<QLabel*>(watched);
        if (!label || event->type() != QEvent::Paint || label->frameShape() != QFrame::NoFrame
            || label->textFormat() == Qt::RichText || label->textFormat() == Qt::MarkdownText
            || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text())))
            return false;
        const QString shown = displayText(label->text());
        if (shown == label->text())
            return false;
        QPainter painter(label);
        QRect area = label->contentsRect();
        const int margin = label->margin();
        area.adjust(margin, margin, -margin, -margin);
        const Qt::LayoutDirection direction = shown.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
        int flags = int(QStyle::visualAlignment(direction, label->alignment()))
                    | (direction == Qt::RightToLeft ? Qt::TextForceRightToLeft : Qt::TextForceLeftToRight);
        if (label->wordWrap())
            flags |= Qt::TextWordWrap;
        label->style()->drawItemText(&painter, area, flags, label->palette(), label->isEnabled(), shown,
                                     label->foregroundRole());
        return true;
    }
};

} // namespace

QString displayText(const QString& stored)
{
    static const QRegularExpression lineBreak(QStringLiteral("\\r\\n|\\r|\\n"));
    QStringList lines = stored.split(lineBreak);
    for (QString& line : lines)
        line = displayLine(line);
    return lines.join(QLatin1Char('\n'));
}

std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const QString& text, bool error)
{
    auto box = std::make_unique<QMessageBox>(error ? QMessageBox::Warning : QMessageBox::Information,
                                             QStringLiteral("KORVEL"), displayText(text), QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    box->setLayoutDirection(Qt::RightToLeft);
    box->button(QMessageBox::Ok)->setText(kOk);
    return box;
}

void showTextsRightToLeft(QWidget* root, const QList<QWidget*>& exact)
{
    auto* painter = new RightToLeftPainter(root);
    for (QLabel* label : root->findChildren<QLabel*>())
        if (!exact.contains(label))
            label->installEventFilter(painter);
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>())
        if ((qobject_cast<QRadioButton*>(button) || qobject_cast<QCheckBox*>(button)) && holdsPersian(button->text()))
            button->setLayoutDirection(Qt::RightToLeft);
}

void DesktopSeams::message(QWidget* parent, const QString& text)
{
    makeMessageBox(parent, text, false)->exec();
}

void DesktopSeams::error(QWidget* parent, const QString& text)
{
    makeMessageBox(parent, text, true)->exec();
}

std::optional<QString> DesktopSeams::inputBox(QWidget* parent, const QString& caption,
                                              const QString& prompt, const QString& defaultText)
{
    QInputDialog dialog(parent);
    dialog.setLayoutDirection(Qt::RightToLeft);
    dialog.setWindowTitle(displayText(caption));
    dialog.setLabelText(displayText(prompt));
    dialog.setOkButtonText(kOk);
    dialog.setCancelButtonText(kCancel);
    dialog.setTextValue(defaultText);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

QString DesktopSeams::openFileName(QWidget* parent, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
}

QString DesktopSeams::saveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix)
{
    return saveFileNameProposing(parent, filter, defaultSuffix, QString());
}

QString DesktopSeams::saveFileNameProposing(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                                            const QString& proposed)
{
    QFileDialog dialog(parent, QString(), proposed, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QFont DesktopSeams::fontDialog(QWidget* parent, const QFont& font, bool* confirmed)
{
    QFontDialog dialog(font, parent);
    *confirmed = dialog.exec() == QDialog::Accepted;
    return dialog.currentFont();
}

UiSeams::SaveChoice DesktopSeams::askToSave(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("KORVEL"), displayText(text), QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    box.setLayoutDirection(Qt::RightToLeft);
    QPushButton* save = box.addButton(QStringLiteral("ذخیره"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QStringLiteral("دور انداختن"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QStringLiteral("انصراف"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save)
        return SaveChoice::Save;
    if (box.clickedButton() == discard)
        return SaveChoice::Discard;
    return SaveChoice::Cancel;
}

bool DesktopSeams::askYesNo(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("KORVEL"), displayText(text), QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    box.setLayoutDirection(Qt::RightToLeft);
    QPushButton* yes = box.addButton(QStringLiteral("بله"), QMessageBox::YesRole);
    box.addButton(QStringLiteral("خیر"), QMessageBox::NoRole);
    box.exec();
    return box.clickedButton() == yes;
}
