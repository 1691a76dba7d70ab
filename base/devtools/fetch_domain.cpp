#include "base/devtools/fetch_domain.h"

#include "base/core/ascii.h"
#include "base/core/base64.h"

namespace gameshell {

namespace {

Json HeadersJson(const FetchDomain::Headers& headers) {
  Json list = Json::array();
  for (const auto& [name, value] : headers) {
    list.push_back({{"name", name}, {"value", value}});
  }
  return list;
}

}  // namespace

FetchDomain::FetchDomain(DevToolsConnection& connection, std::string session_id)
    : connection_(connection), session_id_(std::move(session_id)) {}

void FetchDomain::Enable(std::function<void()> done) {
  connection_.Send(
      "Fetch.enable",
      {{"patterns", Json::array({{{"urlPattern", "*"}, {"requestStage", "Request"}}})}},
      session_id_, DevToolsConnection::Then(std::move(done)));
}

void FetchDomain::OnRequestPaused(std::function<void(const PausedRequest&)> paused) {
  connection_.ListenOn(session_id_, "Fetch.requestPaused",
                       [this, paused](const Json& params, const std::string& session) {
                         if (session != session_id_) {
                           return;
                         }
                         PausedRequest request;
                         request.id = StringAt(params, "requestId");
                         const Json& sent = ObjectAt(params, "request");
                         request.url = StringAt(sent, "url");
                         // A fragment never reaches the network; the rules judge the address that
                         // does.
                         request.url_fragment = StringAt(sent, "urlFragment");
                         request.url += request.url_fragment;
                         request.method = StringAt(sent, "method");
                         request.headers = ObjectAt(sent, "headers");
                         request.resource_type = StringAt(params, "resourceType");
                         request.frame_id = StringAt(params, "frameId");
                         if (const int64_t status = IntAt(params, "responseStatusCode", -1);
                             status >= 0) {
                           request.status = static_cast<int>(status);
                         }
                         request.failed_answer = !StringAt(params, "responseErrorReason").empty();
                         if (const auto headers = params.find("responseHeaders");
                             headers != params.end() && headers->is_array()) {
                           for (const Json& header : *headers) {
                             request.response_headers.emplace_back(StringAt(header, "name"),
                                                                   StringAt(header, "value"));
                           }
                         }
                         paused(request);
                       });
  connection_.ListenOn(
      session_id_, "Fetch.authRequired", [this](const Json& params, const std::string& session) {
        if (session == session_id_) {
          // The game asks no password of the player through the browser's box.
          connection_.Send("Fetch.continueWithAuth",
                           {{"requestId", StringAt(params, "requestId")},
                            {"authChallengeResponse", {{"response", "CancelAuth"}}}},
                           session_id_);
        }
      });
}

void FetchDomain::Continue(const std::string& id, bool pause_answer) const {
  Json params = {{"requestId", id}};
  if (pause_answer) {
    params["interceptResponse"] = true;
  }
  connection_.Send("Fetch.continueRequest", std::move(params), session_id_);
}

void FetchDomain::ContinueAnswer(const std::string& id, int status, const Headers& headers) const {
  connection_.Send(
      "Fetch.continueResponse",
      {{"requestId", id}, {"responseCode", status}, {"responseHeaders", HeadersJson(headers)}},
      session_id_);
}

void FetchDomain::Fail(const std::string& id, const std::string& reason) const {
  connection_.Send("Fetch.failRequest", {{"requestId", id}, {"errorReason", reason}}, session_id_);
}

void FetchDomain::Fulfill(const std::string& id,
                          int status,
                          const Headers& headers,
                          std::string_view body) const {
  connection_.Send("Fetch.fulfillRequest",
                   {{"requestId", id},
                    {"responseCode", status},
                    {"responseHeaders", HeadersJson(headers)},
                    {"body", connection_.Bytes(body)}},
                   session_id_);
}

void FetchDomain::TakeAnswerBody(const std::string& id,
                                 std::function<void(std::optional<std::string>)> body) const {
  connection_.Send("Fetch.getResponseBody", {{"requestId", id}}, session_id_,
                   [body](const DevToolsConnection::Answer& answer) {
                     if (!answer.ok()) {
                       body(std::nullopt);
                       return;
                     }
                     const std::string text = StringAt(answer.result, "body");
                     if (BoolAt(answer.result, "base64Encoded")) {
                       body(Base64Decode(text));
                     } else {
                       body(text);
                     }
                   });
}

void FetchDomain::TakeAnswerBodyAsStream(
    const std::string& id,
    std::function<void(std::optional<std::string>)> done) const {
  connection_.Send("Fetch.takeResponseBodyAsStream", {{"requestId", id}}, session_id_,
                   [done = std::move(done)](const DevToolsConnection::Answer& answer) {
                     const std::string handle = StringAt(answer.result, "stream");
                     done(answer.ok() && !handle.empty() ? std::optional(handle) : std::nullopt);
                   });
}

std::optional<std::string> FetchDomain::Header(const Headers& headers, std::string_view name) {
  for (const auto& [key, value] : headers) {
    if (EqualsIgnoringAsciiCase(key, name)) {
      return value;
    }
  }
  return std::nullopt;
}

std::optional<std::string> FetchDomain::RequestHeader(const Json& headers, std::string_view name) {
  if (!headers.is_object()) {
    return std::nullopt;
  }
  for (const auto& [key, value] : headers.items()) {
    if (EqualsIgnoringAsciiCase(key, name) && value.is_string()) {
      return value.get<std::string>();
    }
  }
  return std::nullopt;
}

}  // namespace gameshell
