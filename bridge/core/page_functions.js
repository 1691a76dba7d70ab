// The page functions every engine gives the game's documents, each a call of send(name, args)
// that the engine's own script defines (preceded by it, inside its function scope). They never
// throw and return undefined; an argument counts only as a boolean or a string, as the engine's
// own bridge read it.

// The engine's string value of an argument: a string's text, "" for anything else (no toString).
function text(args) {
  return args.length > 0 && typeof args[0] === 'string' ? args[0] : '';
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
