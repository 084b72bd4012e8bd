// Small pieces every page of the window uses: text conversions and icon buttons.
#pragma once

#include <QIcon>
#include <QRect>
#include <QString>
#include <QToolButton>

#include <string>
#include <string_view>

inline QString fromUtf8(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
inline std::u16string toU16(const QString& s)
{
    return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size()));
}
inline QString fromU16(std::u16string_view s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }

// One of our own icons, app/icons/NAME.svg.
inline QIcon korvelIcon(const char* name) { return QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name))); }

// A button under its design name, with an icon (when given) filling it and its hint.
inline QToolButton* iconButton(QWidget* parent, const char* name, QRect geometry, const char* icon,
                               const QString& hint, bool autoRaise = true)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    if (icon) {
        button->setIcon(korvelIcon(icon));
        button->setIconSize(geometry.size() - QSize(6, 6));
    }
    button->setToolTip(hint);
    button->setAutoRaise(autoRaise);
    button->setGeometry(geometry);
    return button;
}
