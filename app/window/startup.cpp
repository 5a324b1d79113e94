// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "startup.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOption>

#ifdef Q_OS_LINUX
#include <dlfcn.h>
#endif

namespace {

// Stands for one of the style's own icons and asks the style for it only
// when it is first drawn or measured. A QMenuBar makes its extension
// button's icon in its constructor, and the style reads it from a PNG file:
// QImageReader first loads every image-format plugin (Qt SVG, libjpeg...)
// to ask whether it reads PNG, some 2.5 ms before the window can appear,
// for a button that shows only when the window is narrower than its menus.
class IconMadeWhenDrawn : public QIconEngine
{
public:
    IconMadeWhenDrawn(const QStyle *style, QStyle::StandardPixmap which, const QStyleOption *option,
                      const QWidget *widget)
        : mStyle(style), mWhich(which), mWidget(widget)
    {
        if (option)
            mOption = *option;
        else
            mOption.direction = QGuiApplication::layoutDirection();
    }

    QIconEngine *clone() const override { return new IconMadeWhenDrawn(*this); }
    // Null would mean "no icon" to whoever asks, and asking must not make it.
    bool isNull() override { return false; }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return icon().pixmap(size, scale, mode, state);
    }
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }

private:
    QIcon icon()
    {
        // The style is the application's, which outlives every widget.
        if (mIcon.isNull())
            mIcon = mStyle->standardIcon(mWhich, &mOption, mWidget.data());
        return mIcon;
    }

    const QStyle *mStyle;
    QStyle::StandardPixmap mWhich;
    QStyleOption mOption;
    QPointer<const QWidget> mWidget;
    QIcon mIcon;
};

class LateIcons : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    QIcon standardIcon(StandardPixmap which, const QStyleOption *option, const QWidget *widget) const override
    {
        if (which == SP_ToolBarHorizontalExtensionButton || which == SP_ToolBarVerticalExtensionButton)
            return QIcon(new IconMadeWhenDrawn(baseStyle(), which, option, widget));
        return QProxyStyle::standardIcon(which, option, widget);
    }
};

} // namespace

void prepareForTheWindow(std::jthread fontsRead)
{
    // Waiting costs the rest of the reading only; asking while it runs
    // would read the files twice.
    if (fontsRead.joinable())
        fontsRead.join();
    // Without a base of its own, the proxy makes the style that -style or
    // the platform would have chosen; asking QApplication::style() for its
    // name first would make that style twice.
    QApplication::setStyle(new LateIcons);
}

// Reading fontconfig's configuration (some forty XML files) is the largest
// single cost before the window can first appear, and the window's first
// font metric waits for it. Begun before the application object, it overlaps
// the loading of the platform plugin and the connection to the display, on
// the second core. FcInit is looked up, not linked: it is there whenever the
// Qt we run on uses fontconfig, and fontconfig guards its configuration for
// threads, so a Qt that asks at the same time only repeats the work.
std::jthread startReadingFonts()
{
#ifdef Q_OS_LINUX
    if (auto init = reinterpret_cast<int (*)()>(dlsym(RTLD_DEFAULT, "FcInit")))
        return std::jthread(init);
#endif
    return {};
}
