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

// Whether to quit the game: "退出 Quit" (Yes, Alt+Q) and "继续游戏 Keep playing" (No, Alt+K, the
// default and Esc).
QMessageBox* NewQuitQuestion(const QString& caption, const QString& text);

}  // namespace gameshell
