#include "ending.h"

#include "lumivanemainwindow.h"

#include <QApplication>

int runLumivane()
{
    const EndOnSignals ending;
    LumivaneMainWindow window(nullptr, nullptr, Qt::Window);
    // That box's loop was ended; the main loop would start afresh and
    // forget the signal.
    if (ending.requested())
        return 0;
    window.show();
    return QApplication::exec();
}
