#include "UiSeams.h"

#include <QFileDialog>
#include <QFontDialog>
#include <QInputDialog>
#include <QMessageBox>

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
    QFileDialog dialog(parent, QString(), QString(), filter);
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
