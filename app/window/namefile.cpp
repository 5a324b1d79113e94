// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "lumivanemainwindow.h"

#include "panel/panel.h"

#include "names/namefilecodec.h"
#include "files/regularfile.h"
#include "dialogs/savequestion.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QStatusBar>

namespace {

const QString nameFileFilter = QStringLiteral("Show Name Text Files (*.txt);;All Files (*.*)");
const QString nameFileCaption = QStringLiteral("Choose a show name file");

void fileError(QWidget *parent, const QString &text, const QString &why = QString())
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("File Error"), text, QMessageBox::Ok, parent);
    box.setInformativeText(why);
    box.exec();
}

// Everything written and flushed before the old file is replaced; on any
// failure the old file stays as it was, and `why` says what failed, in the
// system's words. The explicit flush matters: on a full disk
// QSaveFile::commit() may report success for a file whose last buffered
// bytes never reached the disk.
bool writeWhole(const QString &fileName, const QByteArray &bytes, QString &why)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        why = file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        why = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        why = file.errorString();
        return false;
    }
    return true;
}

QString showNameCount(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 show name") : QStringLiteral("%1 show names").arg(count);
}

} // namespace

void LumivaneMainWindow::loadNames(const QString &fileName)
{
    QFile file;
    if (!openRegularFile(file, fileName)) {
        fileError(this, QStringLiteral("Could not open file\n") + fileName);
        return;
    }

    const NameFile::Result result = NameFile::read(file);
    switch (result.error) {
    case NameFile::Error::None:
        break;
    case NameFile::Error::ReadFailed:
        fileError(this, QStringLiteral("Could not open file\n") + fileName, file.errorString());
        return;
    case NameFile::Error::Binary:
        fileError(this, QStringLiteral("Not a show name file\n") + fileName,
                  QStringLiteral("The file holds binary data, not lines of text."));
        return;
    case NameFile::Error::LineTooLong:
        fileError(this, QStringLiteral("Not a show name file\n") + fileName,
                  QStringLiteral("It has a line longer than %1 characters, far longer than any show name.")
                      .arg(NameFile::maxNameLength));
        return;
    }

    const QString shortName = QFileInfo(fileName).fileName();
    if (result.names.isEmpty()) {
        statusBar()->showMessage(shortName + QStringLiteral(" holds no show names; the names are unchanged"),
                                 Panel::messageMs);
    } else {
        for (int id = 0; id < result.names.size(); ++id)
            setShowName(id, result.names.at(id));
        mNamesChanged = false;
        statusBar()->showMessage(
            QStringLiteral("Loaded %1 from %2").arg(showNameCount(result.names.size()), shortName),
            Panel::messageMs);
    }
    mLastFile = fileName;
    mPanel->store(Settings::lastFile, mLastFile);
}

void LumivaneMainWindow::doLoadNames()
{
    const QString fileName = QFileDialog::getOpenFileName(this, nameFileCaption, QString(), nameFileFilter);
    if (!fileName.isNull())
        loadNames(fileName);
}

void LumivaneMainWindow::doSaveNames()
{
    QString fileName = QFileDialog::getSaveFileName(this, nameFileCaption, QString(), nameFileFilter);
    if (fileName.isNull())
        return;

    if (!fileName.right(4).toLower().endsWith(QLatin1String(".txt"))) {
        fileName += QLatin1String(".txt");
        // The dialog confirmed only the name as typed, not the extended one.
        if (QFileInfo::exists(fileName)) {
            const auto answer = QMessageBox::question(
                this, QStringLiteral("Lumivane"),
                QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(fileName),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
            if (answer != QMessageBox::Yes)
                return;
        }
    }

    // Such a file could not be loaded again; say so rather than write it.
    const QStringList names = showNames();
    if (const int id = NameFile::firstTooLong(names); id >= 0) {
        fileError(this, QStringLiteral("Could not save file\n") + fileName,
                  QStringLiteral("The name of show %1 is longer than %2 characters.")
                      .arg(id + 1).arg(NameFile::maxNameLength));
        return;
    }
    if (QString why; !writeWhole(fileName, NameFile::encode(names), why)) {
        fileError(this, QStringLiteral("Could not save file\n") + fileName, why);
        return;
    }
    mNamesChanged = false;
    statusBar()->showMessage(QStringLiteral("Saved %1 to %2")
                                 .arg(showNameCount(names.size()), QFileInfo(fileName).fileName()),
                             Panel::messageMs);
    mLastFile = fileName;
    mPanel->store(Settings::lastFile, mLastFile);
}

void LumivaneMainWindow::askToLoadLastFile(const QString &lastFile)
{
    if (lastFile.isEmpty())
        return;
    if (!mAskNamesAtStart) {
        loadNames(lastFile);
        return;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral("Lumivane"),
                    QStringLiteral("Read show name file\n") + lastFile, QMessageBox::NoButton, this);
    QPushButton *yes = box.addButton(QStringLiteral("Yes"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    if (box.clickedButton() == yes)
        loadNames(lastFile);
}

// Before the program ends by the operator's choice: true when it may end.
bool LumivaneMainWindow::changedNamesSavedOrDropped()
{
    if (!mNamesChanged)
        return true;
    const SaveAnswer answer = askToSave(this, QStringLiteral("The show names have changed. Save them?"));
    if (answer == SaveAnswer::Discard)
        return true;
    if (answer == SaveAnswer::Cancel)
        return false;
    // A save cancelled or refused keeps the program, and the names, there.
    doSaveNames();
    return !mNamesChanged;
}
