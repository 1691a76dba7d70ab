// The demo game's script: lists the launch parameters the shell passed and loads the resources.
(function () {
  "use strict";
  function report(what) {
    new Image().src = "/report?" + what;
  }
  var params = new URLSearchParams(location.search);
  var list = document.getElementById("params");
  params.forEach(function (value, key) {
    var row = document.createElement("li");
    row.textContent = key + " = " + value;
    list.appendChild(row);
  });
  function fetchBytes(url, done) {
    var xhr = new XMLHttpRequest();
    xhr.open("GET", url);
    xhr.responseType = "arraybuffer";
    xhr.onload = function () { done(xhr.status, xhr.response ? xhr.response.byteLength : 0); };
    xhr.onerror = function () { done(0, 0); };
    xhr.send();
  }
  var status = document.getElementById("status");
  var pending = 2;
  function loaded(name) {
    return function (code, bytes) {
      status.textContent += " " + name + ": " + code + " (" + bytes + " bytes)";
      if (--pending === 0) report("event=resources-loaded");
    };
  }
  fetchBytes("data/map.dat?v=3", loaded("map.dat"));
  fetchBytes("config/game.conf?v=1", loaded("game.conf"));
  // One line for each call of a hook, newest first.
  function hookCalled(text) {
    var row = document.createElement("li");
    row.textContent = new Date().toLocaleTimeString() + "  " + text;
    var hooks = document.getElementById("hooks");
    hooks.insertBefore(row, hooks.firstChild);
  }
  window.onWindowBeforClose = function () {
    hookCalled("onWindowBeforClose(): the window was closed while the game locked it");
    document.getElementById("exit").hidden = false;
    report("event=before-close");
  };
  window.UserAuthentic_return = function (result) {
    hookCalled("UserAuthentic_return(" + result + ")");
  };
  document.getElementById("leave").onclick = function () { C_closeWindow(); };
  document.getElementById("stay").onclick = function () {
    document.getElementById("exit").hidden = true;
  };
  // One button per page function (none of them exists outside the shell).
  var calls = {
    maxWindow: function () { C_maxWindow(); },
    lock: function () { C_windowCanClose(false); },
    unlock: function () { C_windowCanClose(true); },
    clearCache: function () { C_clearCache("demo-" + Date.now()); },
    openPay: function () { C_openPay("https://pay.example.invalid/"); },
    open: function () { open("https://example.invalid/"); },
    showExit: function () { C_SHOWEXIT("ignored"); },
    userAuthentic: function () { C_UserAuthentic(); },
    closeWindow: function () { C_closeWindow(); }
  };
  Array.prototype.forEach.call(document.querySelectorAll("#functions button"), function (button) {
    button.onclick = function () {
      try {
        calls[button.dataset.call]();
      } catch (e) {
        hookCalled("not in the shell: " + e.message);
      }
    };
  });
})();
