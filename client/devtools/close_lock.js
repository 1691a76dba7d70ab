// The close lock's side in the game window's page, in a world of the shell's own that no page
// script reaches. While the game holds the lock, closing the window asks the page to stay (the
// browser then asks the shell, which runs the game's hook instead); the game's own navigations go
// on. The shell sets the lock through gameshellSetLocked.
(function () {
  'use strict';
  if (window !== window.top)
    return;
  var locked = false;
  var navigating = false;
  // Listened for only while locked: with no listener the browser closes the window without asking
  // the page, which closes a page stuck in a script.
  function askToStay(event) {
    if (!navigating)
      event.preventDefault();
    navigating = false;
  }
  // The page's own lock, told from its world before the shell hears of it (the shell's answer
  // still decides whether the close waits).
  window.addEventListener('gameshell-close-lock', function () {
    window.addEventListener('beforeunload', askToStay, true);
  }, true);
  // The page's own navigations announce themselves before they unload it; a close does not.
  if (window.navigation) {
    navigation.addEventListener('navigate', function (event) {
      if (!event.hashChange)
        navigating = true;
    });
    navigation.addEventListener('navigateerror', function () {
      navigating = false;
    });
  }
  globalThis.gameshellSetLocked = function (value) {
    if ((value === true) === locked)
      return;
    locked = value === true;
    navigating = false;
    if (locked)
      window.addEventListener('beforeunload', askToStay, true);
    else
      window.removeEventListener('beforeunload', askToStay, true);
  };
})();
