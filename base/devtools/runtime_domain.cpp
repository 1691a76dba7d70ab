#include "base/devtools/runtime_domain.h"

namespace gameshell {

RuntimeDomain::RuntimeDomain(DevToolsConnection& connection, std::string session_id)
    : connection_(connection), session_id_(std::move(session_id)) {}

void RuntimeDomain::Enable(std::function<void()> done) {
  connection_.Send("Runtime.enable", {}, session_id_, DevToolsConnection::Then(std::move(done)));
}

void RuntimeDomain::AddBinding(const std::string& name, std::function<void()> done) {
  connection_.Send("Runtime.addBinding", {{"name", name}}, session_id_,
                   DevToolsConnection::Then(std::move(done)));
}

void RuntimeDomain::AddBindingInWorld(const std::string& name,
                                      const std::string& world,
                                      std::function<void()> done) {
  connection_.Send("Runtime.addBinding", {{"name", name}, {"executionContextName", world}},
                   session_id_, DevToolsConnection::Then(std::move(done)));
}

void RuntimeDomain::Evaluate(const std::string& expression) {
  connection_.Send("Runtime.evaluate", {{"expression", expression}}, session_id_);
}

void RuntimeDomain::EvaluateForText(const std::string& expression,
                                    std::function<void(const std::string&)> result) {
  connection_.Send("Runtime.evaluate",
                   {{"expression", expression}, {"returnByValue", true}, {"awaitPromise", true}},
                   session_id_, [result](const DevToolsConnection::Answer& answer) {
                     result(StringAt(ObjectAt(answer.result, "result"), "value"));
                   });
}

void RuntimeDomain::RunIfWaiting() {
  connection_.Send("Runtime.runIfWaitingForDebugger", {}, session_id_);
}

void RuntimeDomain::EvaluateIn(int64_t context_id,
                               const std::string& expression,
                               bool user_gesture,
                               std::function<void(const std::string&)> result) {
  DevToolsConnection::AnswerHandler answer;
  if (result) {
    answer = [result](const DevToolsConnection::Answer& answer) {
      result(StringAt(ObjectAt(answer.result, "result"), "value"));
    };
  }
  connection_.Send("Runtime.evaluate",
                   {{"expression", expression},
                    {"contextId", context_id},
                    {"userGesture", user_gesture},
                    {"awaitPromise", true},
                    {"returnByValue", true}},
                   session_id_, std::move(answer));
}

void RuntimeDomain::OnContextCreated(std::function<void(const Context&)> created) {
  connection_.ListenOn(
      session_id_, "Runtime.executionContextCreated",
      [this, created](const Json& params, const std::string& session) {
        if (session != session_id_) {
          return;
        }
        const Json& context = ObjectAt(params, "context");
        const Json& aux = ObjectAt(context, "auxData");
        created({IntAt(context, "id"), StringAt(context, "origin"), StringAt(aux, "frameId"),
                 BoolAt(aux, "isDefault"), StringAt(context, "name")});
      });
}

void RuntimeDomain::OnContextDestroyed(std::function<void(int64_t)> destroyed) {
  connection_.ListenOn(session_id_, "Runtime.executionContextDestroyed",
                       [this, destroyed](const Json& params, const std::string& session) {
                         if (session == session_id_) {
                           destroyed(IntAt(params, "executionContextId"));
                         }
                       });
}

void RuntimeDomain::OnContextsCleared(std::function<void()> cleared) {
  connection_.ListenOn(session_id_, "Runtime.executionContextsCleared",
                       [this, cleared](const Json&, const std::string& session) {
                         if (session == session_id_) {
                           cleared();
                         }
                       });
}

void RuntimeDomain::OnBindingCalled(std::function<void(const BindingCall&)> called) {
  connection_.ListenOn(session_id_, "Runtime.bindingCalled",
                       [this, called](const Json& params, const std::string& session) {
                         if (session == session_id_) {
                           called({StringAt(params, "name"), StringAt(params, "payload"),
                                   IntAt(params, "executionContextId")});
                         }
                       });
}

}  // namespace gameshell
