// The shell's functions for the game's page, injected into every frame before the page's own
// scripts run; only frames of the game's own hosts get them. Every call goes, as a message, to
// the top frame of its page, where the shell's own script (bridge_channel.js, in a world of its
// own that no page script reaches) judges the message by its sender's origin and hands it on.
// (Preceded by GAME_HOSTS and game_origin.js, and followed by the functions' definitions,
// bridge/core/page_functions.js, inside one function scope, so none of them leaks globals.)
'use strict';

// The origin, not the address: a frame the game writes itself (about:blank) is the game's.
if (!isGameOrigin(window.origin, GAME_HOSTS))
  return;
var topWindow = window.top;
var microtask = window.queueMicrotask.bind(window);

// A frame's calls of one script turn go as one message, in order.
var pending = [];
function flush() {
  var batch = pending;
  pending = [];
  try {
    topWindow.postMessage({__gameshellBridge: 1, calls: batch}, '*');
  } catch (e) {
  }
}
function send(name, args) {
  pending.push([name, args]);
  if (pending.length === 1)
    microtask(flush);
}
