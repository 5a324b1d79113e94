#include "lumivanemainwindow.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QTabWidget>

void LumivaneMainWindow::createShowButtons()
{
    // One group for all four pages, so checking a show anywhere unchecks the
    // one before. It has no parent: it is never shown.
    mShowGroup = std::make_unique<QButtonGroup>();
    mShowGroup->setExclusive(true);

    int id = 0;
    for (int page = 0; page < 4; ++page) {
        QWidget *tabPage = mTabber->widget(page);
        // Down each column first: shows 1 to 8 fill the left column.
        for (int x = 20; x <= 440; x += 140) {
            for (int y = 20; y <= 230; y += 30) {
                auto *button = new QRadioButton(QStringLiteral("Show %1").arg(id + 1), tabPage);
                mShowButtons[id] = button;
                mShowGroup->addButton(button, id);
                button->setGeometry(x, y, 120, 20);
                ++id;
            }
        }
    }
    // Checked before the group is connected, so nothing is sent at start-up.
    mShowGroup->button(0)->setChecked(true);
}

QStringList LumivaneMainWindow::showNames() const
{
    QStringList names;
    names.reserve(int(mShowButtons.size()));
    for (const QRadioButton *button : mShowButtons)
        names.append(button->text());
    return names;
}
