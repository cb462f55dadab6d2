#include "app/widgetboxes.h"

#include <QApplication>
#include <QMessageBox>

void TWidgetMessageBoxes::ShowError(const QString& text)
{
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(),
                          text);
}

bool TWidgetMessageBoxes::Confirm(const QString& text)
{
    return QMessageBox::question(QApplication::activeWindow(),
                                 QApplication::applicationDisplayName(), text,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}
