// The shell's functions for the game's page, evaluated in every document of the game's page before
// its own scripts run. Each call goes to the shell through the binding BINDING, which the shell
// answers only for a document it judges the game's (its own origin, its frame and the frames
// above it): defining the functions only in the game's documents spares other pages nothing but
// names. Functions never throw and return undefined. (Preceded by BINDING, GAME_HOSTS and
// game_origin.js, inside one function scope, so none of them leaks globals.)
'use strict';

var binding = window[BINDING];
// The binding stays reachable only through the functions below.
try {
  delete window[BINDING];
} catch (e) {
}
if (typeof binding !== 'function' || !isGameOrigin(window.origin, GAME_HOSTS))
  return;
var stringify = JSON.stringify;

// The engine's string value of an argument: a string's text, "" for anything else (no toString).
function text(args) {
  return args.length > 0 && typeof args[0] === 'string' ? args[0] : '';
}

function send(name, args) {
  try {
    binding(stringify([name, args]));
  } catch (e) {
  }
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
  send('closeGameWindow', []);
});
define('C_maxWindow', function() {
  send('maxGameWindow', []);
});
define('C_windowCanClose', function(args) {
  if (args.length === 1 && typeof args[0] === 'boolean')
    send('setWindowCanClose', [args[0]]);
});
define('C_clearCache', function(args) {
  send('clearCache', [text(args)]);
});
define('C_openPay', function(args) {
  send('openPay', [text(args)]);
});
define('open', function(args) {
  send('open', [text(args)]);
});
define('C_SHOWEXIT', function(args) {
  send('showexit', [text(args)]);
});
define('C_UserAuthentic', function() {
  send('UserAuthentic', []);
});
