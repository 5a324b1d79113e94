#include "lumivanemainwindow.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int result = 0;
    {
        LumivaneMainWindow window(nullptr, nullptr, Qt::Window);
        window.show();
        result = app.exec();
    }
    return result;
}
