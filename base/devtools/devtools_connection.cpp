#include "base/devtools/devtools_connection.h"

#include <utility>

#include "base/core/ascii.h"
#include "base/core/base64.h"
#include "base/devtools/cbor_message.h"

namespace gameshell {

namespace {

// The \uXXXX escape at `text[at]`, or -1.
int EscapedUnit(std::string_view text, size_t at) {
  if (at + 6 > text.size() || text[at] != '\\' || text[at + 1] != 'u') {
    return -1;
  }
  int unit = 0;
  for (size_t k = at + 2; k < at + 6; ++k) {
    const int digit = HexDigitValue(text[k]);
    if (digit < 0) {
      return -1;
    }
    unit = unit * 16 + digit;
  }
  return unit;
}

// The browser writes a page's string as it holds it, an unpaired surrogate too, which a JSON
// parser refuses: such a string from any page (a console line, a title) would otherwise end the
// game. Each becomes U+FFFD, as the page's own text conversions do.
std::string ReplaceLoneSurrogates(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '\\' || i + 1 >= text.size()) {
      out += text[i++];
      continue;
    }
    const int unit = EscapedUnit(text, i);
    if (unit < 0xD800 || unit > 0xDFFF) {
      out.append(text.substr(i, 2));  // any other escape, an escaped backslash among them
      i += 2;
      continue;
    }
    const int next = EscapedUnit(text, i + 6);
    if (unit <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
      out.append(text.substr(i, 12));
      i += 12;
    } else {
      out += "\\ufffd";
      i += 6;
    }
  }
  return out;
}

const Json* MemberAt(const Json& object, std::string_view key) {
  if (!object.is_object()) {
    return nullptr;
  }
  const auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

}  // namespace

std::string StringAt(const Json& object, std::string_view key) {
  const Json* member = MemberAt(object, key);
  return member && member->is_string() ? member->get<std::string>() : std::string();
}

int64_t IntAt(const Json& object, std::string_view key, int64_t otherwise) {
  const Json* member = MemberAt(object, key);
  if (member && member->is_number_integer()) {
    return member->get<int64_t>();
  }
  // The binary form sends a number the protocol calls "number", not "integer", as a double
  // however whole it is.
  if (member && member->is_number_float()) {
    const double number = member->get<double>();
    if (number >= -9.2e18 && number <= 9.2e18 &&
        number == static_cast<double>(static_cast<int64_t>(number))) {
      return static_cast<int64_t>(number);
    }
  }
  return otherwise;
}

bool BoolAt(const Json& object, std::string_view key) {
  const Json* member = MemberAt(object, key);
  return member && member->is_boolean() && member->get<bool>();
}

const Json& ObjectAt(const Json& object, std::string_view key) {
  static const Json kEmpty = Json::object();
  const Json* member = MemberAt(object, key);
  return member && member->is_object() ? *member : kEmpty;
}

DevToolsConnection::DevToolsConnection(std::function<void(std::string)> write, DevToolsWire wire)
    : write_(std::move(write)), wire_(wire), framer_(wire) {}

