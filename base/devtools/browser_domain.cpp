#include "base/devtools/browser_domain.h"

namespace gameshell {

void BrowserDomain::Close() {
  connection_.Send("Browser.close", {});
}

void BrowserDomain::DenyDownloads() {
  connection_.Send("Browser.setDownloadBehavior", {{"behavior", "deny"}});
}

void BrowserDomain::SetWindowBoundsOf(const std::string& target_id,
                                      int left,
                                      int top,
                                      int width,
                                      int height,
                                      std::function<void()> done) {
  connection_.Send(
      "Browser.getWindowForTarget", {{"targetId", target_id}}, {},
      [this, left, top, width, height, done](const DevToolsConnection::Answer& answer) {
        if (!answer.ok()) {
          done();
          return;
        }
        connection_.Send(
            "Browser.setWindowBounds",
            {{"windowId", IntAt(answer.result, "windowId")},
             {"bounds", {{"left", left}, {"top", top}, {"width", width}, {"height", height}}}},
            {}, DevToolsConnection::Then(done));
      });
}

void BrowserDomain::MaximizeWindowOf(const std::string& target_id) {
  connection_.Send("Browser.getWindowForTarget", {{"targetId", target_id}}, {},
                   [this](const DevToolsConnection::Answer& answer) {
                     if (!answer.ok()) {
                       return;
                     }
                     connection_.Send("Browser.setWindowBounds",
                                      {{"windowId", IntAt(answer.result, "windowId")},
                                       {"bounds", {{"windowState", "maximized"}}}});
                   });
}

}  // namespace gameshell
