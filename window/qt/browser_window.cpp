#include "window/qt/browser_window.h"

#include <QCloseEvent>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "base/qt/ui_thread.h"

namespace {
constexpr char kWindowProperty[] = "gameshell_browser_window";
}

BrowserWindow::BrowserWindow(QWebEngineView* view,
                             std::shared_ptr<WindowDelegate> delegate,
                             Kind kind)
    : view_(view), delegate_(std::move(delegate)), kind_(kind) {
  GS_REQUIRE_UI_THREAD();
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
  if (QWebEnginePage* page = view_->page()) {
    page->setProperty(kWindowProperty, QVariant::fromValue(static_cast<QObject*>(this)));
    connect(page, &QWebEnginePage::windowCloseRequested, this, &BrowserWindow::OnPageAgreedToClose);
  }
  close_deadline_.setSingleShot(true);
  close_deadline_.setInterval(kHungPageMs);
  connect(&close_deadline_, &QTimer::timeout, this, [this] { CloseWindow(CloseMode::kForce); });
  if (delegate_) {
    delegate_->OnWindowCreated(this);
  }
}

BrowserWindow::~BrowserWindow() {
  if (delegate_) {
    delegate_->OnWindowDestroyed(this);
  }
}

QWebEnginePage* BrowserWindow::page() const {
  return view_ ? view_->page() : nullptr;
}

BrowserWindow* BrowserWindow::ForPage(QWebEnginePage* page) {
  if (!page) {
    return nullptr;
  }
  return qobject_cast<BrowserWindow*>(page->property(kWindowProperty).value<QObject*>());
}

void BrowserWindow::CloseWindow(CloseMode mode) {
  GS_REQUIRE_UI_THREAD();
  if (mode == CloseMode::kForce) {
    forced_ = true;
    page_agreed_to_close_ = true;
    close();
  } else {
    AskPageToClose();
  }
}

bool BrowserWindow::PageAgreedToClose() {
  GS_REQUIRE_UI_THREAD();
  if (page_agreed_to_close_) {
    return true;
  }
  AskPageToClose();
  return false;
}

void BrowserWindow::AskPageToClose() {
  if (QWebEnginePage* p = page()) {
    p->triggerAction(QWebEnginePage::RequestClose);
  }
  // A page stuck in a script never answers: the window closes all the same.
  if (!close_deadline_.isActive()) {
    close_deadline_.start();
  }
}

void BrowserWindow::OnPageAgreedToClose() {
  GS_REQUIRE_UI_THREAD();
  page_agreed_to_close_ = true;
  close();
}

void BrowserWindow::closeEvent(QCloseEvent* event) {
  GS_REQUIRE_UI_THREAD();
  if (closed_) {
    event->accept();
    return;
  }
  if (!forced_ && delegate_ && !delegate_->CanClose(this)) {
    event->ignore();
    return;
  }
  closed_ = true;
  close_deadline_.stop();
  event->accept();
  emit BrowserClosed(page());
}
