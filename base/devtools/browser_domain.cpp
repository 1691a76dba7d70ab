#include "base/devtools/browser_domain.h"

namespace gameshell {

void BrowserDomain::Close() {
  connection_.Send("Browser.close", {});
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
