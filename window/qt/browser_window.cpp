#include "window/qt/browser_window.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QMessageBox>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "base/qt/ui_thread.h"
#include "window/core/close_hook.h"

namespace gameshell {

BrowserWindow::BrowserWindow(QWebEngineView* view, WindowDelegate* delegate)
    : view_(view), delegate_(delegate) {
  GS_REQUIRE_UI_THREAD();
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
  if (QWebEnginePage* page = view_->page()) {
    // The page agreed (its unload handling is done): the close goes on.
    connect(page, &QWebEnginePage::windowCloseRequested, this, [this] {
      page_agreed_to_close_ = true;
      close();
    });
  }
  hung_page_deadline_.setSingleShot(true);
  hung_page_deadline_.setInterval(kHungPageMs);
  connect(&hung_page_deadline_, &QTimer::timeout, this, &BrowserWindow::ForceClose);
  if (delegate_) {
    delegate_->OnWindowCreated(this);
  }
}

QWebEnginePage* BrowserWindow::page() const {
  return view_ ? view_->page() : nullptr;
}

void BrowserWindow::ForceClose() {
  GS_REQUIRE_UI_THREAD();
  forced_ = true;
  close();
}

void BrowserWindow::AskPageToClose() {
  if (QWebEnginePage* p = page()) {
    p->triggerAction(QWebEnginePage::RequestClose);
    if (!hung_page_deadline_.isActive()) {
      hung_page_deadline_.start();
    }
  }
}

void BrowserWindow::RunInsteadOfClosing(const QString& script) {
  QWebEnginePage* p = page();
  if (!p) {
    return;
  }
  if (!hung_page_deadline_.isActive()) {
    hung_page_deadline_.start();
  }
  // Any answer shows the page still runs its scripts; the player closes again if need be.
  p->runJavaScript(script, [window = QPointer<BrowserWindow>(this)](const QVariant& result) {
    if (!window) {
      return;
    }
    window->hung_page_deadline_.stop();
    if (result.toString() == QLatin1String(kNothingRan)) {
      window->AskPlayerToClose();
    }
  });
}

void BrowserWindow::AskPlayerToClose() {
  GS_REQUIRE_UI_THREAD();
  if (close_question_) {
    close_question_->raise();
    close_question_->activateWindow();
    return;
  }
  // Not a nested loop: the engine keeps running the page while the box is open.
  auto* box = new QMessageBox(QMessageBox::Question, windowTitle(),
                              QString::fromUtf8("要退出游戏吗？\nQuit the game?"),
                              QMessageBox::Yes | QMessageBox::No, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->button(QMessageBox::Yes)->setText(QString::fromUtf8("退出 Quit"));
  box->button(QMessageBox::No)->setText(QString::fromUtf8("继续游戏 Keep playing"));
  box->setDefaultButton(QMessageBox::No);
  close_question_ = box;
  connect(box, &QMessageBox::finished, this, [this, box](int) {
    if (box->clickedButton() == box->button(QMessageBox::Yes)) {
      ForceClose();
    }
  });
  box->open();
}

void BrowserWindow::closeEvent(QCloseEvent* event) {
  GS_REQUIRE_UI_THREAD();
  if (!closed_ && !forced_ && delegate_) {
    QString instead;
    if (!delegate_->CanClose(this, &instead)) {
      if (!instead.isEmpty()) {
        RunInsteadOfClosing(instead);
      }
      event->ignore();
      return;
    }
    if (!page_agreed_to_close_) {
      AskPageToClose();
      event->ignore();
      return;
    }
  }
  event->accept();
  if (!closed_) {
    closed_ = true;
    hung_page_deadline_.stop();
    emit BrowserClosed(page());
  }
}

}  // namespace gameshell
