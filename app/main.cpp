#include "window/lumivanemainwindow.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // Drawn by Qt's SVG plugin; without it the window simply has no icon.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/lumivane.svg")));
    return runLumivane();
}
