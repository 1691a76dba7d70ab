#include "client/devtools/page_fetch.h"

#include "base/core/base64.h"
#include "base/devtools/runtime_domain.h"

namespace gameshell {

namespace {

// The world's readers by fetch, in a global of the shell's world that the page never sees.
std::string Readers() {
  return "(globalThis.gameshellReaders || (globalThis.gameshellReaders = new Map()))";
}

// The next piece in base64, after a letter: "P" for a piece, "L" for the last one; "end" when
// none is left, "cut" when the answer failed. An answer sent as it is, with a length up to
// `drained_up_to`, is only read to its end ("end"): the cache took it at its pause. With a `url`,
// the fetch starts first. The world's own builtins: the page cannot change them.
std::string PieceExpression(uint64_t id, const std::string& url, int64_t drained_up_to) {
  const std::string key = std::to_string(id);
  // Caught at once as well: a fetch the shell stops reading is no page error.
  const std::string start =
      url.empty() ? ""
                  : "const started = fetch(" + Json(url).dump() +
                        ", {credentials: 'include', cache: 'no-store'}).then(answer => {"
                        " const encoding = answer.headers.get('content-encoding');"
                        " const length = answer.headers.get('content-length');"
                        " return {reader: answer.body.getReader(), drain: (!encoding ||"
                        " encoding.toLowerCase() === 'identity') && length !== null &&"
                        " Number(length) <= " +
                        std::to_string(drained_up_to) +
                        "}; }); started.catch(() => {}); readers.set(" + key + ", started); ";
  return "(async () => { const readers = " + Readers() + "; " + start +
         "const text = (parts, size) => { const bytes = new Uint8Array(size); let at = 0;"
         " for (const part of parts) { bytes.set(part, at); at += part.length; }"
         " return bytes.toBase64 ? bytes.toBase64()"
         " : btoa(Array.from(bytes, byte => String.fromCharCode(byte)).join('')); };"
         " try { const { reader, drain } = await readers.get(" +
         key + "); if (drain) { while (!(await reader.read()).done) {} readers.delete(" + key +
         "); return 'end'; }"
         " const parts = []; let size = 0;"
         " while (size < " +
         std::to_string(PageFetch::kPieceBytes) +
         ") { const part = await reader.read();"
         " if (part.done) { readers.delete(" +
         key +
         "); return size > 0 ? 'L' + text(parts, size) : 'end'; }"
         " parts.push(part.value); size += part.value.length; }"
         " return 'P' + text(parts, size); } catch (error) { readers.delete(" +
         key + "); return 'cut'; } })()";
}

std::string StopExpression(uint64_t id) {
  const std::string key = std::to_string(id);
  return "(() => { const readers = " + Readers() + "; const reader = readers.get(" + key +
         "); readers.delete(" + key +
         "); if (reader) reader.then(read => read.reader.cancel(), () => {}); })()";
}

}  // namespace

struct PageFetch::Reading {
  DevToolsConnection& connection;
  std::string session_id;
  int64_t context_id = 0;
  uint64_t id = 0;
  int64_t drained_up_to = 0;
  Callbacks callbacks;
};

void PageFetch::Start(DevToolsConnection& connection,
                      const std::string& session_id,
                      int64_t context_id,
                      const std::string& url,
                      int64_t drained_up_to,
                      Callbacks callbacks) {
  static uint64_t fetches_started = 0;
  ReadPiece(
      std::shared_ptr<Reading>(new Reading{connection, session_id, context_id, ++fetches_started,
                                           drained_up_to, std::move(callbacks)}),
      url);
}

void PageFetch::ReadPiece(std::shared_ptr<Reading> reading, const std::string& start_url) {
  RuntimeDomain(reading->connection, reading->session_id)
      .EvaluateIn(
          reading->context_id, PieceExpression(reading->id, start_url, reading->drained_up_to),
          /*user_gesture=*/false, [reading, first = !start_url.empty()](const std::string& result) {
            if (first && result.empty()) {
              reading->callbacks.not_sent();  // nothing ran: the context was gone
              return;
            }
            const char kind = result.empty() ? '\0' : result[0];
            if (kind != 'P' && kind != 'L') {
              reading->callbacks.ended(result == "end");
              return;
            }
            std::optional<std::string> piece = Base64Decode(std::string_view(result).substr(1));
            if (!piece) {
              Stop(reading);
              return;
            }
            reading->callbacks.piece(std::move(*piece), [reading, kind](bool go_on) {
              if (go_on && kind == 'L') {
                reading->callbacks.ended(true);
              } else if (go_on) {
                ReadPiece(reading, "");
              } else {
                Stop(reading);
              }
            });
          });
}

void PageFetch::Stop(const std::shared_ptr<Reading>& reading) {
  RuntimeDomain(reading->connection, reading->session_id)
      .EvaluateIn(reading->context_id, StopExpression(reading->id), /*user_gesture=*/false);
  reading->callbacks.ended(false);
}

}  // namespace gameshell
