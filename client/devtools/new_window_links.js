// A link that would open a new window opens a popup instead: the browser puts a page the game
// window opens for a link in a window with tabs and an address bar, where the player could browse
// anywhere. Opened from this frame, in a world of the shell's own, in every frame: the popup is
// this document's, as the link's would have been. A page that handles the click itself keeps it.
(function () {
  'use strict';
  function linkOf(event) {
    var path = event.composedPath ? event.composedPath() : [];
    for (var i = 0; i < path.length; ++i) {
      if (path[i] instanceof HTMLAnchorElement || path[i] instanceof HTMLAreaElement)
        return path[i].hasAttribute('href') ? path[i] : null;
    }
    return null;
  }
  function opensWindow(event, link) {
    var target = (link.getAttribute('target') || '').toLowerCase();
    return target === '_blank' || event.button === 1 || event.ctrlKey || event.shiftKey ||
           event.metaKey;
  }
  function onClick(event) {
    if (!event.isTrusted || event.defaultPrevented || event.button > 1)
      return;
    var link = linkOf(event);
    if (!link || link.hasAttribute('download') || !opensWindow(event, link))
      return;
    event.preventDefault();
    var url = link.href;
    // Only the web: any other scheme was never the game's to open.
    if (!/^https?:/i.test(url))
      return;
    var rel = ' ' + (link.getAttribute('rel') || '').toLowerCase() + ' ';
    var features = 'popup';
    if (rel.indexOf(' opener ') < 0)
      features += ',noopener';
    if (rel.indexOf(' noreferrer ') >= 0)
      features += ',noreferrer';
    // The shell keeps the window this asks for: it hears of it first.
    if (typeof __gameshellPopup === 'function')
      __gameshellPopup(url);
    window.open(url, '_blank', features);
  }
  window.addEventListener('click', onClick);
  window.addEventListener('auxclick', onClick);
})();
