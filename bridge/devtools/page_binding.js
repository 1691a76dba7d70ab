// The shell's functions for the game's page, evaluated in every document of the game's page before
// its own scripts run. Each call goes to the shell through the binding BINDING, which the shell
// answers only for a document it judges the game's (its own origin, its frame and the frames
// above it): defining the functions only in the game's documents spares other pages nothing but
// names. (Preceded by BINDING, GAME_HOSTS and game_origin.js, and followed by the functions'
// definitions, bridge/core/page_functions.js, inside one function scope, so none of them leaks
// globals.)
'use strict';

var binding = window[BINDING];
// The binding stays reachable only through the functions below.
try {
  delete window[BINDING];
} catch (e) {
}
var game = isGameOrigin(window.origin, GAME_HOSTS);
// Another origin's document opens no WebSocket: the browser pauses no handshake for the shell to
// judge, and one to a game host would go with the player's cookies, one to this machine or its
// network past every rule of the shell's. (Its workers lose it before they run.)
if (!game) {
  delete window.WebSocket;
  delete window.WebSocketStream;
}
if (typeof binding !== 'function' || !game)
  return;
var stringify = JSON.stringify;
var dispatch = EventTarget.prototype.dispatchEvent;
var LockEvent = Event;

function send(name, args) {
  // The lock takes hold in the shell's world of the window's document at once, before the shell
  // hears of it: a close that comes meanwhile asks the shell too. (A page that sends the event
  // itself only makes the shell ask its own lock, which says no.)
  if (name === 'setWindowCanClose' && args[0] === false && window === window.top) {
    try {
      dispatch.call(window, new LockEvent('gameshell-close-lock'));
    } catch (e) {
    }
  }
  try {
    binding(stringify([name, args]));
  } catch (e) {
  }
}
