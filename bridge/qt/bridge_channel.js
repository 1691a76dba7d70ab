// The shell's end of the page functions, in the top frame of a page, in a script world of the
// shell's own: no page script can reach the web channel's transport, shadow what this script
// reads, or call it. It hands the shell the calls that reach the top frame as messages from a
// document of the game's origins, in this page, and nothing else. A document's address can be
// rewritten by its own script (history.pushState, with web security off, to any origin's address);
// its origin, which the engine gives every message, cannot. (Preceded by qwebchannel.js,
// GAME_HOSTS and game_origin.js, inside one function scope.)
'use strict';

// A page of another origin (a popup, the game page led elsewhere) gets no channel at all.
if (!isGameOrigin(window.origin, GAME_HOSTS))
  return;

var endpoint = null;
var pending = [];
var flushScheduled = false;
function flush() {
  flushScheduled = false;
  if (endpoint === null || pending.length === 0)
    return;
  var batch = pending;
  pending = [];
  endpoint.post(batch);
}

window.addEventListener('message', function(event) {
  var data = event.data;
  if (!data || typeof data !== 'object' || data.__gameshellBridge !== 1)
    return;
  // The game's own listeners never see the shell's messages.
  event.stopImmediatePropagation();
  // A page script can dispatch a message event naming any origin; only the engine's are trusted.
  if (!event.isTrusted || !isGameOrigin(event.origin, GAME_HOSTS))
    return;
  var source = event.source;
  try {
    if (!source || source.top !== window)
      return;  // a frame of another page (an opener, a popup)
  } catch (e) {
    return;
  }
  var calls = data.calls;
  if (!Array.isArray(calls))
    return;
  for (var i = 0; i < calls.length; ++i) {
    var m = calls[i];
    if (Array.isArray(m) && typeof m[0] === 'string' && Array.isArray(m[1]))
      pending.push([m[0], m[1]]);
  }
  if (!flushScheduled && endpoint !== null) {
    flushScheduled = true;
    queueMicrotask(flush);
  }
}, true);

try {
  new QWebChannel(qt.webChannelTransport, function(channel) {
    endpoint = channel.objects.gameshellBridge;
    flush();
  });
} catch (e) {
  // No channel (a page the shell did not open): calls stay queued and go nowhere.
}
