// The shell's functions for the game's page, injected into every frame before the page's own
// scripts run; only frames of the game's own hosts get them. Every call hands a message to the top
// frame of its page, which passes the messages, in order, to the shell over the web channel.
// Functions never throw and return undefined. (Preceded by qwebchannel.js, GAME_HOSTS and
// game_origin.js, inside one function scope, so none of them leaks globals.)
'use strict';
var MARK = '__gameshellBridge';

// The origin, not the address: a frame the game writes itself (about:blank) is the game's.
if (!isGameOrigin(window.origin, GAME_HOSTS))
  return;
var isTop = window.top === window;
var topWindow = window.top;

// The engine's string value of an argument: a string's text, "" for anything else (no toString).
function text(args) {
  return args.length > 0 && typeof args[0] === 'string' ? args[0] : '';
}

var microtask = window.queueMicrotask.bind(window);
var send;
if (isTop) {
  var endpoint = null;
  var pending = [];
  var flushScheduled = false;
  var flush = function() {
    flushScheduled = false;
    if (endpoint === null || pending.length === 0)
      return;
    var batch = pending;
    pending = [];
    endpoint.post(batch);
  };
  send = function(message) {
    pending.push(message);
    if (!flushScheduled && endpoint !== null) {
      flushScheduled = true;
      microtask(flush);
    }
  };
  // Calls from this page's sub-frames arrive as messages to the top frame.
  window.addEventListener('message', function(event) {
    var data = event.data;
    if (!data || typeof data !== 'object' || data[MARK] !== 1)
      return;
    event.stopImmediatePropagation();
    var source = event.source;
    try {
      if (!source || source === window || source.top !== window)
        return;
    } catch (e) {
      return;
    }
    // Whoever embeds a frame may load any page into it: only the game's own frames are heard.
    if (!isGameOrigin(event.origin, GAME_HOSTS))
      return;
    var m = data.m;
    if (Array.isArray(m) && typeof m[0] === 'string' && Array.isArray(m[1]))
      send([m[0], m[1]]);
  }, true);
  try {
    new QWebChannel(qt.webChannelTransport, function(channel) {
      endpoint = channel.objects.gameshellBridge;
      flush();
    });
  } catch (e) {
    // No channel (a page the shell did not open): calls stay queued and go nowhere.
  }
} else {
  send = function(message) {
    try {
      topWindow.postMessage({__gameshellBridge: 1, m: message}, '*');
    } catch (e) {
    }
  };
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
