#include "base/devtools/page_domain.h"

namespace gameshell {

PageDomain::PageDomain(DevToolsConnection& connection, std::string session_id)
    : connection_(connection), session_id_(std::move(session_id)) {}

void PageDomain::Enable(std::function<void()> done) {
  connection_.Send("Page.enable", {}, session_id_, DevToolsConnection::Then(std::move(done)));
}

void PageDomain::AddScriptOnNewDocument(const std::string& source, std::function<void()> done) {
  connection_.Send("Page.addScriptToEvaluateOnNewDocument", {{"source", source}}, session_id_,
                   DevToolsConnection::Then(std::move(done)));
}

void PageDomain::AddScriptOnNewDocumentInWorld(const std::string& source,
                                               const std::string& world,
                                               std::function<void()> done) {
  connection_.Send("Page.addScriptToEvaluateOnNewDocument",
                   {{"source", source}, {"worldName", world}}, session_id_,
                   DevToolsConnection::Then(std::move(done)));
}

void PageDomain::OnDialogOpening(std::function<void(const std::string&)> opening) {
  connection_.ListenOn(session_id_, "Page.javascriptDialogOpening",
                       [this, opening](const Json& params, const std::string& session) {
                         if (session == session_id_) {
                           opening(StringAt(params, "type"));
                         }
                       });
}

void PageDomain::AnswerDialog(bool accept) {
  connection_.Send("Page.handleJavaScriptDialog", {{"accept", accept}}, session_id_);
}

void PageDomain::Navigate(const std::string& url) {
  connection_.Send("Page.navigate", {{"url", url}}, session_id_);
}

void PageDomain::Reload() {
  connection_.Send("Page.reload", {}, session_id_);
}

void PageDomain::ResetNavigationHistory(std::function<void(std::vector<std::string>)> left) {
  connection_.Send("Page.resetNavigationHistory", {}, session_id_);
  connection_.Send("Page.getNavigationHistory", {}, session_id_,
                   [left = std::move(left)](const DevToolsConnection::Answer& answer) {
                     std::vector<std::string> urls;
                     const auto entries = answer.result.find("entries");
                     if (entries != answer.result.end() && entries->is_array()) {
                       for (const Json& entry : *entries) {
                         urls.push_back(StringAt(entry, "url"));
                       }
                     }
                     left(std::move(urls));
                   });
}

void PageDomain::OnFrameNavigated(std::function<void(const Frame&)> navigated) {
  connection_.ListenOn(session_id_, "Page.frameNavigated",
                       [this, navigated](const Json& params, const std::string& session) {
                         if (session != session_id_) {
                           return;
                         }
                         const Json& frame = ObjectAt(params, "frame");
                         navigated({StringAt(frame, "id"), StringAt(frame, "parentId"),
                                    StringAt(frame, "url"), StringAt(frame, "securityOrigin")});
                       });
}

void PageDomain::OnFrameAttached(
    std::function<void(const std::string&, const std::string&)> attached) {
  connection_.ListenOn(session_id_, "Page.frameAttached",
                       [this, attached](const Json& params, const std::string& session) {
                         if (session == session_id_) {
                           attached(StringAt(params, "frameId"), StringAt(params, "parentFrameId"));
                         }
                       });
}

void PageDomain::OnFrameDetached(std::function<void(const std::string&)> detached) {
  connection_.ListenOn(session_id_, "Page.frameDetached",
                       [this, detached](const Json& params, const std::string& session) {
                         if (session == session_id_ && StringAt(params, "reason") != "swap") {
                           detached(StringAt(params, "frameId"));
                         }
                       });
}

}  // namespace gameshell
