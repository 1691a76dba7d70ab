#pragma once

#include <QMessageBox>
#include <QString>
#include <QWidget>

namespace gameshell {

// A message box in the shell's manner: its texts as written (never markup), its one button in the
// game's two languages, and as wide as its title needs. Deleted once closed.
// Thread: UI.
QMessageBox* NewShellMessageBox(QMessageBox::Icon icon,
                                const QString& caption,
                                const QString& text,
                                QWidget* parent = nullptr);

}  // namespace gameshell
