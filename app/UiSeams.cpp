#include "UiSeams.h"

#include <QFileDialog>
#include <QFontDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {
void showBox(QWidget* parent, const QString& text, QMessageBox::Icon icon)
{
    QMessageBox box(icon, QStringLiteral("KORVEL"), text, QMessageBox::Ok, parent);
    box.setLayoutDirection(Qt::RightToLeft);
    box.exec();
}
} // namespace

void DesktopSeams::message(QWidget* parent, const QString& text)
{
    showBox(parent, text, QMessageBox::Information);
}

void DesktopSeams::error(QWidget* parent, const QString& text)
{
    showBox(parent, text, QMessageBox::Warning);
}

std::optional<QString> DesktopSeams::inputBox(QWidget* parent, const QString& caption,
                                              const QString& prompt, const QString& defaultText)
{
    QInputDialog dialog(parent);
    dialog.setLayoutDirection(Qt::RightToLeft);
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
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
    QMessageBox box(QMessageBox::Question, QStringLiteral("KORVEL"), text, QMessageBox::NoButton, parent);
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
    QMessageBox box(QMessageBox::Question, QStringLiteral("KORVEL"), text, QMessageBox::NoButton, parent);
    box.setLayoutDirection(Qt::RightToLeft);
    QPushButton* yes = box.addButton(QStringLiteral("بله"), QMessageBox::YesRole);
    box.addButton(QStringLiteral("خیر"), QMessageBox::NoRole);
    box.exec();
    return box.clickedButton() == yes;
}
