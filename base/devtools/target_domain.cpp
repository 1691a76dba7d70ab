#include "base/devtools/target_domain.h"

namespace gameshell {

TargetDomain::TargetInfo TargetDomain::ParseInfo(const Json& info) {
  TargetInfo target;
  target.id = StringAt(info, "targetId");
  target.type = StringAt(info, "type");
  target.url = StringAt(info, "url");
  target.title = StringAt(info, "title");
  target.opener_id = StringAt(info, "openerId");
  target.opener_frame_id = StringAt(info, "openerFrameId");
  const auto access = info.find("canAccessOpener");
  target.can_access_opener = access != info.end() && access->is_boolean() && access->get<bool>();
  return target;
}

void TargetDomain::DiscoverTargets(std::function<void(const TargetInfo&)> created,
                                   std::function<void(const std::string&)> destroyed) {
  connection_.Listen("Target.targetCreated",
                     [created](const Json& params, const std::string& session) {
                       if (session.empty()) {
                         created(ParseInfo(ObjectAt(params, "targetInfo")));
                       }
                     });
  connection_.Listen("Target.targetDestroyed",
                     [destroyed](const Json& params, const std::string& session) {
                       if (session.empty()) {
                         destroyed(StringAt(params, "targetId"));
                       }
                     });
  connection_.Send("Target.setDiscoverTargets", {{"discover", true}});
}

void TargetDomain::Close(const std::string& target_id) {
  connection_.Send("Target.closeTarget", {{"targetId", target_id}});
}

void TargetDomain::AutoAttach(const std::string& session_id, std::function<void()> done) {
  connection_.Send("Target.setAutoAttach",
                   {{"autoAttach", true}, {"waitForDebuggerOnStart", true}, {"flatten", true}},
                   session_id, DevToolsConnection::Then(std::move(done)));
}

void TargetDomain::AutoAttachPages(std::function<void()> done) {
  connection_.Send("Target.setAutoAttach",
                   {{"autoAttach", true},
                    {"waitForDebuggerOnStart", true},
                    {"flatten", true},
                    {"filter", Json::array({{{"type", "page"}, {"exclude", false}}})}},
                   {}, DevToolsConnection::Then(std::move(done)));
}

void TargetDomain::OpenDevTools(const std::string& target_id) {
  connection_.Send("Target.openDevTools", {{"targetId", target_id}});
}

void TargetDomain::Detach(const std::string& session_id) {
  connection_.Send("Target.detachFromTarget", {{"sessionId", session_id}});
}

void TargetDomain::OnInfoChanged(std::function<void(const TargetInfo&)> changed) {
  connection_.Listen("Target.targetInfoChanged",
                     [changed](const Json& params, const std::string& session) {
                       if (session.empty()) {
                         changed(ParseInfo(ObjectAt(params, "targetInfo")));
                       }
                     });
}

void TargetDomain::OnAutoAttached(
    std::function<void(const std::string&, const std::string&, const TargetInfo&)> attached) {
  connection_.Listen("Target.attachedToTarget",
                     [attached](const Json& params, const std::string& parent_session) {
                       attached(parent_session, StringAt(params, "sessionId"),
                                ParseInfo(ObjectAt(params, "targetInfo")));
                     });
}

void TargetDomain::OnDetached(std::function<void(const std::string&)> detached) {
  connection_.Listen("Target.detachedFromTarget",
                     [detached](const Json& params, const std::string&) {
                       detached(StringAt(params, "sessionId"));
                     });
}

}  // namespace gameshell