Json DevToolsConnection::Bytes(std::string_view bytes) const {
  if (wire_ == DevToolsWire::kCbor) {
    return Json::binary(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  }
  return Base64Encode(bytes);
}

void DevToolsConnection::Send(std::string_view method,
                              Json params,
                              std::string_view session_id,
                              AnswerHandler answer) {
  if (closed_) {
    if (answer) {
      answer({Json::object(), "closed"});
    }
    return;
  }
  const int64_t id = next_id_++;
  Json message = {{"id", id}, {"method", method}, {"params", std::move(params)}};
  if (message["params"].is_null()) {
    message["params"] = Json::object();
  }
  if (!session_id.empty()) {
    message["sessionId"] = session_id;
  }
  if (answer) {
    waiting_.emplace(id, std::move(answer));
  }
  if (wire_ == DevToolsWire::kCbor) {
    write_(EncodeCborMessage(message));
    return;
  }
  // Strings from pages may hold invalid UTF-8: replaced, never thrown over.
  write_(MessageFramer::Frame(message.dump(-1, ' ', false, Json::error_handler_t::replace)));
}

void DevToolsConnection::Listen(std::string method, EventHandler handler) {
  listeners_[std::move(method)].push_back(std::move(handler));
}

void DevToolsConnection::ListenOn(const std::string& session_id,
                                  std::string method,
                                  EventHandler handler) {
  session_listeners_[session_id][std::move(method)].push_back(std::move(handler));
}

void DevToolsConnection::ForgetSession(const std::string& session_id) {
  session_listeners_.erase(session_id);
}

bool DevToolsConnection::Receive(std::string_view bytes) {
  if (closed_) {
    return false;
  }
  if (!framer_.Feed(bytes)) {
    Close("the browser sent a message too large");
    return false;
  }
  while (std::optional<std::string> message = framer_.Next()) {
    if (!Dispatch(*message)) {
      Close("the browser broke the protocol");
      return false;
    }
    if (closed_) {
      return true;  // a handler closed it
    }
  }
  if (framer_.broken()) {
    Close("the browser broke the protocol");
    return false;
  }
  return true;
}

bool DevToolsConnection::IsHeard(std::string_view method) const {
  if (listeners_.find(method) != listeners_.end()) {
    return true;
  }
  for (const auto& [session, methods] : session_listeners_) {
    if (methods.find(method) != methods.end()) {
      return true;
    }
  }
  return false;
}

std::optional<Json> DevToolsConnection::Parse(const std::string& text, bool& unheard) const {
  // The browser names an event first. Those nobody hears (the network's reports of every request,
  // most of them, each with its headers) go unparsed.
  unheard = false;
  if (wire_ == DevToolsWire::kCbor) {
    if (const auto method = CborEventMethod(text); method && !IsHeard(*method)) {
      unheard = true;
      return std::nullopt;
    }
    return DecodeCborMessage(text);
  }
  constexpr std::string_view kEventStart = "{\"method\":\"";
  if (text.starts_with(kEventStart)) {
    const size_t end = text.find('"', kEventStart.size());
    if (end != std::string::npos &&
        !IsHeard(std::string_view(text).substr(kEventStart.size(), end - kEventStart.size()))) {
      unheard = true;
      return std::nullopt;
    }
  }
  Json message = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (message.is_discarded()) {
    message = Json::parse(ReplaceLoneSurrogates(text), nullptr, /*allow_exceptions=*/false);
  }
  if (message.is_discarded()) {
    return std::nullopt;
  }
  return message;
}

bool DevToolsConnection::Dispatch(const std::string& text) {
  bool unheard = false;
  std::optional<Json> parsed = Parse(text, unheard);
  if (unheard) {
    return true;
  }
  if (!parsed || !parsed->is_object()) {
    return false;
  }
  Json& message = *parsed;
  const auto id = message.find("id");
  if (id != message.end()) {
    if (!id->is_number_integer()) {
      return false;
    }
    const auto waiting = waiting_.find(id->get<int64_t>());
    if (waiting == waiting_.end()) {
      return true;  // an answer nobody waits for
    }
    AnswerHandler handler = std::move(waiting->second);
    waiting_.erase(waiting);
    Answer answer;
    if (const auto error = message.find("error"); error != message.end()) {
      answer.error = StringAt(*error, "message");
      if (answer.error.empty()) {
        answer.error = "error";
      }
    } else if (const auto result = message.find("result");
               result != message.end() && result->is_object()) {
      answer.result = std::move(*result);
    } else {
      answer.result = Json::object();
    }
    handler(answer);
    return true;
  }
  const auto method = message.find("method");
  if (method == message.end() || !method->is_string()) {
    return false;
  }
  const std::string& name = method->get_ref<const std::string&>();
  static const Json kNoParams = Json::object();
  const auto params = message.find("params");
  const Json& event_params = params != message.end() && params->is_object() ? *params : kNoParams;
  const auto session = message.find("sessionId");
  const std::string session_id =
      session != message.end() && session->is_string() ? session->get<std::string>() : "";
  // Handlers may listen anew or forget their session: each list is walked as a copy.
  std::vector<EventHandler> handlers;
  if (!session_id.empty()) {
    if (const auto on = session_listeners_.find(session_id); on != session_listeners_.end()) {
      if (const auto found = on->second.find(name); found != on->second.end()) {
        handlers = found->second;
      }
    }
  }
  if (const auto found = listeners_.find(name); found != listeners_.end()) {
    handlers.insert(handlers.end(), found->second.begin(), found->second.end());
  }
  for (const EventHandler& handler : handlers) {
    handler(event_params, session_id);
    if (closed_) {
      break;
    }
  }
  return true;
}

void DevToolsConnection::Close(const std::string& reason) {
  if (closed_) {
    return;
  }
  closed_ = true;
  std::map<int64_t, AnswerHandler> waiting = std::move(waiting_);
  waiting_.clear();
  for (auto& [id, handler] : waiting) {
    handler({Json::object(), reason});
  }
}

}  // namespace gameshell
