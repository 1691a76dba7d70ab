#include "window/qt/browser_window.h"

#include <QCloseEvent>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "base/qt/ui_thread.h"

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
  p->runJavaScript(script, [window = QPointer<BrowserWindow>(this)](const QVariant&) {
    if (window) {
      window->hung_page_deadline_.stop();
    }
  });
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
