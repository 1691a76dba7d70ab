// A service worker an advertisement registers: it tries the WebSocket its address names.
"use strict";
var socketUrl = new URL(location.href).searchParams.get("ws");
var result;
try {
  new WebSocket(socketUrl + "/ad-service-worker");
  result = "opened";
} catch (e) {
  result = "refused";
}
fetch("/report?event=wsad-sw&worker=" + result);
