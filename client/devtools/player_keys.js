// A player's build has no reload and no developer tools: the browser's own keys for them are
// taken from the game window's documents before the browser sees them (a page's handler comes
// first for these keys in an app window). In a world of the shell's own, in every frame, so that no
// page script removes it.
(function () {
  'use strict';
  function taken(event) {
    var key = (event.key || '').toLowerCase();
    var ctrl = event.ctrlKey || event.metaKey;
    if (key === 'f5' || key === 'f12' || key === 'browserrefresh')
      return true;
    if (ctrl && (key === 'r' || key === 'u'))
      return true;
    return ctrl && event.shiftKey && (key === 'i' || key === 'j' || key === 'c');
  }
  window.addEventListener('keydown', function (event) {
    // The game still hears the key; only the browser's own use of it is cancelled.
    if (taken(event))
      event.preventDefault();
  }, true);
})();
