#include "platform/qt/shell_message_box.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QGridLayout>
#include <QSpacerItem>

namespace gameshell {

namespace {

constexpr int kTitleBarButtonsPx = 160;

QMessageBox* NewBox(QMessageBox::Icon icon,
                    const QString& caption,
                    const QString& text,
                    QMessageBox::StandardButtons buttons,
                    QWidget* parent) {
  auto* box = new QMessageBox(icon, caption, text, buttons, parent);
  box->setAttribute(Qt::WA_DeleteOnClose);
  // Text as written: a message box guesses markup otherwise.
  box->setTextFormat(Qt::PlainText);
  // A box narrower than its title has the title cut by the window manager ("Us… 失败"): it is made
  // as wide as the title in the title bar's larger font, with room for its buttons. A message box
  // sizes itself to its layout, so the width goes into that.
  const int title_width =
      QFontMetrics(box->font()).horizontalAdvance(box->windowTitle()) * 3 / 2 + kTitleBarButtonsPx;
  if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
    grid->addItem(new QSpacerItem(title_width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  return box;
}

}  // namespace

QMessageBox* NewShellMessageBox(QMessageBox::Icon icon,
                                const QString& caption,
                                const QString& text,
                                QWidget* parent) {
  QMessageBox* box = NewBox(icon, caption, text, QMessageBox::Ok, parent);
  // Qt's own word is English whatever the desktop's language: the words are the game's two.
  box->button(QMessageBox::Ok)->setText(QString::fromUtf8("确定 OK"));
  return box;
}

QMessageBox* NewQuitQuestion(const QString& caption, const QString& text) {
  QMessageBox* box =
      NewBox(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, nullptr);
  box->button(QMessageBox::Yes)->setText(QString::fromUtf8("退出 &Quit"));
  box->button(QMessageBox::No)->setText(QString::fromUtf8("继续游戏 &Keep playing"));
  box->setDefaultButton(QMessageBox::No);
  box->setEscapeButton(QMessageBox::No);
  return box;
}

}  // namespace gameshell
