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
  window.onWindowBeforClose = function () {
    document.getElementById("exit").hidden = false;
    report("event=before-close");
  };
})();
