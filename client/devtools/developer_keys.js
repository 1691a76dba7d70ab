// A developer's build opens the browser's developer tools for the game's window on F2 (with any
// modifier), in a world of the shell's own, in every frame. The page still hears the key.
(function () {
  'use strict';
  window.addEventListener('keydown', function (event) {
    if (event.key === 'F2' && typeof __gameshellDevTools === 'function')
      __gameshellDevTools('');
  }, true);
})();
