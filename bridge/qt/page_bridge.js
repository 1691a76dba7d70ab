// The shell's functions for the game's page, injected into every frame before the page's own
// scripts run; only frames of the game's own hosts get them. Every call goes, as a message, to
// the top frame of its page, where the shell's own script (bridge_channel.js, in a world of its
// own that no page script reaches) judges the message by its sender's origin and hands it on.
// Functions never throw and return undefined. (Preceded by GAME_HOSTS and game_origin.js, inside
// one function scope, so none of them leaks globals.)
'use strict';

// The origin, not the address: a frame the game writes itself (about:blank) is the game's.
if (!isGameOrigin(window.origin, GAME_HOSTS))
  return;
var topWindow = window.top;
var microtask = window.queueMicrotask.bind(window);

// The engine's string value of an argument: a string's text, "" for anything else (no toString).
function text(args) {
  return args.length > 0 && typeof args[0] === 'string' ? args[0] : '';
}

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
function send(message) {
  pending.push(message);
  if (pending.length === 1)
    microtask(flush);
}

function define(name, body) {
  window[name] = function() {
    try {
      body(arguments);
    } catch (e) {
    }
  };
}

define('C_closeWindow', function() {
  send(['closeGameWindow', []]);
});
define('C_maxWindow', function() {
  send(['maxGameWindow', []]);
});
define('C_windowCanClose', function(args) {
  if (args.length === 1 && typeof args[0] === 'boolean')
    send(['setWindowCanClose', [args[0]]]);
});
define('C_clearCache', function(args) {
  send(['clearCache', [text(args)]]);
});
define('C_openPay', function(args) {
  send(['openPay', [text(args)]]);
});
define('open', function(args) {
  send(['open', [text(args)]]);
});
define('C_SHOWEXIT', function(args) {
  send(['showexit', [text(args)]]);
});
define('C_UserAuthentic', function() {
  send(['UserAuthentic', []]);
});
